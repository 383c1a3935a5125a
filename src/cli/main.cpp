// tesselune-cli: the program's work without a window. The same engine, the
// same load and save dispatch and the same messages, on standard error.
#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "app/FoncUtils.h"
#include "app/LibLang.h"
#include "app/MyMsgDlg.h"
#include "cli/CliProgress.h"
#include "imagefiles/PictureFiles.h"
#include "imagefiles/PictureInfo.h"
#include "mosaic/MosaicCommand.h"

namespace {

constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

const char* const kUsage =
    "Usage: tesselune-cli COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  mosaic TARGET --output OUTPUT [options]   turn a picture into a photo mosaic\n"
    "  convert INPUT OUTPUT [options]            load a picture and save it in another format\n"
    "  info FILE...                              size, colour depth and file size of pictures\n"
    "\n"
    "Run 'tesselune-cli COMMAND --help' for the options of a command.\n"
    "Exit status: 0 done, 1 a picture could not be loaded or saved, 2 usage error.\n";

const char* const kMosaicUsage =
    "Usage: tesselune-cli mosaic TARGET --output OUTPUT [options]\n"
    "\n"
    "Opens TARGET, replaces every cell of it by a thumbnail pulled towards the\n"
    "cell's colour, and saves the result as OUTPUT (format by its extension:\n"
    ".bmp .gif .jpg .jpeg .png .rle .tga .tif .tiff).\n"
    "\n"
    "Options:\n"
    "  --thumbnails DIR   folder of PNG, JPEG, BMP and GIF thumbnails\n"
    "                     (default: the Thumbnails folder beside the program)\n"
    "  --cell N           cell size in pixels: 10, 15, 20 or 40 (default 20)\n"
    "  --no-check-size    do not enlarge a small picture to about 80 cells\n"
    "  --no-antialias     colour each cell from its top-left pixel only\n"
    "  --seed N           repeatable choice of thumbnails\n"
    "  --fast             decode JPEG thumbnails at a reduced scale (faster,\n"
    "                     slightly different squares)\n";

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
    "Prints one line per file: its size in pixels, colour depth and file size.\n";

int UsageError(const std::string& message, const char* usage) {
  std::fprintf(stderr, "tesselune-cli: %s\n\n%s", message.c_str(), usage);
  return ExitUsage;
}

bool WantsHelp(const std::vector<std::string>& args) {
  for (const std::string& a : args)
    if (a == "--help" || a == "-h") return true;
  return false;
}

QString Q(const std::string& s) { return QString::fromLocal8Bit(s.data(), qsizetype(s.size())); }

std::optional<long long> ParseInt(const std::string& s) {
  if (s.empty()) return std::nullopt;
  char* end = nullptr;
  const long long v = std::strtoll(s.c_str(), &end, 10);
  if (*end != '\0') return std::nullopt;
  return v;
}

// The tool's own load and save context: messages on, no dialogs, and a stage
// handler only where a command installs one.
TPictureFileContext ToolContext() { return TPictureFileContext{}; }

// Opens a picture like the program's Open command: 24 bits, not transparent.
bool OpenPicture(const std::string& path, TBitmap& picture) {
  TPictureFileContext context = ToolContext();
  context.WorkingLayout = true;
  QString name = Q(path);
  return LoadPicture(context, name, picture, QString()) > 0;
}

bool SavePictureAs(const std::string& path, const TBitmap& picture, const TPictureFileEvent& handler = {}) {
  TPictureFileContext context = ToolContext();
  context.OnPictureFile = handler;
  QString name = Q(path);
  return SavePicture(context, name, picture, QString()) > 0;
}

int RunMosaic(const std::vector<std::string>& args) {
  if (WantsHelp(args)) return std::fputs(kMosaicUsage, stdout), ExitOk;
  std::string target, output, thumbnails;
  TMosaicCommand command;
  std::optional<unsigned long long> seed;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    if (a == "--output" || a == "-o") {
      auto v = value();
      if (!v) return UsageError("--output needs a file name", kMosaicUsage);
      output = *v;
    } else if (a == "--thumbnails") {
      auto v = value();
      if (!v) return UsageError("--thumbnails needs a folder", kMosaicUsage);
      thumbnails = *v;
    } else if (a == "--cell") {
      auto v = value();
      const auto n = v ? ParseInt(*v) : std::nullopt;
      if (!n || (*n != 10 && *n != 15 && *n != 20 && *n != 40))
        return UsageError("--cell must be 10, 15, 20 or 40", kMosaicUsage);
      command.CellSize = int(*n);
    } else if (a == "--seed") {
      auto v = value();
      const auto n = v ? ParseInt(*v) : std::nullopt;
      if (!n || *n < 0) return UsageError("--seed needs a non-negative number", kMosaicUsage);
      seed = (unsigned long long)*n;
    } else if (a == "--no-check-size") {
      command.CheckSize = false;
    } else if (a == "--no-antialias") {
      command.Antialias = false;
    } else if (a == "--fast") {
      command.FastJpeg = true;
    } else if (!a.empty() && a[0] == '-') {
      return UsageError("unknown option " + a, kMosaicUsage);
    } else if (target.empty()) {
      target = a;
    } else {
      return UsageError("one target picture only", kMosaicUsage);
    }
  }
  if (target.empty()) return UsageError("no target picture", kMosaicUsage);
  if (output.empty()) return UsageError("no --output file", kMosaicUsage);
  if (!thumbnails.empty()) command.FolderChosen(Q(thumbnails));

