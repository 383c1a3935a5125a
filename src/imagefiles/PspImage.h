#pragma once
// Paint Shop Pro pictures and picture tubes (".psp", ".tub") of file format
// version 3 (Paint Shop Pro 5) and later.
//
// A file is a 32-byte signature, the format version (major, minor: 2 bytes
// each, little-endian like everything else) and a sequence of blocks. Each
// block starts with "~BK\0" and a 2-byte block id, then, in version 3, the
// length of the block's first data and the block's total length (4 bytes
// each); from version 4 on only the total length, and every chunk of data then
// starts with its own 4-byte length. Blocks nest: the layer bank holds the
// layers, a layer holds its channels.
//
// What is read: the general attributes (size, depth, compression), then the
// full-size composite image of the composite image bank when the file has one
// (Paint Shop Pro 6 and later write it), otherwise the only raster layer,
// placed at its position on the canvas. Channels may be stored raw, run-length
// encoded or deflated (zlib); pictures of 1, 4 or 8 bits (palette or grey) and
// 24 bits. The result is pf24bit, or pf32bit when a transparency mask is
// stored or the layer leaves part of the canvas uncovered (uncovered pixels are
// white and fully transparent).
//
// Not read (EImageError): versions before 3, composites stored only as JPEG,
// files whose picture is spread over several raster layers without a
// composite, 16-bit channels.
#include "imagefiles/Graphic.h"

class TPspImage : public TGraphic {
 public:
  const char* FormatName() const override { return "Paint Shop Pro"; }

 protected:
  void ReadBytes(TBytes data) override;
};
