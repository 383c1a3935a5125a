#include "mosaic/MosaicOptions.h"

#include <QByteArray>
#include <iterator>
#include <limits>

#include "app/FileNames.h"
#include "app/IniFile.h"
#include "app/PathAndTextHelpers.h"
#include "app/Settings.h"
#include "mosaic/ThumbnailLibrary.h"
#include "raster/Lanczos.h"

namespace {

enum class TKind {
  Switch,  // a flag; the tool's switch turns it away from its default
  Number,  // a whole number within bounds
  Size,    // one of CellSizes
  Tint,    // light or whole
  Shape,   // "W:H", one of TileAspects
  Folder,  // a folder
  Seed,    // the tool's random seed
};

struct TField {
  TKind Kind;
  // The tool's argument (nullptr: none) and, for one that takes a value,
  // what it needs, for the usage error when none follows (nullptr: the
  // error of a refused value says it).
  const char* Argument = nullptr;
  const char* Needs = nullptr;
  // An option of "--match" only: refused without it, and left out of the
  // arguments without it.
  bool MatchOnly = false;
  // The key in the settings file (nullptr: not kept) and its place in a
  // fresh file.
  const char* Key = nullptr;
  TSettingsPlace Place = TSettingsPlace::First;
  // Written at its default too, as the program's first keys always were.
  bool AlwaysKept = false;
  bool TMosaicOptions::*Flag = nullptr;   // Switch
  int TMosaicOptions::*Number = nullptr;  // Number, Size
  // A number's bounds as the tool takes it and as the settings file keeps
  // it: the window offers fewer scales, and a cap of 0 is no cap there.
  long long Low = 0, High = 0;
  int KeptLow = 0, KeptHigh = 0;
};

using O = TMosaicOptions;
using P = TSettingsPlace;

// Every option, in the order of its key in a fresh settings file.
const TField Fields[] = {
    {.Kind = TKind::Folder, .Argument = "--thumbnails", .Needs = "a folder", .Key = "Thumbnails", .AlwaysKept = true},
    {.Kind = TKind::Size,
     .Argument = "--cell",
     .Key = "ThumbSize",
     .Place = P::AfterPreview,
     .AlwaysKept = true,
     .Number = &O::CellSize},
    {.Kind = TKind::Switch,
     .Argument = "--no-check-size",
     .Key = "CheckSize",
     .Place = P::AfterPreview,
     .AlwaysKept = true,
     .Flag = &O::CheckSize},
    {.Kind = TKind::Switch,
     .Argument = "--no-antialias",
     .Key = "Antialias",
     .Place = P::AfterPreview,
     .AlwaysKept = true,
     .Flag = &O::Antialias},
    {.Kind = TKind::Switch,
     .Argument = "--match",
     .Key = "MatchColours",
     .Place = P::AfterPreview,
     .Flag = &O::MatchColours},
    {.Kind = TKind::Switch,
     .Argument = "--crop",
     .Key = "CropSquare",
     .Place = P::AfterPreview,
     .Flag = &O::CropSquare},
    {.Kind = TKind::Switch,
     .Argument = "--recursive",
     .Key = "Recursive",
     .Place = P::AfterUnit,
     .Flag = &O::Recursive},
    {.Kind = TKind::Number,
     .Argument = "--tint",
     .Needs = "a percentage",
     .MatchOnly = true,
     .Key = "TintLimit",
     .Place = P::AfterUnit,
     .Number = &O::TintLimit,
     .Low = 0,
     .High = 100,
     .KeptLow = 0,
     .KeptHigh = 100},
    {.Kind = TKind::Tint, .Argument = "--tint-mode", .MatchOnly = true, .Key = "TintMode", .Place = P::AfterUnit},
    {.Kind = TKind::Number,
     .Argument = "--repeat-distance",
     .Needs = "a number",
     .MatchOnly = true,
     .Key = "RepeatDistance",
     .Place = P::AfterUnit,
     .Number = &O::RepeatDistance,
     .Low = 0,
     .High = MaxRepeatDistance,
     .KeptLow = 0,
     .KeptHigh = MaxRepeatDistance},
    {.Kind = TKind::Number,
     .Argument = "--max-uses",
     .Needs = "a number",
     .MatchOnly = true,
     .Key = "MaxUses",
     .Place = P::AfterUnit,
     .Number = &O::MaxUses,
     .Low = 1,
     .High = 1000000000,
     .KeptLow = 0,
     .KeptHigh = 1000000000},
    {.Kind = TKind::Switch,
     .Argument = "--use-all",
     .MatchOnly = true,
     .Key = "UseAll",
     .Place = P::AfterUnit,
     .Flag = &O::UseAll},
    {.Kind = TKind::Shape,
     .Argument = "--tile-aspect",
     .Needs = "a shape W:H",
     .Key = "TileAspect",
     .Place = P::AfterUnit},
    {.Kind = TKind::Number,
     .Argument = "--scale",
     .Needs = "a number",
     .Key = "Scale",
     .Place = P::AfterUnit,
     .Number = &O::Scale,
     .Low = 1,
     .High = MaxBandResampleSide,
     .KeptLow = 1,
     .KeptHigh = MaxMosaicScale},
    {.Kind = TKind::Switch, .Argument = "--fast", .Flag = &O::FastJpeg},
    {.Kind = TKind::Switch, .Argument = "--no-cache", .Flag = &O::UseCache},
    {.Kind = TKind::Seed,
     .Argument = "--seed",
     .Needs = "a number",
     .Low = 0,
     .High = std::numeric_limits<long long>::max()},
};

const char* TintModeName(TTintMode mode) { return mode == TTintMode::Whole ? "whole" : "light"; }

// "10, 15, 20 or 40".
QString CellSizeList() {
  QString list;
  for (size_t i = 0; i < std::size(CellSizes); ++i) {
    if (i > 0) list += i + 1 == std::size(CellSizes) ? QStringLiteral(" or ") : QStringLiteral(", ");
    list += QString::number(CellSizes[i]);
  }
  return list;
}

bool IsCellSize(long long size) {
  for (int s : CellSizes)
    if (s == size) return true;
  return false;
}

// The option's value as the tool and the settings file write it; empty for
// a seed not given.
QString Text(const TField& f, const TMosaicOptions& o) {
  switch (f.Kind) {
    case TKind::Switch: return o.*f.Flag ? QStringLiteral("1") : QStringLiteral("0");
    case TKind::Number:
    case TKind::Size: return QString::number(o.*f.Number);
    case TKind::Tint: return QLatin1String(TintModeName(o.TintMode));
    case TKind::Shape: return QStringLiteral("%1:%2").arg(o.TileAspect.Width).arg(o.TileAspect.Height);
    case TKind::Folder: return o.ThumbnailsFolder;
    case TKind::Seed: return o.Seed ? QString::number(*o.Seed) : QString();
  }
  return QString();
}

// Why the tool refuses a value of the option.
QString Refusal(const TField& f) {
  const QString name = QLatin1String(f.Argument);
  switch (f.Kind) {
    case TKind::Number: return QStringLiteral("%1 must be %2 to %3").arg(name).arg(f.Low).arg(f.High);
    case TKind::Size: return name + QStringLiteral(" must be ") + CellSizeList();
    case TKind::Tint: return name + QStringLiteral(" must be light or whole");
    case TKind::Shape: return name + QStringLiteral(" must be ") + TileAspectList();
    case TKind::Seed: return QStringLiteral("%1 must be a whole number from %2 to %3").arg(name).arg(f.Low).arg(f.High);
    case TKind::Switch:
    case TKind::Folder: break;
  }
  return QString();
}

// Sets the option from the tool's value; false when it is refused.
bool SetFromArgument(const TField& f, const std::string& value, TMosaicOptions& o) {
  const QString text = DecodeFileName(QByteArray::fromStdString(value));
  switch (f.Kind) {
    case TKind::Number:
    case TKind::Size:
    case TKind::Seed: {
      const auto n = ParseWholeNumber(value);
      if (!n || (f.Kind == TKind::Size ? !IsCellSize(*n) : *n < f.Low || *n > f.High)) return false;
      if (f.Kind == TKind::Seed)
        o.Seed = std::uint64_t(*n);
      else
        o.*f.Number = int(*n);
      return true;
    }
    case TKind::Tint:
      if (text != QLatin1String("light") && text != QLatin1String("whole")) return false;
      o.TintMode = text == QLatin1String("whole") ? TTintMode::Whole : TTintMode::Light;
      return true;
    case TKind::Shape: return ParseTileAspect(text, o.TileAspect);
    case TKind::Folder: o.ThumbnailsFolder = text; return true;
    case TKind::Switch: break;
  }
  return false;
}

// Sets the option from the settings file's text, with the file's rules:
// what is odd reads as the default.
void SetFromSettings(const TField& f, const QString& text, TMosaicOptions& o) {
  bool ok = false;
  switch (f.Kind) {
    case TKind::Switch: {
      // Only the other state's own text ("0" for an option on by default,
      // "1" for one off) moves a flag from its default.
      const bool byDefault = TMosaicOptions().*f.Flag;
      if (text == QLatin1String(byDefault ? "0" : "1")) o.*f.Flag = !byDefault;
      return;
    }
    case TKind::Number: {
      const int n = text.toInt(&ok);
      if (ok && n >= f.KeptLow && n <= f.KeptHigh) o.*f.Number = n;
      return;
    }
    case TKind::Size: {
      // As the program has always read it: text that is not an int is the
      // second size, a number not among the sizes the first.
      const int n = text.toInt(&ok);
      o.CellSize = !ok ? CellSizes[1] : IsCellSize(n) ? n : CellSizes[0];
      return;
    }
    case TKind::Tint:
      if (text == QLatin1String(TintModeName(TTintMode::Whole))) o.TintMode = TTintMode::Whole;
      return;
    case TKind::Shape: ParseTileAspect(text, o.TileAspect); return;
    case TKind::Folder:
      if (const QString folder = TSettings::ExistingFolder(text); !folder.isEmpty()) o.ThumbnailsFolder = folder;
      return;
    case TKind::Seed: return;
  }
}

}  // namespace

