// tesselune-cli: the program's work without a window. The same engine, the
// same load and save dispatch and the same messages, on standard error.
#include <QCoreApplication>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "app/InterfaceTexts.h"
#include "app/MyMsgDlg.h"
#include "cli/CommandLine.h"
#include "cli/ToolCommands.h"
#include "cli/ToolReports.h"

namespace {

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
  return UsageError(QStringLiteral("unknown command ") + Q(command));
}
