// tesselune-cli info: size, colour depth and file size of pictures.
#include <cstdio>

#include "app/FileNames.h"
#include "app/InterfaceTexts.h"
#include "app/PathAndTextHelpers.h"
#include "cli/CommandLine.h"
#include "cli/ToolCommands.h"
#include "cli/ToolReports.h"
#include "imagefiles/FileBytes.h"
#include "imagefiles/PictureFiles.h"
#include "imagefiles/PictureInfo.h"

namespace {

const char* const kInfoUsage =
    "Usage: tesselune-cli info FILE...\n"
    "\n"
    "Prints one line per file: its size in pixels, colour depth in bits and file\n"
    "size, read from the file's header without decoding the picture where the\n"
    "format allows.\n";

}  // namespace

int RunInfo(const std::vector<std::string>& args) {
  const TCommandLine line = ParseCommandLine(args, {});
  if (line.Help) return std::fputs(kInfoUsage, stdout), ExitOk;
  if (!line.Error.isEmpty()) return UsageError(line.Error, "info");
  if (line.Operands.empty()) return UsageError(QStringLiteral("no file"), "info");
  int status = ExitOk;
  for (const std::string& a : line.Operands) {
    const QString name = Q(a);
    TPictureFileContext context;
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
