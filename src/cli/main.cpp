// tesselune-cli: the program's work without a window. The same engine, the
// same load and save dispatch and the same messages, on standard error.
#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/FileNames.h"
#include "app/FoncUtils.h"
#include "app/LibLang.h"
#include "app/MyMsgDlg.h"
#include "cli/CliProgress.h"
#include "imagefiles/BandWriters.h"
#include "imagefiles/DeepZoom.h"
#include "imagefiles/FileBytes.h"
#include "imagefiles/PictureFiles.h"
#include "imagefiles/PictureInfo.h"
#include "mosaic/DeepZoomPage.h"
#include "mosaic/MosaicCommand.h"
#include "mosaic/MosaicOptions.h"
#include "mosaic/TileMap.h"
#include "raster/BandSink.h"
#include "raster/Lanczos.h"

namespace {

constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;
// Enlarged mosaics of more pixels than this are drawn in bands when their
// format allows: held whole, with the enlarged target, they would take more
// than a gigabyte.
constexpr std::int64_t kBandPixels = 200'000'000;

const char* const kUsage =
    "Usage: tesselune-cli COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  mosaic TARGET --output OUTPUT [options]   turn a picture into a photo mosaic\n"
    "  convert INPUT OUTPUT [options]            load a picture and save it in another format\n"
    "  info FILE...                              size, colour depth and file size of pictures\n"
    "\n"
    "Run 'tesselune-cli COMMAND --help' for the options of a command.\n"
    "'--' ends the options of a command.\n"
    "Exit status: 0 done, 1 a picture could not be loaded or saved (the reason\n"
    "follows the message), 2 usage error.\n";

const char* const kMosaicUsage =
    "Usage: tesselune-cli mosaic TARGET --output OUTPUT [options]\n"
    "\n"
    "Opens TARGET, replaces every cell of it by a thumbnail pulled towards the\n"
    "cell's colour, and saves the result as OUTPUT (format by its extension:\n"
    ".bmp .gif .jpg .jpeg .png .rle .tga .tif .tiff).\n"
    "\n"
    "Options:\n"
    "  --thumbnails DIR   folder of PNG, JPEG, BMP and GIF thumbnails\n"
    "                     (default: the Thumbnails folder beside the program;\n"
    "                     with the options below, its SamplePhotos folder)\n"
    "  --cell N           cell size in pixels: 10, 15, 20 or 40 (default 20)\n"
    "  --no-check-size    do not enlarge a small picture to about 80 cells\n"
    "  --no-antialias     colour each cell from its top-left pixel only\n"
    "  --seed N           repeatable choice of thumbnails\n"
    "  --fast             decode JPEG thumbnails at a reduced scale (faster,\n"
    "                     slightly different squares)\n"
    "\n"
    "Beyond the default mosaic (any of --match, --crop, --tile-aspect and\n"
    "--recursive loads the folder as a photo library: unreadable files are\n"
    "skipped and reported, and the tiles are kept in a cache in the user's cache\n"
    "folder):\n"
    "  --match            give each cell the photo whose colours fit it best,\n"
    "                     tinted only as far as needed\n"
    "  --tint N           with --match: the most a photo is tinted, 0 to 100 %\n"
    "                     (default 25)\n"
    "  --tint-mode MODE   with --match: light (default) moves each part of a\n"
    "                     photo towards the picture's own light there, keeping\n"
    "                     the photo's detail; whole pulls the whole photo\n"
    "                     towards the cell's colour\n"
    "  --repeat-distance N  with --match: a photo is not used again within N\n"
    "                     cells, 0 to 25 (default 3; 0 lets neighbours repeat)\n"
    "  --max-uses N       with --match: no photo in more than N cells (N >= 1)\n"
    "  --use-all          with --match: every photo at least once, when there are\n"
    "                     as many cells as photos\n"
    "  --report FILE.json with --match: write how faithful the mosaic is (colour\n"
    "                     differences seen from afar and up close, photos used,\n"
    "                     mean tint) and print a summary\n"
    "  --crop             use the centred square of each photo, reduced smoothly,\n"
    "                     instead of squashing the whole photo\n"
    "  --tile-aspect W:H  tiles of that shape instead of squares, each photo cut\n"
    "                     to its centred part of that shape (as --crop does):\n"
    "                     1:1, 4:3, 3:2, 16:9, 3:4, 2:3 or 9:16; the cell size is\n"
    "                     the tile's longer side\n"
    "  --recursive        read the photos of sub-folders too\n"
    "  --no-cache         decode every photo, neither reading nor filling the cache\n"
    "  --scale K          draw each cell K times larger from a larger photo: the\n"
    "                     mosaic is K times the picture's size. Beyond 65535\n"
    "                     pixels a side or 536,870,912 pixels (or 200,000,000\n"
    "                     pixels when the format allows) it is drawn and written\n"
    "                     band by band, never held whole, as TIFF (up to\n"
    "                     1,000,000 pixels a side, BigTIFF past 4 GB), PNG (up\n"
    "                     to 1,000,000) or JPEG (up to 65535), once the disk is\n"
    "                     found to have room for it\n"
    "  --tile-map FILE    with --match: write which photo went in each cell (its\n"
    "                     column, row, pixel rectangle, path relative to the\n"
    "                     photo folder and tint) as FILE.json or FILE.csv; the\n"
    "                     map is for matched mosaics only\n"
    "  --deep-zoom DIR    also write the mosaic as a zoomable page in DIR (made\n"
    "                     if missing): index.html, which opens from the disk or\n"
    "                     any web server, a Deep Zoom pyramid (mosaic.dzi and\n"
    "                     mosaic_files/, 256-pixel JPEG tiles) and, for a\n"
    "                     matched mosaic, its tile map (tilemap.json), with which\n"
    "                     the page names the photo under the mouse\n";

const char* const kConvertUsage =
    "Usage: tesselune-cli convert INPUT OUTPUT [options]\n"
    "\n"
    "Loads INPUT (any readable format) and saves it as OUTPUT, the format chosen\n"
    "by OUTPUT's extension.\n"
    "\n"
    "Options:\n"
    "  --quality N        JPEG quality, 5 to 100 (default 90)\n"
    "  --progressive      progressive JPEG\n";

const char* const kInfoUsage =
    "Usage: tesselune-cli info FILE...\n"
    "\n"
    "Prints one line per file: its size in pixels, colour depth in bits and file\n"
    "size, read from the file's header without decoding the picture where the\n"
    "format allows.\n";

// A usage error says its cause and where the help is, not the whole help,
// which would bury the one line that matters.
int UsageError(const QString& message, const char* usage) {
  const char* help = usage == kMosaicUsage    ? "tesselune-cli mosaic --help"
                     : usage == kConvertUsage ? "tesselune-cli convert --help"
                     : usage == kInfoUsage    ? "tesselune-cli info --help"
                                              : "tesselune-cli --help";
  std::fprintf(stderr, "tesselune-cli: %s\nSee '%s'.\n", EncodeFileName(message).constData(), help);
  return ExitUsage;
}

// Names come from the command line as the system's bytes and go back to it,
// and into messages, as exactly those bytes (see app/FileNames.h).
QString Q(const std::string& s) { return DecodeFileName(QByteArray(s.data(), qsizetype(s.size()))); }
QString Q(const char* s) { return QString::fromUtf8(s); }

void PrintError(const QString& text) { std::fprintf(stderr, "%s\n", EncodeFileName(text).constData()); }

// The save error for name, then the reason.
void PrintSaveError(const QString& name, const QString& reason) {
  PrintError(QString(LangText(lsSaveError)).replace(QStringLiteral("%s"), name) + QLatin1Char('\n') + reason);
}

// The options of a command and what their absence of a value is called.
struct TOptionSpec {
  const char* Name;
  const char* Alias;       // nullptr: none
  const char* NeedsValue;  // nullptr: a switch; else the message when no value follows
};

struct TCommandLine {
  std::map<std::string, std::string> Values;  // by option name
  std::set<std::string> Switches;
  std::vector<std::string> Operands;
  bool Help = false;
  QString Error;  // a usage error
};

// Options before "--" (which ends them, as in every Linux tool), operands
// anywhere; an option that takes a value may not be given twice, since
// only one of the two values could be obeyed.
TCommandLine ParseCommandLine(const std::vector<std::string>& args, const std::vector<TOptionSpec>& specs) {
  TCommandLine line;
  bool options = true;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!options || a.size() < 2 || a[0] != '-') {
      line.Operands.push_back(a);
      continue;
    }
    if (a == "--") {
      options = false;
      continue;
    }
    if (a == "--help" || a == "-h") {
      line.Help = true;
      continue;
    }
    const TOptionSpec* spec = nullptr;
    for (const TOptionSpec& s : specs)
      if (a == s.Name || (s.Alias && a == s.Alias)) spec = &s;
    if (!spec) {
      line.Error = QStringLiteral("unknown option ") + Q(a);
      return line;
    }
    if (!spec->NeedsValue) {
      line.Switches.insert(spec->Name);
      continue;
    }
    if (i + 1 >= args.size()) {
      line.Error = Q(spec->NeedsValue);
      return line;
    }
    if (!line.Values.emplace(spec->Name, args[++i]).second) {
      line.Error = Q(spec->Name) + QStringLiteral(" given twice");
      return line;
    }
  }
  return line;
}