int CheckSizeLimit(int cellSize) {
  constexpr int cells = 80;
  return cells * (IsCellSize(cellSize) ? cellSize : CellSizes[0]);
}

TMosaicOptions::TMosaicOptions() : ThumbnailsFolder(BundledPath(QString::fromLatin1(DefaultThumbnailsFolderName))) {}

std::vector<TMosaicOptions::TArgument> TMosaicOptions::ArgumentNames() {
  std::vector<TArgument> names;
  for (const TField& f : Fields) {
    if (!f.Argument) continue;
    TArgument a{f.Argument, std::string()};
    if (f.Kind != TKind::Switch)
      a.NoValue = f.Needs ? std::string(f.Argument) + " needs " + f.Needs : Refusal(f).toStdString();
    names.push_back(a);
  }
  return names;
}

QString TMosaicOptions::ParseArguments(const std::map<std::string, std::string>& values,
                                       const std::set<std::string>& switches) {
  const TMosaicOptions defaults;
  for (const TField& f : Fields) {
    if (!f.Argument) continue;
    if (f.Kind == TKind::Switch) {
      if (switches.count(f.Argument)) this->*f.Flag = !(defaults.*f.Flag);
      continue;
    }
    const auto v = values.find(f.Argument);
    if (v != values.end() && !SetFromArgument(f, v->second, *this)) return Refusal(f);
  }
  for (const TField& f : Fields)
    if (f.MatchOnly && !MatchColours && (values.count(f.Argument) || switches.count(f.Argument)))
      return QStringLiteral("%1 is an option of --match").arg(QLatin1String(f.Argument));
  return QString();
}

