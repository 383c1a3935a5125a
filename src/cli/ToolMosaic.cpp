// tesselune-cli mosaic: parses the options, runs the mosaic job, prints
// what it returns.
#include <QString>
#include <cstdio>
#include <memory>
#include <optional>

#include "cli/CliProgress.h"
#include "cli/CommandLine.h"
#include "cli/MosaicPrints.h"
#include "cli/ToolCommands.h"
#include "cli/ToolReports.h"
#include "imagefiles/PictureFiles.h"
#include "imagefiles/PictureFormats.h"
#include "imagefiles/PictureInfo.h"
#include "mosaic/MosaicJob.h"
#include "mosaic/MosaicOptions.h"
#include "raster/Lanczos.h"

namespace {

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

// Says why a planned mosaic cannot be made; ExitOk when it can.
int Refused(const TMosaicPlan& plan, const QString& file) {
  switch (plan.Fit) {
    case TMosaicFit::Whole:
    case TMosaicFit::InBands: return ExitOk;
    case TMosaicFit::TooLargeToHold:
      PrintError(QStringLiteral("tesselune-cli: the mosaic would be %1 x %2 pixels, beyond the limit of 65535 pixels "
                                "a side and 536,870,912 pixels of a picture held whole (TIFF, PNG and JPEG files "
                                "are written in bands): choose a smaller --scale")
                     .arg(plan.Width)
                     .arg(plan.Height));
      break;
    case TMosaicFit::BeyondFormatSide:
      PrintError(QStringLiteral("tesselune-cli: the mosaic would be %1 x %2 pixels, beyond the limit of %3 pixels a "
                                "side of a %4 file: choose a smaller --scale")
                     .arg(plan.Width)
                     .arg(plan.Height)
                     .arg(plan.SideLimit)
                     .arg(LowerExtension(file).mid(1).toUpper()));
      break;
    case TMosaicFit::NoDiskRoom: PrintFailure(plan.Failure); break;
  }
  return ExitFailed;
}

}  // namespace

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
  if (!line.Error.isEmpty()) return UsageError(line.Error, "mosaic");
  TMosaicOptions options;
  if (const QString error = options.ParseArguments(line.Values, line.Switches); !error.isEmpty())
    return UsageError(error, "mosaic");
  for (const char* matchOnly : {"--report", "--tile-map"})
    if (line.Values.count(matchOnly) && !options.MatchColours)
      return UsageError(QStringLiteral("%1 is an option of --match").arg(QLatin1String(matchOnly)), "mosaic");
  TMosaicCommand command;
  command.OptionsChosen(options);
  if (line.Operands.empty()) return UsageError(QStringLiteral("no target picture"), "mosaic");
  if (line.Operands.size() > 1) return UsageError(QStringLiteral("one target picture only"), "mosaic");
  const auto output = line.Values.find("--output");
  if (output == line.Values.end()) return UsageError(QStringLiteral("no --output file"), "mosaic");
  if (const int status = CheckOutput(output->second, "mosaic"); status != ExitOk) return status;
  TMosaicOutputs outputs;
  outputs.PictureFile = Q(output->second);
  const auto named = [&](const char* option) {
    const auto v = line.Values.find(option);
    return v == line.Values.end() ? QString() : Q(v->second);
  };
  outputs.ReportFile = named("--report");
  outputs.TileMapFile = named("--tile-map");
  outputs.DeepZoomFolder = named("--deep-zoom");
  if (const QString ext = LowerExtension(outputs.TileMapFile);
      !outputs.TileMapFile.isEmpty() && ext != QStringLiteral(".json") && ext != QStringLiteral(".csv"))
    return UsageError(QStringLiteral("--tile-map must name a .json or .csv file"), "mosaic");
  // Every output is checked before the work, like the picture; the page's
  // folder is made only once the work starts: a run that fails leaves no
  // empty folder.
  if (const TOutputFailure f = CheckOutputs(outputs); f.Failed()) {
    PrintFailure(f);
    return ExitFailed;
  }
  // A folder given is the one to use, bundled or not.
  if (line.Values.count("--thumbnails")) command.PreferSamplePhotos = false;

  // A mosaic beyond what memory holds is drawn in bands into the file, and
  // so is a large enlarged one whose format can be written in bands (held
  // whole it would take a gigabyte or more); one beyond the format's limit,
  // or the disk's room, is refused before any work, from the target's
  // header (or, when that cannot be read alone, once the picture is open).
  TMosaicPlan plan;
  bool planned = false;
  {
    TPictureFileContext context;
    context.ShowFileErrors = false;
    TPictureHeader header;
    if (ReadPictureHeader(context, Q(line.Operands.front()), header)) {
      plan = PlanMosaic(command, header.Width, header.Height, outputs);
      if (const int status = Refused(plan, outputs.PictureFile); status != ExitOk) return status;
      planned = true;
    }
  }

  TBitmap working;
  if (!OpenPicture(line.Operands.front(), working)) return ExitFailed;
  if (!planned) {
    plan = PlanMosaic(command, working.Width(), working.Height(), outputs);
    if (const int status = Refused(plan, outputs.PictureFile); status != ExitOk) return status;
  }

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
  // The tool has no undo: the picture is built in place, never copied.
  const TMosaicResult result = RunMosaicJob(command, working, plan, outputs, sink);
  if (result.Built || result.Failure.Failed()) progress.Show("Mosaic", 100, "");
  progress.Finish();
  PrintNotes(result.Notes);
  if (!result.Built && !result.Failure.Failed()) return ExitFailed;
  PrintLoadAndUses(result);
  PrintFailure(result.Failure);
  if (!result.Built) return ExitFailed;
  if (!outputs.ReportFile.isEmpty()) PrintReportSummary(result.Quality);
  return ExitOk;
}