// The output is checked before any work: an extension that nothing writes
// is a usage error (the command line asks for the impossible); a folder
// that is missing or cannot be written fails like the save would, with the
// save error and its reason. ExitOk when the output can be tried.
int CheckOutput(const std::string& output, const char* usage) {
  const QString name = Q(output);
  if (!WritableFormat(name)) {
    const QString ext = LowerExtension(name);
    return UsageError(QStringLiteral("cannot write \"%1\": %2")
                          .arg(name, ext.isEmpty() ? QStringLiteral("no extension to tell the format")
                                                   : QStringLiteral("no format is written as \"%1\"").arg(ext)),
                      usage);
  }
  const std::string problem = SaveTargetProblem(name);
  if (problem.empty()) return ExitOk;
  PrintSaveError(name, QString::fromStdString(problem));
  return ExitFailed;
}

// The tool's own load and save context: messages on, and a stage
// handler only where a command installs one.
TPictureFileContext ToolContext() { return TPictureFileContext{}; }

// Opens a picture like the program's Open command: 24 bits, not transparent.
bool OpenPicture(const std::string& path, TBitmap& picture) {
  TPictureFileContext context = ToolContext();
  context.WorkingLayout = true;
  return LoadPicture(context, Q(path), picture) > 0;
}

bool SavePictureAs(const std::string& path, const TBitmap& picture, const TPictureFileEvent& handler = {}) {
  TPictureFileContext context = ToolContext();
  context.OnPictureFile = handler;
  return SavePicture(context, Q(path), picture) > 0;
}

