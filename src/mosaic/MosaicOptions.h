#pragma once
// TMosaicOptions: every option of a mosaic as one value. The window edits it,
// the command runs with it, the tool parses it from its arguments and prints
// it back as arguments, and the settings file keeps it. Each option is named
// once, in the table of MosaicOptions.cpp (its argument, its settings key,
// its bounds); its default is its initial value here.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "mosaic/MatchOptions.h"
#include "mosaic/SquareCrop.h"

// The cell sizes a mosaic is made with, in pixels, smallest first: the
// window's edit and dialog offer these, the tool takes these.
inline constexpr int CellSizes[] = {10, 15, 20, 40};

// The picture size below which "Check size" enlarges, by cell size: 80 cells
// (of the smallest size for a size not in CellSizes).
int CheckSizeLimit(int cellSize);

// The largest scale the window offers and keeps; the tool goes on, drawing
// in bands, to MaxBandResampleSide.
inline constexpr int MaxMosaicScale = 8;

struct TMosaicOptions {
  TMosaicOptions();

  QString ThumbnailsFolder;  // default: "Thumbnails" beside the executable
  int CellSize = 20;         // one of CellSizes
  bool CheckSize = true;     // "Check size": a small picture enlarged to about 80 cells first
  bool Antialias = true;     // "Antialias": each cell coloured by its average, else its top-left pixel
  // Beyond the default mosaic; all off by default. Any of the first three,
  // or a tile shape other than the square, loads the thumbnails as a photo
  // library: an unreadable file is skipped instead of ending the load, and
  // the lasting cache is used.
  bool MatchColours = false;  // "Match colours": nearest colours, adaptive tint
  bool CropSquare = false;    // "Crop to square": centred squares, area-averaged
  bool Recursive = false;     // the folder's sub-folders too
  // The tiles' shape: other than 1:1, cells of that shape (CellSize is their
  // longer side, see TileSize), each photo cropped to it like "Crop to
  // square" does to the square, in the matched and the random mosaic alike.
  TTileAspect TileAspect;
  // The matched mosaic's own.
  int TintLimit = DefaultMatchTintLimit;
  TTintMode TintMode = DefaultTintMode;
  int RepeatDistance = DefaultRepeatDistance;
  int MaxUses = 0;      // the most cells one photo may go to; 0: no cap
  bool UseAll = false;  // every photo at least once, when the cells allow
  // Each cell drawn Scale times larger from a larger thumbnail: the mosaic is
  // Scale times the picture's size.
  int Scale = 1;
  // The tool's own (the window always uses the defaults).
  bool FastJpeg = false;              // decode JPEG thumbnails at a reduced scale
  bool UseCache = true;               // the lasting cache of a photo library
  std::optional<std::uint64_t> Seed;  // a repeatable choice of thumbnails; none: new each time

  bool operator==(const TMosaicOptions&) const = default;

  // The tool's arguments of the mosaic's options: each name and, for one
  // that takes a value, the usage error when none follows (empty: a switch).
  struct TArgument {
    const char* Name;
    std::string NoValue;
  };
  static std::vector<TArgument> ArgumentNames();
  // Sets the options the tool was given: values by argument name and the
  // switches given (as its command-line parser gathers them); the others
  // keep their values. Gives back the usage error ("--cell must be 10, 15,
  // 20 or 40", "--tint is an option of --match", ...), empty when none.
  QString ParseArguments(const std::map<std::string, std::string>& values, const std::set<std::string>& switches);
  // The arguments that make this mosaic: options at their defaults are left
  // out, and so are the matched mosaic's own without "--match" (the tool
  // refuses them there, and the random mosaic does not use them).
  QStringList Arguments() const;

  // The options the settings file holds, read with the file's rules (an odd
  // value reads as the default, a folder is taken only while it exists);
  // the others keep their defaults.
  static TMosaicOptions LoadSettings(const IniFile& ini);
  // Writes the keys that go at one of the places TSettings::Save gives them:
  // each only while away from its default, except the program's first ones
  // (folder, cell size, "Check size", "Antialias"), always there.
  void SaveSettings(IniFile& ini, TSettingsPlace place) const;
};
