#pragma once
// Run-length encoded 8-bit BMP output (".rle"): the picture reduced to at most
// 256 colours, its rows compressed with the BMP format's RLE8 encoding.
#include "imagefiles/Graphic.h"

// Turns the picture into an 8-bit palette picture of at most 256 colours, in
// place: octree quantisation with error diffusion for true colour; a picture
// of 8 bits or fewer is only converted to 8 bits and keeps its colours.
void ReduceColors(TBitmap& bitmap);

// Appends the RLE8 bitmap file of a reduced copy of bitmap to out; bitmap
// itself is not changed. Throws EImageError for an empty picture.
void WriteRle(const TBitmap& bitmap, TByteBuffer& out);

// The RLE8 encoding of one picture's rows (bottom-up, each ended by an
// end-of-line escape, the last followed by end-of-bitmap).
TByteBuffer EncodeRle8(const QImage& indexed);

class TRleImage : public TGraphic {
 public:
  const char* FormatName() const override { return "RLE"; }

 protected:
  void WriteBytes(TByteBuffer& out) override { WriteRle(m_bitmap, out); }
};