// Figures to two decimals: more would be noise.
double Rounded(double value) { return std::round(value * 100.0) / 100.0; }

// The quality report of a matched mosaic as JSON, and its summary on
// standard error; false (after the save error) when the file cannot be
// written.
bool WriteReport(const std::string& path, const TMosaicCommand& command) {
  const TMosaicQuality& q = command.LastQuality;
  const auto figures = [](const TDistanceFigures& f) {
    return QJsonObject{{QStringLiteral("mean"), Rounded(f.Mean)}, {QStringLiteral("p95"), Rounded(f.P95)}};
  };
  const QJsonObject report{
      {QStringLiteral("cells"), q.Cells},
      {QStringLiteral("columns"), command.LastPlacement.Columns},
      {QStringLiteral("rows"), command.LastPlacement.Rows},
      {QStringLiteral("deltaE2000Far"), figures(q.Far)},
      {QStringLiteral("deltaE2000Near"), figures(q.Near)},
      {QStringLiteral("photosInLibrary"), command.ImgVignettes.Count()},
      {QStringLiteral("photosUsed"), q.PhotosUsed},
      {QStringLiteral("mostUses"), q.MostUses},
      {QStringLiteral("meanTintPercent"), Rounded(q.MeanTint)},
      {QStringLiteral("tintLimitPercent"), command.Options.TintLimit},
      {QStringLiteral("tintMode"),
       command.Options.TintMode == TTintMode::Light ? QStringLiteral("light") : QStringLiteral("whole")},
      {QStringLiteral("repeatDistance"), command.Options.RepeatDistance},
  };
  const QByteArray json = QJsonDocument(report).toJson(QJsonDocument::Indented);
  try {
    WriteFileAtomically(Q(path), TBytes(reinterpret_cast<const std::uint8_t*>(json.constData()), size_t(json.size())));
  } catch (const std::exception& e) {
    PrintSaveError(Q(path), QString::fromUtf8(e.what()));
    return false;
  }
  PrintError(QStringLiteral("tesselune-cli: colour difference (CIEDE2000) from afar %1 (95 % of cells under %2), "
                            "up close %3 (95 % of quarter cells under %4); mean tint %5 %")
                 .arg(q.Far.Mean, 0, 'f', 1)
                 .arg(q.Far.P95, 0, 'f', 1)
                 .arg(q.Near.Mean, 0, 'f', 1)
                 .arg(q.Near.P95, 0, 'f', 1)
                 .arg(q.MeanTint, 0, 'f', 0));
  return true;
}

