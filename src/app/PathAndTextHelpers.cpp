// Unit FoncUtils.
#include "app/PathAndTextHelpers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringList>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "app/FileNames.h"
#include "app/InterfaceTexts.h"

long long RoundEven(double value) {
  constexpr double kLimit = 9.0e18;  // keeps the conversion to long long defined
  if (!(value > -kLimit)) return value != value ? 0 : -(long long)kLimit;
  if (value > kLimit) return (long long)kLimit;
  // The default rounding mode sends halves to the even neighbour.
  return (long long)std::nearbyint(value);
}

std::optional<long long> ParseWholeNumber(const std::string& text) {
  const size_t digits = !text.empty() && text[0] == '-' ? 1 : 0;
  if (text.size() == digits || text.find_first_not_of("0123456789", digits) != std::string::npos) return std::nullopt;
  errno = 0;
  const long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (errno == ERANGE) return std::nullopt;
  return v;
}

QString LongFileName(const QString& path) {
  if (path.isEmpty()) return path;
  const QFileInfo info(path);
  // A dangling symbolic link is still an entry of its folder.
  if (!info.exists() && !info.isSymLink()) return path;
  const QString name = info.fileName();
  if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) {
    // "dir/", "." and ".." name a folder with no name part of their own.
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
  }
  const QString folder = QFileInfo(info.path()).canonicalFilePath();
  if (folder.isEmpty()) return path;
  return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

qint64 FileSizeOf(const QString& name) {
  if (name.isEmpty()) return -1;
  // Non-blocking, so that a named pipe cannot hold the caller up; only a
  // regular file has a size to report.
  const int fd = ::open(EncodeFileName(name).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  return ok ? qint64(st.st_size) : -1;
}

QString PathInFolder(const QString& name, const QString& folder) {
  if (name.isEmpty()) return {};
  const QString fileName = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
  if (folder.isEmpty()) return fileName;
  return folder.endsWith(QLatin1Char('/')) ? folder + fileName : folder + QLatin1Char('/') + fileName;
}

QString TruncateText(const QString& text, int n) {
  // Characters are counted as code points, so a cut never splits a
  // surrogate pair into an invalid string.
  qsizetype pos = 0;
  for (int count = 0; count < n && pos < text.size(); ++count) {
    const bool pair = text[pos].isHighSurrogate() && pos + 1 < text.size() && text[pos + 1].isLowSurrogate();
    pos += pair ? 2 : 1;
  }
  if (pos >= text.size()) return text;
  return text.left(pos) + QLatin1String("...");
}

namespace {

QString NumberAndUnit(qint64 value, TLangText unit) {
  return QString::number(value) + QLatin1Char(' ') + LangText(unit);
}

}  // namespace

QString SizeToText(qint64 size, bool rounded) {
  if (size < 2) return NumberAndUnit(size, lsByte);
  if (size < 1024) return NumberAndUnit(size, lsBytes);
  double divisor;
  TLangText unit;
  if (size < (qint64(1) << 20)) {
    divisor = double(qint64(1) << 10);
    unit = lsKilobytes;
  } else if (size < (qint64(1) << 30)) {
    divisor = double(qint64(1) << 20);
    unit = lsMegabytes;
  } else {
    divisor = double(qint64(1) << 30);
    unit = lsGigabytes;
  }
  const double value = double(size) / divisor;
  if (rounded) return NumberAndUnit(RoundEven(value), unit);
  // Plain digits with the locale's decimal separator only: no digit
  // grouping ("1023.50", never "1,023.50") and no native digits.
  QString number = QString::asprintf("%.2f", value);
  number.replace(QLatin1Char('.'), QLocale().decimalPoint());
  return number + QLatin1Char(' ') + LangText(unit);
}

QString FilterField(const QString& filter, int index, bool pattern) {
  const QStringList fields = filter.split(QLatin1Char('|'));  // never empty: "" gives one empty field
  if (index <= 0) return fields.first();
  // 64-bit, so that a huge index cannot overflow into a small field number.
  const qint64 k = 2 * (qint64(index) - 1) + (pattern ? 1 : 0);
  if (k >= fields.size()) return fields.last();
  return fields[qsizetype(k)];
}

QString MaskToExt(const QString& mask) {
  if (mask.isEmpty()) return {};
  const qsizetype semicolon = mask.indexOf(QLatin1Char(';'));
  const QString first = semicolon < 0 ? mask : mask.left(semicolon);
  const qsizetype dot = first.indexOf(QLatin1Char('.'));
  if (dot < 0) return QLatin1Char('.') + first;
  return first.mid(dot);
}

bool ThemesActive = true;

QString BundledPath(const QString& name) {
  const QString exeDir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
  const QString beside = QDir(exeDir).filePath(name);
  if (QFileInfo::exists(beside)) return beside;
  const QString installed = QDir(exeDir).filePath(QStringLiteral("../share/tesselune/") + name);
  if (QFileInfo::exists(installed)) return QDir::cleanPath(installed);
  return beside;
}
