#include "cli/ToolReports.h"

#include <cstdio>

#include "app/FileNames.h"
#include "app/InterfaceTexts.h"
#include "cli/CommandLine.h"
#include "imagefiles/FileBytes.h"
#include "imagefiles/PictureFormats.h"

void PrintError(const QString& text) { std::fprintf(stderr, "%s\n", EncodeFileName(text).constData()); }

void PrintSaveError(const QString& name, const QString& reason) {
  PrintError(QString(LangText(lsSaveError)).replace(QStringLiteral("%s"), name) + QLatin1Char('\n') + reason);
}

int UsageError(const QString& message, const char* command) {
  const QString help = command ? QStringLiteral("tesselune-cli %1 --help").arg(QLatin1String(command))
                               : QStringLiteral("tesselune-cli --help");
  std::fprintf(stderr, "tesselune-cli: %s\nSee '%s'.\n", EncodeFileName(message).constData(), qPrintable(help));
  return ExitUsage;
}

int CheckOutput(const std::string& output, const char* command) {
  const QString name = Q(output);
  if (!WritableFormat(name)) {
    const QString ext = LowerExtension(name);
    return UsageError(QStringLiteral("cannot write \"%1\": %2")
                          .arg(name, ext.isEmpty() ? QStringLiteral("no extension to tell the format")
                                                   : QStringLiteral("no format is written as \"%1\"").arg(ext)),
                      command);
  }
  const std::string problem = SaveTargetProblem(name);
  if (problem.empty()) return ExitOk;
  PrintSaveError(name, QString::fromStdString(problem));
  return ExitFailed;
}

bool OpenPicture(const std::string& path, TBitmap& picture) {
  TPictureFileContext context;
  context.WorkingLayout = true;
  return LoadPicture(context, Q(path), picture) > 0;
}

bool SavePictureAs(const std::string& path, const TBitmap& picture, const TPictureFileEvent& handler) {
  TPictureFileContext context;
  context.OnPictureFile = handler;
  return SavePicture(context, Q(path), picture) > 0;
}