// After a matched mosaic: the rules on reuse that could not be met and by
// how much, then one line on how the photos were used.
void PrintUses(const TMatchUses& uses) {
  const auto plural = [](int n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
  };
  if (uses.OverCap > 0)
    PrintError(QStringLiteral("tesselune-cli: --max-uses %1: %2 cannot fill %3; %4 a photo more than %5")
                   .arg(uses.MaxUses)
                   .arg(plural(uses.Photos, "photo", "photos"), plural(uses.Cells, "cell", "cells"),
                        plural(uses.OverCap, "cell uses", "cells use"), plural(uses.MaxUses, "time", "times")));
  if (uses.Unused > 0)
    PrintError(QStringLiteral("tesselune-cli: --use-all: %1 cannot show %2; %3 not used")
                   .arg(plural(uses.Cells, "cell", "cells"), plural(uses.Photos, "photo", "photos"),
                        plural(uses.Unused, "photo is", "photos are")));
  if (uses.TooClose > 0) {
    QStringList rules;
    if (uses.MaxUses > 0) rules << QStringLiteral("--max-uses %1").arg(uses.MaxUses);
    if (uses.UseAll) rules << QStringLiteral("--use-all");
    PrintError(QStringLiteral("tesselune-cli: --repeat-distance %1 with %2: %3 a photo again within %4")
                   .arg(uses.RepeatDistance)
                   .arg(rules.join(QStringLiteral(" and ")), plural(uses.TooClose, "cell shows", "cells show"),
                        plural(uses.RepeatDistance, "cell", "cells")));
  }
  PrintError(QStringLiteral("tesselune-cli: %1 of %2 used, none more than %3")
                 .arg(uses.PhotosUsed)
                 .arg(plural(uses.Photos, "photo", "photos"), plural(uses.MostUses, "time", "times")));
}

// The finished mosaic passed band by band to the outputs that take it so.
// Built whole in memory, it is cut into bands here.
bool WriteMosaicBands(const TBitmap& mosaic, TBandSink& sink) { return WriteInBands(mosaic, sink, 256); }

// The tile map of the last matched mosaic, JSON or CSV by the extension.
bool WriteTileMap(const std::string& path, const TTileMap& map) {
  const QByteArray text = LowerExtension(Q(path)) == QStringLiteral(".csv") ? TileMapCsv(map) : TileMapJson(map);
  try {
    WriteFileAtomically(Q(path), TBytes(reinterpret_cast<const std::uint8_t*>(text.constData()), size_t(text.size())));
  } catch (const std::exception& e) {
    PrintSaveError(Q(path), QString::fromUtf8(e.what()));
    return false;
  }
  return true;
}

