#include "app/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <utility>

#include "app/IniFile.h"

namespace {

// What every read gets back for a missing key; a key holding it counts as
// missing too.
const QString Missing = QStringLiteral("ERR!");

const QString Params = QStringLiteral("Params");
const QString Files = QStringLiteral("Files");
const QString ThumbnailsKey = QStringLiteral("Thumbnails");
const QString OpenKey = QStringLiteral("Open");
const QString SaveKey = QStringLiteral("Save");
const QString MaximizedKey = QStringLiteral("Maximized");
const QString PreviewKey = QStringLiteral("Preview");
const QString ThumbSizeKey = QStringLiteral("ThumbSize");
const QString CheckSizeKey = QStringLiteral("CheckSize");
const QString AntialiasKey = QStringLiteral("Antialias");
const QString MatchColoursKey = QStringLiteral("MatchColours");
const QString CropSquareKey = QStringLiteral("CropSquare");
const QString UnitKey = QStringLiteral("Unit");
const QString RecursiveKey = QStringLiteral("Recursive");
const QString TintLimitKey = QStringLiteral("TintLimit");
const QString TintModeKey = QStringLiteral("TintMode");
const QString RepeatDistanceKey = QStringLiteral("RepeatDistance");
const QString MaxUsesKey = QStringLiteral("MaxUses");
const QString UseAllKey = QStringLiteral("UseAll");
const QString TileAspectKey = QStringLiteral("TileAspect");
const QString ScaleKey = QStringLiteral("Scale");
const QString Whole = QStringLiteral("whole");

QString FileKey(int n) { return QStringLiteral("File%1").arg(n); }

// Folders are stored with "/" and a trailing "/", whatever they were held as.
QString FolderValue(const QString& folder) {
  if (folder.isEmpty()) return folder;
  QString value = QDir::fromNativeSeparators(folder);
  if (!value.endsWith(QLatin1Char('/'))) value += QLatin1Char('/');
  return value;
}

QString Flag(bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); }

// Text that is not an int (letters, or a number too large for one) reads as
// 15; a number that is not one of the sizes as 10.
int CellSizeValue(const QString& text) {
  bool ok = false;
  const int size = text.toInt(&ok);
  if (!ok) return 15;
  return size == 15 || size == 20 || size == 40 ? size : 10;
}

// A whole number from first to last; anything else reads as fallback.
int Bounded(const QString& text, int first, int last, int fallback) {
  bool ok = false;
  const int value = text.toInt(&ok);
  return ok && value >= first && value <= last ? value : fallback;
}

}  // namespace

bool TSettings::Storable(const QString& fileName) {
  return !fileName.isEmpty() && !fileName.contains(QLatin1Char('\n')) && !fileName.contains(QLatin1Char('\r'));
}