QStringList TMosaicOptions::Arguments() const {
  const TMosaicOptions defaults;
  QStringList args;
  for (const TField& f : Fields) {
    if (!f.Argument || (f.MatchOnly && !MatchColours)) continue;
    const QString text = Text(f, *this);
    if (text == Text(f, defaults)) continue;
    args << QLatin1String(f.Argument);
    if (f.Kind != TKind::Switch) args << text;
  }
  return args;
}

TMosaicOptions TMosaicOptions::LoadSettings(const IniFile& ini) {
  TMosaicOptions o;
  for (const TField& f : Fields)
    if (f.Key)
      if (const auto text = TSettings::ReadParam(ini, QLatin1String(f.Key))) SetFromSettings(f, *text, o);
  return o;
}

void TMosaicOptions::SaveSettings(IniFile& ini, TSettingsPlace place) const {
  const TMosaicOptions defaults;
  for (const TField& f : Fields) {
    if (!f.Key || f.Place != place) continue;
    const QString text = Text(f, *this);
    std::optional<QString> kept;
    if (f.Kind == TKind::Folder)
      kept = TSettings::FolderText(text);
    else if (f.AlwaysKept || text != Text(f, defaults))
      kept = text;
    TSettings::WriteParam(ini, QLatin1String(f.Key), kept);
  }
}