// The deep-zoom page of a width x height mosaic in folder, beside its pyramid.
bool WriteDeepZoomPageIn(const std::string& folder, int width, int height, const TTileMap& map) {
  if (const QString error = WriteDeepZoomPage(Q(folder), width, height, map); !error.isEmpty()) {
    PrintSaveError(Q(folder) + QStringLiteral("/index.html"), error);
    return false;
  }
  return true;
}

// Makes the deep-zoom folder with the folders missing on its way; false
// (after the save error) when something took its place since the check.
bool MakeDeepZoomFolder(const std::string& folder) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(folder), ec);
  if (!ec) return true;
  PrintSaveError(Q(folder), QString::fromStdString(SystemErrorReason(ec.value())));
  return false;
}

// The mosaic's pyramid and its page in folder.
bool WriteDeepZoom(const std::string& folder, const TBitmap& mosaic, const TTileMap& map) {
  if (!MakeDeepZoomFolder(folder)) return false;
  TDeepZoomWriter pyramid(Q(folder), QLatin1String(DeepZoomName));
  if (!WriteMosaicBands(mosaic, pyramid)) {
    PrintSaveError(Q(folder) + QLatin1Char('/') + QLatin1String(DeepZoomName) + QStringLiteral(".dzi"),
                   pyramid.Error());
    return false;
  }
  return WriteDeepZoomPageIn(folder, mosaic.Width(), mosaic.Height(), map);
}

