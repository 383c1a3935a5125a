#include "app/Settings.h"

#include <QDir>
#include <QFileInfo>

#include "app/IniFile.h"

namespace {

// What every read gets back for a missing key; a key holding it counts as
// missing too.
const QString Missing = QStringLiteral("ERR!");

const QString Params = QStringLiteral("Params");
const QString Files = QStringLiteral("Files");
const QString OpenKey = QStringLiteral("Open");
const QString SaveKey = QStringLiteral("Save");
const QString MaximizedKey = QStringLiteral("Maximized");
const QString PreviewKey = QStringLiteral("Preview");
const QString UnitKey = QStringLiteral("Unit");

QString FileKey(int n) { return QStringLiteral("File%1").arg(n); }

QString Flag(bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); }

}  // namespace

bool TSettings::Storable(const QString& fileName) {
  return !fileName.isEmpty() && !fileName.contains(QLatin1Char('\n')) && !fileName.contains(QLatin1Char('\r'));
}

std::optional<QString> TSettings::ReadParam(const IniFile& ini, const QString& key) {
  const QString value = ini.ReadString(Params, key, Missing);
  if (value == Missing) return std::nullopt;
  return value;
}

void TSettings::WriteParam(IniFile& ini, const QString& key, const std::optional<QString>& text) {
  if (text)
    ini.WriteString(Params, key, *text);
  else
    ini.DeleteKey(Params, key);
}

QString TSettings::FolderText(const QString& folder) {
  if (folder.isEmpty()) return folder;
  QString value = QDir::fromNativeSeparators(folder);
  if (!value.endsWith(QLatin1Char('/'))) value += QLatin1Char('/');
  return value;
}

QString TSettings::ExistingFolder(const QString& text) {
  return !text.isEmpty() && QFileInfo(text).isDir() ? text : QString();
}

TSettings TSettings::Load(const IniFile& ini) {
  TSettings s;
  auto on = [&](const QString& key) { return ReadParam(ini, key) == QStringLiteral("1"); };
  auto folder = [&](const QString& key) { return ExistingFolder(ReadParam(ini, key).value_or(QString())); };
  s.OpenFolder = folder(OpenKey);
  s.SaveFolder = folder(SaveKey);
  s.Maximized = on(MaximizedKey);
  s.PreviewEnabled = on(PreviewKey);
  s.Inches = on(UnitKey);
  // Exact duplicates are dropped: a file once left with stale keys would
  // otherwise list the same picture twice. Names differing in letter case
  // are two files.
  for (int n = 1; n <= MaxRecentFiles; ++n) {
    const QString name = ini.ReadString(Files, FileKey(n), Missing);
    if (name == Missing || name.isEmpty() || s.RecentFiles.contains(name, Qt::CaseSensitive)) continue;
    s.RecentFiles.append(name);
  }
  return s;
}

void TSettings::Save(IniFile& ini, const TPlaceWriter& others) const {
  const auto place = [&](TSettingsPlace p) {
    if (others) others(ini, p);
  };
  place(TSettingsPlace::First);
  ini.WriteString(Params, OpenKey, FolderText(OpenFolder));
  ini.WriteString(Params, SaveKey, FolderText(SaveFolder));
  ini.WriteString(Params, MaximizedKey, Flag(Maximized));
  ini.WriteString(Params, PreviewKey, Flag(PreviewEnabled));
  place(TSettingsPlace::AfterPreview);
  ini.WriteString(Params, UnitKey, Flag(Inches));
  place(TSettingsPlace::AfterUnit);
  // The keys after the last entry go, so that nothing stale comes back at
  // the next start.
  int n = 0;
  for (const QString& name : RecentFiles)
    if (n < MaxRecentFiles && Storable(name)) ini.WriteString(Files, FileKey(++n), name);
  while (n < MaxRecentFiles) ini.DeleteKey(Files, FileKey(++n));
}
