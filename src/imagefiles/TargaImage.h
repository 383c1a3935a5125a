#pragma once
// Truevision Targa files, read and written without any library.
#include "imagefiles/Graphic.h"

class TTargaImage : public TGraphic {
 public:
  const char* FormatName() const override { return "Targa"; }

 protected:
  // Reads image types 1, 2, 3 (colour-mapped, true colour, grey) and 9, 10, 11
  // (their run-length encoded forms); colour maps of 15/16, 24 or 32-bit
  // entries; 8-bit indexes, 15/16/24/32-bit true colour, 8-bit grey and
  // 16-bit grey with alpha; rows placed by the descriptor's top-left and
  // right-to-left bits. Colour-mapped and grey files give pf8bit (16-bit grey
  // without alpha bits too: its second byte is ignored), 15/16 and 24-bit
  // files pf24bit, 32-bit files and 16-bit grey with alpha bits pf32bit.
  void ReadBytes(TBytes data) override;
  // The header alone: size and bits a pixel as stored.
  bool ReadHeaderBytes(TBytes data, TPictureHeader& header) override;
  // Writes the 24-bit picture as a run-length encoded true-colour file (type
  // 10), rows top to bottom, each row encoded by itself. Sides above 65535 do
  // not fit the header and fail.
  void WriteBytes(TByteBuffer& out) override;
};
