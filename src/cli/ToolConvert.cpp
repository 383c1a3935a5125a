// tesselune-cli convert: a picture loaded and saved in another format.
#include <cstdio>

#include "app/PathAndTextHelpers.h"
#include "cli/CommandLine.h"
#include "cli/ToolCommands.h"
#include "cli/ToolReports.h"
#include "imagefiles/Graphic.h"
#include "imagefiles/PictureFormats.h"

namespace {

const char* const kConvertUsage =
    "Usage: tesselune-cli convert INPUT OUTPUT [options]\n"
    "\n"
    "Loads INPUT (any readable format) and saves it as OUTPUT, the format chosen\n"
    "by OUTPUT's extension.\n"
    "\n"
    "Options:\n"
    "  --quality N        JPEG quality, 5 to 100 (default 90)\n"
    "  --progressive      progressive JPEG\n";

}  // namespace

int RunConvert(const std::vector<std::string>& args) {
  const TCommandLine line = ParseCommandLine(
      args, {{"--quality", nullptr, "--quality must be 5 to 100"}, {"--progressive", nullptr, nullptr}});
  if (line.Help) return std::fputs(kConvertUsage, stdout), ExitOk;
  if (!line.Error.isEmpty()) return UsageError(line.Error, "convert");
  if (line.Operands.size() != 2) return UsageError(QStringLiteral("needs an input and an output file"), "convert");
  int quality = 90;
  const auto q = line.Values.find("--quality");
  if (q != line.Values.end()) {
    const auto n = ParseWholeNumber(q->second);
    if (!n || *n < 5 || *n > 100) return UsageError(QStringLiteral("--quality must be 5 to 100"), "convert");
    quality = int(*n);
  }
  const bool progressive = line.Switches.count("--progressive") > 0;
  const std::string& output = line.Operands[1];
  const TFormatDescriptor* format = WritableFormat(Q(output));
  if ((q != line.Values.end() || progressive) && format && format->Format != TPictureFormat::Jpeg)
    return UsageError(QStringLiteral("%1 applies to JPEG output only").arg(progressive ? "--progressive" : "--quality"),
                      "convert");
  if (const int status = CheckOutput(output, "convert"); status != ExitOk) return status;
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
