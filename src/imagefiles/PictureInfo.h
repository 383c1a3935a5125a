#pragma once
// What the open dialog says about a picture file: its size, colour depth and
// file size. Shared by the dialog's preview and the command-line tool.
#include <QString>

#include "raster/Bitmap.h"

// The colour depth line: by the lower-case extension for the formats that
// have their own text, otherwise by the pixel format the file was stored in
// (TPicturePreview::StoredFormat).
QString ColorDepthText(const QString& fileName, TPixelFormat storedFormat);

// A depth as a number of bits: "1 bit", "24 bits".
QString BitsText(int bits);
