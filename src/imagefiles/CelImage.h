#pragma once
// Autodesk Animator cels and pictures (".cel", ".pic"): 8-bit palette pictures.
//
// The layout read here is the one of the original Animator, little-endian:
//   0  magic 0x9119 (2 bytes)
//   2  width, height (2 bytes each)
//   6  x, y position on the screen (2 bytes each, not used)
//  10  bits per pixel (1 byte, 8)
//  11  compression (1 byte, 0: none)
//  12  size of the pixel data in bytes (4 bytes, width x height; 0 is taken
//      as width x height)
//  16  16 reserved bytes
//  32  palette: 256 x red, green, blue, each 0..63 (VGA DAC levels)
// 800  pixels, one byte each, rows from the top, no padding
// A palette holding a level above 63 was written with 8-bit levels by some
// converters; such a palette is taken as it stands instead of scaled.
//
// Not read (EImageError): the later Animator Pro pictures (magic 0x9500 with
// chunked data) and Animator Pro cels (single-frame flic files, magic 0xAF12),
// any other depth or a compressed picture.
#include "imagefiles/Graphic.h"

class TCelImage : public TGraphic {
 public:
  const char* FormatName() const override { return "Autodesk"; }

 protected:
  // The picture as pf8bit with its 256-colour table.
  void ReadBytes(TBytes data) override;
};
