#pragma once
// Windows BMP files, read and written without any library.
#include "imagefiles/Graphic.h"

class TBmpImage : public TGraphic {
 public:
  const char* FormatName() const override { return "BMP"; }

 protected:
  // Reads 1, 4, 8, 16, 24 and 32-bit files with the 12-byte core header, the
  // 40-byte information header or its longer versions (bit fields, V4, V5),
  // uncompressed, with bit fields, or run-length encoded (RLE4, RLE8). The
  // stored depth becomes the pixel format: 1 -> pf1bit, 4 -> pf4bit,
  // 8 -> pf8bit, 16 -> pf15bit (5-5-5) or pf16bit (5-6-5), 24 -> pf24bit,
  // 32 -> pf32bit. 16-bit files with other bit fields become pf24bit, or
  // pf32bit when they carry alpha.
  void ReadBytes(TBytes data) override;
  bool ReadHeaderBytes(TBytes data, TPictureHeader& header) override;
  // Writes the bitmap in its own pixel format: 14-byte file header, 40-byte
  // information header, colour table for palette formats, rows bottom-up and
  // padded to 4 bytes, uncompressed. pf16bit is stored as 5-6-5 bit fields
  // (the three masks follow the information header).
  void WriteBytes(TByteBuffer& out) override;
};