  TBitmap working;
  if (!OpenPicture(target, working)) return ExitFailed;

  TCliProgress progress;
  command.Callbacks.ShowThumbnailCount = [&](int n) { progress.Count("Thumbnails", n); };
  command.Callbacks.ShowProgress = [&](int percent) { progress.Show("Mosaic", percent, ""); };
  std::unique_ptr<TSeededRandom> random;
  if (seed) {
    random = std::make_unique<TSeededRandom>(*seed);
    command.Random = random.get();
  }
  // The tool has no undo: the picture is built in place, never copied.
  const bool built = command.Execute(working);
  if (built) progress.Show("Mosaic", 100, "");
  progress.Finish();
  if (!built) return ExitFailed;  // the thumbnail loader has said why
  return SavePictureAs(output, working) ? ExitOk : ExitFailed;
}

int RunConvert(const std::vector<std::string>& args) {
  if (WantsHelp(args)) return std::fputs(kConvertUsage, stdout), ExitOk;
  std::vector<std::string> files;
  int quality = 90;
  bool progressive = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--quality") {
      const auto n = i + 1 < args.size() ? ParseInt(args[++i]) : std::nullopt;
      if (!n || *n < 5 || *n > 100) return UsageError("--quality must be 5 to 100", kConvertUsage);
      quality = int(*n);
    } else if (a == "--progressive") {
      progressive = true;
    } else if (!a.empty() && a[0] == '-') {
      return UsageError("unknown option " + a, kConvertUsage);
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) return UsageError("needs an input and an output file", kConvertUsage);
  TBitmap picture;
  if (!OpenPicture(files[0], picture)) return ExitFailed;
  // Only the JPEG writer reads these options.
  const auto jpegOptions = [&](TGraphic* graphic, const QString&, TFileStage stage, bool&) {
    if (graphic && stage == fsBeforeSave) {
      graphic->Options.JpegQuality = quality;
      graphic->Options.JpegProgressive = progressive;
    }
  };
  return SavePictureAs(files[1], picture, jpegOptions) ? ExitOk : ExitFailed;
}

int RunInfo(const std::vector<std::string>& args) {
  if (WantsHelp(args)) return std::fputs(kInfoUsage, stdout), ExitOk;
  if (args.empty()) return UsageError("no file", kInfoUsage);
  int status = ExitOk;
  for (const std::string& a : args) {
    QString name = Q(a);
    TBitmap preview;
    TPictureFileContext context = ToolContext();
    if (LoadPicturePreview(context, name, preview) <= 0) {
      // Quick loads stay silent; the tool says it itself.
      QString text = LangText(lsLoadError);
      std::fprintf(stderr, "%s\n", qPrintable(text.replace(QStringLiteral("%s"), name)));
      status = ExitFailed;
      continue;
    }
    const QString line =
        QStringLiteral("%1: %2, %3, %4")
            .arg(name, QStringLiteral("%1x%2 pixels").arg(context.PictureWidth).arg(context.PictureHeight),
                 ColorDepthText(name, PreviewFormatOf(name, preview, context)), SizeToText(FileSizeOf(name), false));
    std::printf("%s\n", qPrintable(line));
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  SetEnglishTexts();
  RegisterPictureFormats();
  SetMsgPresenter([](const TMsgRequest& request) {
    std::fprintf(stderr, "%s\n", qPrintable(request.Text));
    return MsgUnattendedResult(request.Buttons);
  });

  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return UsageError("no command", kUsage);
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
  return UsageError("unknown command " + command, kUsage);
}
