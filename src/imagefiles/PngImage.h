#pragma once
// PNG. Read through libpng, whose error longjmps never leave PngImage.cpp
// (they become an EImageError); written by our own code, whose fixed layout
// needs nothing of libpng and whose image data is compressed on every core.
#include "imagefiles/Graphic.h"

class TPngImage : public TGraphic {
 public:
  const char* FormatName() const override { return "PNG"; }
  // The pHYs chunk records Options.Resolution (as pixels per metre, truncated).

 protected:
  // Any PNG libpng reads, interlaced or not, 16-bit samples reduced to 8:
  // palette files give pf8bit (pf4bit for 2 and 4-bit, pf1bit for 1-bit
  // indexes), grey files pf8bit with a grey palette, RGB files pf24bit, files
  // with an alpha channel pf32bit (not premultiplied). No gamma correction.
  // An eXIf chunk's orientation turns the picture upright, as for JPEG.
  void ReadBytes(TBytes data) override;
  // RGB, 8 bits a sample, not interlaced, zlib level 7, the Sub filter on every
  // row, a pHYs chunk from Resolution, image data in chunks of at most 65535
  // bytes, no other ancillary chunk.
  void WriteBytes(TByteBuffer& out) override;
  bool ReadHeaderBytes(TBytes data, TPictureHeader& header) override;
};

// The pieces of the file TPngImage writes, for a writer that gets the
// picture band by band: the same bytes from the same rows.
constexpr int PngCompressionLevel = 7;
// The signature, IHDR and pHYs chunks.
void PutPngHead(TByteBuffer& out, int width, int height, double resolution);
// One row of the image data (1 + 3 x width bytes) from a 24-bit scan line.
void FilterPngRow(const std::uint8_t* scanLine, int width, std::uint8_t* out);
// The zlib stream cut into IDAT chunks of at most 65535 bytes, then IEND.
class TPngImageData {
 public:
  void Add(const std::uint8_t* data, std::size_t size, TByteBuffer& out);
  void Finish(TByteBuffer& out);

 private:
  TByteBuffer m_chunk;
};