int RunMosaic(const std::vector<std::string>& args) {
  // The mosaic's options, as its options value names them, and the tool's
  // own: the outputs beside the picture.
  const std::vector<TMosaicOptions::TArgument> mosaicOptions = TMosaicOptions::ArgumentNames();
  std::vector<TOptionSpec> specs{{"--output", "-o", "--output needs a file name"},
                                 {"--report", nullptr, "--report needs a file name"},
                                 {"--tile-map", nullptr, "--tile-map needs a file name"},
                                 {"--deep-zoom", nullptr, "--deep-zoom needs a folder"}};
  for (const TMosaicOptions::TArgument& a : mosaicOptions)
    specs.push_back({a.Name, nullptr, a.NoValue.empty() ? nullptr : a.NoValue.c_str()});
  const TCommandLine line = ParseCommandLine(args, specs);
  if (line.Help) return std::fputs(kMosaicUsage, stdout), ExitOk;
  if (!line.Error.isEmpty()) return UsageError(line.Error, kMosaicUsage);
  TMosaicOptions options;
  if (const QString error = options.ParseArguments(line.Values, line.Switches); !error.isEmpty())
    return UsageError(error, kMosaicUsage);
  for (const char* matchOnly : {"--report", "--tile-map"})
    if (line.Values.count(matchOnly) && !options.MatchColours)
      return UsageError(QStringLiteral("%1 is an option of --match").arg(QLatin1String(matchOnly)), kMosaicUsage);
  TMosaicCommand command;
  command.OptionsChosen(options);
  if (line.Operands.empty()) return UsageError(QStringLiteral("no target picture"), kMosaicUsage);
  if (line.Operands.size() > 1) return UsageError(QStringLiteral("one target picture only"), kMosaicUsage);
  const auto output = line.Values.find("--output");
  if (output == line.Values.end()) return UsageError(QStringLiteral("no --output file"), kMosaicUsage);
  if (const int status = CheckOutput(output->second, kMosaicUsage); status != ExitOk) return status;
  const auto report = line.Values.find("--report");
  if (report != line.Values.end()) {
    // The report is checked before the work, like the picture.
    if (const std::string problem = SaveTargetProblem(Q(report->second)); !problem.empty()) {
      PrintSaveError(Q(report->second), QString::fromStdString(problem));
      return ExitFailed;
    }
  }
  const auto tileMap = line.Values.find("--tile-map");
  if (tileMap != line.Values.end()) {
    const QString ext = LowerExtension(Q(tileMap->second));
    if (ext != QStringLiteral(".json") && ext != QStringLiteral(".csv"))
      return UsageError(QStringLiteral("--tile-map must name a .json or .csv file"), kMosaicUsage);
    if (const std::string problem = SaveTargetProblem(Q(tileMap->second)); !problem.empty()) {
      PrintSaveError(Q(tileMap->second), QString::fromStdString(problem));
      return ExitFailed;
    }
  }
  const auto deepZoom = line.Values.find("--deep-zoom");
  if (deepZoom != line.Values.end()) {
    // The folder is checked before the work, like the files, but made only
    // once the work starts: a run that fails leaves no empty folder.
    if (const std::string problem = FolderTargetProblem(Q(deepZoom->second)); !problem.empty()) {
      PrintSaveError(Q(deepZoom->second), QString::fromStdString(problem));
      return ExitFailed;
    }
  }
  // A folder given is the one to use, bundled or not.
  if (line.Values.count("--thumbnails")) command.PreferSamplePhotos = false;

  // A mosaic beyond what memory holds is drawn in bands into the file, and
  // so is a large enlarged one whose format can be written in bands (held
  // whole it would take a gigabyte or more); one beyond the format's limit,
  // or the disk's room, is refused before any work, from the target's
  // header (or, when that cannot be read alone, once the picture is open).
  bool inBands = false;
  std::int64_t mosaicWidth = 0, mosaicHeight = 0;
  const auto checkSize = [&](int targetWidth, int targetHeight) {
    const QString name = Q(output->second);
    std::int64_t& width = mosaicWidth;
    std::int64_t& height = mosaicHeight;
    inBands = !command.OutputSize(targetWidth, targetHeight, width, height) ||
              (command.Options.Scale > 1 && width * height > kBandPixels && BandFileMaxSide(name) > 0);
    if (!inBands) return ExitOk;
    const std::int64_t side = std::min(BandFileMaxSide(name), MaxBandResampleSide);
    if (side == 0) {
      PrintError(QStringLiteral("tesselune-cli: the mosaic would be %1 x %2 pixels, beyond the limit of 65535 pixels "
                                "a side and 536,870,912 pixels of a picture held whole (TIFF, PNG and JPEG files "
                                "are written in bands): choose a smaller --scale")
                     .arg(width)
                     .arg(height));
      return ExitFailed;
    }
    if (width > side || height > side) {
      PrintError(QStringLiteral("tesselune-cli: the mosaic would be %1 x %2 pixels, beyond the limit of %3 pixels a "
                                "side of a %4 file: choose a smaller --scale")
                     .arg(width)
                     .arg(height)
                     .arg(side)
                     .arg(LowerExtension(name).mid(1).toUpper()));
      return ExitFailed;
    }
    if (const std::string problem = DiskSpaceProblem(name, BandFileBytesNeeded(name, width, height));
        !problem.empty()) {
      PrintSaveError(name, QString::fromStdString(problem));
      return ExitFailed;
    }
    return ExitOk;
  };
  bool sizeChecked = false;
  {
    TPictureFileContext context = ToolContext();
    context.ShowFileErrors = false;
    TPictureHeader header;
    if (ReadPictureHeader(context, Q(line.Operands.front()), header)) {
      if (const int status = checkSize(header.Width, header.Height); status != ExitOk) return status;
      sizeChecked = true;
    }
  }

  TBitmap working;
  if (!OpenPicture(line.Operands.front(), working)) return ExitFailed;
  if (!sizeChecked)
    if (const int status = checkSize(working.Width(), working.Height()); status != ExitOk) return status;

  TCliProgress progress;
  TMosaicProgress sink;
  sink.ShowThumbnailCount = [&](int n) { progress.Count("Thumbnails", n); };
  sink.ShowFileProgress = [&](int done, int found) {
    progress.Show("Photos", found > 0 ? done * 100 / found : 100,
                  QStringLiteral("%1 of %2 files").arg(done).arg(found).toStdString());
  };
  sink.ShowProgress = [&](int percent) { progress.Show("Mosaic", percent, ""); };
  std::unique_ptr<TSeededRandom> random;
  if (command.Options.Seed) {
    random = std::make_unique<TSeededRandom>(*command.Options.Seed);
    command.Random = random.get();
  }
  // The tool has no undo: the picture is built in place, never copied; a
  // mosaic too large for memory goes band by band into its file.
  // With a deep-zoom page, the same bands feed its pyramid as well.
  std::unique_ptr<TBandSink> file = inBands ? MakeBandFileWriter(Q(output->second)) : nullptr;
  std::unique_ptr<TDeepZoomWriter> pyramid;
  std::unique_ptr<TBandTee> both;
  TBandSink* bands = file.get();
  if (file && deepZoom != line.Values.end()) {
    if (!MakeDeepZoomFolder(deepZoom->second)) return ExitFailed;
    pyramid = std::make_unique<TDeepZoomWriter>(Q(deepZoom->second), QLatin1String(DeepZoomName));
    both = std::make_unique<TBandTee>(std::vector<TBandSink*>{file.get(), pyramid.get()});
    bands = both.get();
  }
  const bool built = bands ? command.ExecuteInBands(working, *bands, sink) : command.Execute(working, sink);
  if (built) progress.Show("Mosaic", 100, "");
  progress.Finish();
  if (!built && bands && !bands->Error().isEmpty()) {
    PrintSaveError(Q(output->second), bands->Error());
    return ExitFailed;
  }
  // What the command has to say; unattended, the question about the
  // sub-folders is answered no (--recursive says yes).
  if (!command.LastNotes.SubFolderQuestion.isEmpty()) PrintError(command.LastNotes.SubFolderQuestion);
  if (!command.LastNotes.NoThumbnail.isEmpty()) PrintError(command.LastNotes.NoThumbnail);
  if (!built) return ExitFailed;
  // The load stops at the first file it cannot read (the program's rule).
  if (!command.LastLoad.StoppedAt.isEmpty()) {
    QString text = ThumbnailLoadStoppedText(command.LastLoad);
    text[0] = text[0].toLower();  // after the tool's name, as its other lines
    PrintError(QStringLiteral("tesselune-cli: ") + text);
  }
  if (command.LibraryMode() && command.LastLibraryLoad.Skipped > 0) {
    const TPhotoLibraryLoad& library = command.LastLibraryLoad;
    QString names;
    const qsizetype named = std::min<qsizetype>(NamedSkippedFiles, library.SkippedFiles.size());
    for (qsizetype i = 0; i < named; ++i)
      names += QStringLiteral("\n  \"%1\" (%2)").arg(library.SkippedFiles[i], library.SkippedReasons[i]);
    if (library.Skipped > named) names += QStringLiteral("\n  and %1 more").arg(library.Skipped - named);
    PrintError(QStringLiteral("tesselune-cli: skipped %1 of %2 photo files that could not be read:%3")
                   .arg(library.Skipped)
                   .arg(library.Found)
                   .arg(names));
  }
  if (command.Options.MatchColours) PrintUses(command.LastUses);
  if (!file && !SavePictureAs(output->second, working)) return ExitFailed;
  const TTileMap map =
      TileMapOf(command, file ? int(mosaicWidth) : working.Width(), file ? int(mosaicHeight) : working.Height());
  if (deepZoom != line.Values.end()) {
    // Drawn in bands, the pyramid was fed with the file; only its page is left.
    if (pyramid ? !WriteDeepZoomPageIn(deepZoom->second, int(mosaicWidth), int(mosaicHeight), map)
                : !WriteDeepZoom(deepZoom->second, working, map))
      return ExitFailed;
  }
  if (tileMap != line.Values.end() && !WriteTileMap(tileMap->second, map)) return ExitFailed;
  if (report != line.Values.end() && !WriteReport(report->second, command)) return ExitFailed;
  return ExitOk;
}

