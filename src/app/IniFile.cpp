#include "app/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryFile>

namespace {

// "[name]" with blanks allowed around it; the name is what stands between
// the first "[" and the first "]" after it, trimmed.
bool ParseSection(const QString& line, QString& name) {
  const QString t = line.trimmed();
  if (!t.startsWith(u'[')) return false;
  const qsizetype close = t.indexOf(u']');
  if (close < 0) return false;
  name = t.mid(1, close - 1).trimmed();
  return true;
}

// "key=value": the key is what stands before the first "=", trimmed; a line
// without "=" or with an empty key is no entry.
bool ParseEntry(const QString& line, QString& key, QString& value) {
  const qsizetype eq = line.indexOf(u'=');
  if (eq <= 0) return false;
  key = line.left(eq).trimmed();
  if (key.isEmpty()) return false;
  value = line.mid(eq + 1).trimmed();
  return true;
}

bool SameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

bool HasLineBreak(const QString& s) { return s.contains(u'\n') || s.contains(u'\r'); }

}  // namespace

IniFile::IniFile(QString fileName) : FileName_(std::move(fileName)) {
  // Only a regular file: a FIFO or a device named like the settings file
  // must not hang or flood the start.
  if (!QFileInfo(FileName_).isFile()) return;
  QFile file(FileName_);
  if (!file.open(QIODevice::ReadOnly)) return;
  QByteArray bytes = file.read(MaxFileSize + 1);
  if (bytes.size() > MaxFileSize) {
    bytes.truncate(MaxFileSize);
    const qsizetype lastBreak = bytes.lastIndexOf('\n');
    bytes.truncate(lastBreak < 0 ? 0 : lastBreak + 1);
  }
  // Bytes that are not UTF-8 become replacement characters: such a value is
  // damaged either way, and the lines around it stay readable.
  QStringDecoder decode(QStringDecoder::Utf8);
  QString text = decode(bytes);
  text.replace(u'\0', u' ');
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(u'\r', u'\n');
  Lines_ = text.split(u'\n');
  // A final line break leaves an empty last piece that is not a line.
  if (!Lines_.isEmpty() && Lines_.last().isEmpty()) Lines_.removeLast();
}

int IniFile::SectionLine(const QString& section) const {
  QString name;
  for (int i = 0; i < Lines_.size(); ++i)
    if (ParseSection(Lines_[i], name) && SameName(name, section)) return i;
  return -1;
}

int IniFile::SectionEnd(int header) const {
  QString name;
  int i = header + 1;
  while (i < Lines_.size() && !ParseSection(Lines_[i], name)) ++i;
  return i;
}

int IniFile::KeyLine(int header, const QString& key) const {
  QString k, v;
  const int end = SectionEnd(header);
  for (int i = header + 1; i < end; ++i)
    if (ParseEntry(Lines_[i], k, v) && SameName(k, key)) return i;
  return -1;
}

QString IniFile::ReadString(const QString& section, const QString& key, const QString& def) const {
  const int header = SectionLine(section);
  if (header < 0) return def;
  const int line = KeyLine(header, key.trimmed());
  if (line < 0) return def;
  QString k, v;
  ParseEntry(Lines_[line], k, v);
  return v;
}

bool IniFile::WriteString(const QString& section, const QString& key, const QString& value) {
  const QString s = section.trimmed();
  const QString k = key.trimmed();
  if (HasLineBreak(s) || HasLineBreak(k) || HasLineBreak(value) || k.isEmpty() || k.contains(u'=') || s.contains(u']'))
    return false;
  const QString entry = k + u'=' + value;
  int header = SectionLine(s);
  if (header < 0) {
    Lines_.append(u'[' + s + u']');
    Lines_.append(entry);
    return true;
  }
  const int line = KeyLine(header, k);
  if (line >= 0) {
    Lines_[line] = entry;
    // A hand-edited file may name the key again further down: those copies
    // go, so that no old value stands beside the new one.
    QString name, v;
    for (int i = SectionEnd(header) - 1; i > line; --i)
      if (ParseEntry(Lines_[i], name, v) && SameName(name, k)) Lines_.removeAt(i);
    return true;
  }
  // After the section's last non-blank line, so the blank line that usually
  // separates sections stays where it was.
  int at = SectionEnd(header);
  while (at > header + 1 && Lines_[at - 1].trimmed().isEmpty()) --at;
  Lines_.insert(at, entry);
  return true;
}

void IniFile::DeleteKey(const QString& section, const QString& key) {
  const int header = SectionLine(section);
  if (header < 0) return;
  for (int line = KeyLine(header, key.trimmed()); line >= 0; line = KeyLine(header, key.trimmed()))
    Lines_.removeAt(line);
}

bool IniFile::UpdateFile() {
  QSaveFile file(FileName_);
  if (!file.open(QIODevice::WriteOnly)) {
    Error_ = file.errorString();
    return false;
  }
  QByteArray bytes;
  for (const QString& line : Lines_) {
    bytes += line.toUtf8();
    bytes += '\n';
  }
  if (file.write(bytes) != bytes.size() || !file.commit()) {
    Error_ = file.errorString();
    return false;
  }
  Error_.clear();
  return true;
}

QString LocateSettingsFile(const QString& programFolder, const QString& fileName) {
  const QDir beside(programFolder);
  // Creating a file is the only reliable answer: permission bits say nothing
  // about read-only mounts, access lists or the superuser.
  QTemporaryFile probe(beside.filePath(QStringLiteral(".settings-probe-XXXXXX")));
  if (!programFolder.isEmpty() && probe.open()) return beside.filePath(fileName);
  const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
  QDir().mkpath(config);
  return QDir(config).filePath(fileName);
}