TSettings TSettings::Load(const IniFile& ini) {
  TSettings s;
  auto read = [&](const QString& section, const QString& key) { return ini.ReadString(section, key, Missing); };
  auto folder = [&](const QString& key) {
    const QString value = read(Params, key);
    return value != Missing && !value.isEmpty() && QFileInfo(value).isDir() ? value : QString();
  };
  s.ThumbnailsFolder = folder(ThumbnailsKey);
  s.OpenFolder = folder(OpenKey);
  s.SaveFolder = folder(SaveKey);
  s.Maximized = read(Params, MaximizedKey) == QLatin1String("1");
  s.PreviewEnabled = read(Params, PreviewKey) == QLatin1String("1");
  if (const QString size = read(Params, ThumbSizeKey); size != Missing) s.CellSize = CellSizeValue(size);
  s.CheckSize = read(Params, CheckSizeKey) != QLatin1String("0");
  s.Antialias = read(Params, AntialiasKey) != QLatin1String("0");
  s.MatchColours = read(Params, MatchColoursKey) == QLatin1String("1");
  s.CropSquare = read(Params, CropSquareKey) == QLatin1String("1");
  s.Inches = read(Params, UnitKey) == QLatin1String("1");
  const TSettings defaults;
  s.Recursive = read(Params, RecursiveKey) == QLatin1String("1");
  s.TintLimit = Bounded(read(Params, TintLimitKey), 0, 100, defaults.TintLimit);
  s.TintWhole = read(Params, TintModeKey) == Whole;
  s.RepeatDistance = Bounded(read(Params, RepeatDistanceKey), 0, 25, defaults.RepeatDistance);
  s.MaxUses = Bounded(read(Params, MaxUsesKey), 0, 1000000000, defaults.MaxUses);
  s.UseAll = read(Params, UseAllKey) == QLatin1String("1");
  if (const QString aspect = read(Params, TileAspectKey); aspect != Missing && !aspect.isEmpty()) s.TileAspect = aspect;
  s.Scale = Bounded(read(Params, ScaleKey), 1, 8, defaults.Scale);
  // Exact duplicates are dropped: a file once left with stale keys would
  // otherwise list the same picture twice. Names differing in letter case
  // are two files.
  for (int n = 1; n <= MaxRecentFiles; ++n) {
    const QString name = read(Files, FileKey(n));
    if (name == Missing || name.isEmpty() || s.RecentFiles.contains(name, Qt::CaseSensitive)) continue;
    s.RecentFiles.append(name);
  }
  return s;
}

void TSettings::Save(IniFile& ini) const {
  ini.WriteString(Params, ThumbnailsKey, FolderValue(ThumbnailsFolder));
  ini.WriteString(Params, OpenKey, FolderValue(OpenFolder));
  ini.WriteString(Params, SaveKey, FolderValue(SaveFolder));
  ini.WriteString(Params, MaximizedKey, Flag(Maximized));
  ini.WriteString(Params, PreviewKey, Flag(PreviewEnabled));
  ini.WriteString(Params, ThumbSizeKey, QString::number(CellSize));
  ini.WriteString(Params, CheckSizeKey, Flag(CheckSize));
  ini.WriteString(Params, AntialiasKey, Flag(Antialias));
  // The options beyond the original ones are written only while on: a user
  // who never turns them on keeps the settings file as it always was.
  for (const auto& [key, on] : {std::pair{MatchColoursKey, MatchColours}, std::pair{CropSquareKey, CropSquare}}) {
    if (on)
      ini.WriteString(Params, key, Flag(true));
    else
      ini.DeleteKey(Params, key);
  }
  ini.WriteString(Params, UnitKey, Flag(Inches));
  // The options of "Mosaic options..." likewise, each only while away from
  // its default.
  const TSettings defaults;
  const std::pair<const QString&, QString> options[] = {
      {RecursiveKey, Recursive ? Flag(true) : QString()},
      {TintLimitKey, TintLimit != defaults.TintLimit ? QString::number(TintLimit) : QString()},
      {TintModeKey, TintWhole ? Whole : QString()},
      {RepeatDistanceKey, RepeatDistance != defaults.RepeatDistance ? QString::number(RepeatDistance) : QString()},
      {MaxUsesKey, MaxUses != defaults.MaxUses ? QString::number(MaxUses) : QString()},
      {UseAllKey, UseAll ? Flag(true) : QString()},
      {TileAspectKey, TileAspect != defaults.TileAspect ? TileAspect : QString()},
      {ScaleKey, Scale != defaults.Scale ? QString::number(Scale) : QString()},
  };
  for (const auto& [key, value] : options) {
    if (!value.isEmpty())
      ini.WriteString(Params, key, value);
    else
      ini.DeleteKey(Params, key);
  }
  // The keys after the last entry go, so that nothing stale comes back at
  // the next start.
  int n = 0;
  for (const QString& name : RecentFiles)
    if (n < MaxRecentFiles && Storable(name)) ini.WriteString(Files, FileKey(++n), name);
  while (n < MaxRecentFiles) ini.DeleteKey(Files, FileKey(++n));
}