int RunConvert(const std::vector<std::string>& args) {
  const TCommandLine line = ParseCommandLine(
      args, {{"--quality", nullptr, "--quality must be 5 to 100"}, {"--progressive", nullptr, nullptr}});
  if (line.Help) return std::fputs(kConvertUsage, stdout), ExitOk;
  if (!line.Error.isEmpty()) return UsageError(line.Error, kConvertUsage);
  if (line.Operands.size() != 2) return UsageError(QStringLiteral("needs an input and an output file"), kConvertUsage);
  int quality = 90;
  const auto q = line.Values.find("--quality");
  if (q != line.Values.end()) {
    const auto n = ParseWholeNumber(q->second);
    if (!n || *n < 5 || *n > 100) return UsageError(QStringLiteral("--quality must be 5 to 100"), kConvertUsage);
    quality = int(*n);
  }
  const bool progressive = line.Switches.count("--progressive") > 0;
  const std::string& output = line.Operands[1];
  const TFormatDescriptor* format = WritableFormat(Q(output));
  if ((q != line.Values.end() || progressive) && format && format->Format != TPictureFormat::Jpeg)
    return UsageError(QStringLiteral("%1 applies to JPEG output only").arg(progressive ? "--progressive" : "--quality"),
                      kConvertUsage);
  if (const int status = CheckOutput(output, kConvertUsage); status != ExitOk) return status;
  TBitmap picture;
  if (!OpenPicture(line.Operands[0], picture)) return ExitFailed;
  // Only the JPEG writer reads these options.
  const auto jpegOptions = [&](TGraphic* graphic, const QString&, TFileStage stage, bool&) {
    if (graphic && stage == fsBeforeSave) {
      graphic->Options.JpegQuality = quality;
      graphic->Options.JpegProgressive = progressive;
    }
  };
  return SavePictureAs(output, picture, jpegOptions) ? ExitOk : ExitFailed;
}

