#pragma once
// GIF through giflib: the reader gives the first frame as a palette picture,
// the writer reduces the picture to 256 colours and writes one frame.
#include "imagefiles/Graphic.h"

class TGifImage : public TGraphic {
 public:
  const char* FormatName() const override { return "GIF"; }

  // Writing options; nothing in the program changes them.
  bool Interlaced = false;
  bool OptimizeColors = true;

 protected:
  // The first frame: its own picture when it covers the whole logical screen,
  // otherwise a screen-sized picture in the global palette with the frame drawn
  // at its position. A transparent index of the frame's graphic control
  // extension sets Transparent and TransparentColor.
  void ReadBytes(TBytes data) override;
  // The picture's size (the screen, or the first frame when it covers the
  // screen) from the records before the first frame's pixels.
  bool ReadHeaderBytes(TBytes data, TPictureHeader& header) override;
  // Octree reduction with error diffusion, one frame, not interlaced, then the
  // colour map optimised (see OptimizeColorMap).
  void WriteBytes(TByteBuffer& out) override;
};

// Colour-map optimisation of an 8-bit palette picture, in place: entries of the
// same colour are merged, entries no pixel uses dropped and the rest ordered by
// decreasing use (equal counts keep their order); the pixels are remapped.
void OptimizeColorMap(QImage& indexed);
