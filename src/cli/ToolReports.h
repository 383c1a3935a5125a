#pragma once
// What the tool says and how it ends: exit statuses, messages on standard
// error, the usage error, and the picture loads and saves of its commands,
// through the same dispatch and messages as the window's.
#include <QString>
#include <string>

#include "imagefiles/PictureFiles.h"
#include "raster/Bitmap.h"

constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

void PrintError(const QString& text);
// The save error for name, then the reason.
void PrintSaveError(const QString& name, const QString& reason);

// A usage error says its cause and where the help is ("tesselune-cli
// COMMAND --help", or the tool's own with no command), not the whole help,
// which would bury the one line that matters. Returns ExitUsage.
int UsageError(const QString& message, const char* command = nullptr);

// The output is checked before any work: an extension that nothing writes
// is a usage error (the command line asks for the impossible); a folder
// that is missing or cannot be written fails like the save would, with the
// save error and its reason. ExitOk when the output can be tried.
int CheckOutput(const std::string& output, const char* command);

// Opens a picture like the program's Open command: 24 bits, not transparent.
bool OpenPicture(const std::string& path, TBitmap& picture);
bool SavePictureAs(const std::string& path, const TBitmap& picture, const TPictureFileEvent& handler = {});