int RunInfo(const std::vector<std::string>& args) {
  const TCommandLine line = ParseCommandLine(args, {});
  if (line.Help) return std::fputs(kInfoUsage, stdout), ExitOk;
  if (!line.Error.isEmpty()) return UsageError(line.Error, kInfoUsage);
  if (line.Operands.empty()) return UsageError(QStringLiteral("no file"), kInfoUsage);
  int status = ExitOk;
  for (const std::string& a : line.Operands) {
    const QString name = Q(a);
    TPictureFileContext context = ToolContext();
    TPictureHeader header;
    // The header tells the size and depth; pixels are decoded only for a
    // format whose reader cannot tell them without.
    if (!ReadPictureHeader(context, name, header)) {
      PrintError(QString(LangText(lsLoadError)).replace(QStringLiteral("%s"), name) + QLatin1Char('\n') +
                 context.LastError);
      status = ExitFailed;
      continue;
    }
    const QString text = QStringLiteral("%1: %2x%3 pixels, %4, %5")
                             .arg(name)
                             .arg(header.Width)
                             .arg(header.Height)
                             .arg(BitsText(header.BitsPerPixel), SizeToText(FileSizeOf(name), false));
    std::printf("%s\n", EncodeFileName(text).constData());
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  SetEnglishTexts();
  SetMsgPresenter([](const TMsgRequest& request) {
    PrintError(request.Text);
    return MsgUnattendedResult(request.Buttons);
  });

  std::vector<std::string> args(argv + 1, argv + argc);
  // Run bare, the tool shows what it can do.
  if (args.empty()) return std::fprintf(stderr, "tesselune-cli: no command\n\n%s", kUsage), ExitUsage;
  const std::string command = args.front();
  args.erase(args.begin());
  if (command == "--help" || command == "-h" || command == "help") return std::fputs(kUsage, stdout), ExitOk;
  try {
    if (command == "mosaic") return RunMosaic(args);
    if (command == "convert") return RunConvert(args);
    if (command == "info") return RunInfo(args);
  } catch (const std::bad_alloc&) {
    // Loads and saves report their own failures; this is any other
    // allocation of a command (the mosaic's copies, its enlargement).
    std::fputs("tesselune-cli: not enough memory\n", stderr);
    return ExitFailed;
  }
  return UsageError(QStringLiteral("unknown command ") + Q(command), kUsage);
}
