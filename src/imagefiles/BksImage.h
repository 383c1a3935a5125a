#pragma once
// The selection file (".bks") of the maker's image editor, read as a mask
// picture: the shape in black on white with a margin around it, its stair
// steps softened. Never written by this program.
#include <cstdint>

#include "imagefiles/Graphic.h"

class TBksImage : public TGraphic {
 public:
  const char* FormatName() const override { return "BKS"; }

 protected:
  // Reads the shape and paints the mask (pf24bit). An invalid selection file
  // fails with EImageError; no message box is shown. Masks larger than
  // Options.PixelLimit are refused (the fuzzer keeps it small to stay fast).
  void ReadBytes(TBytes data) override;
};
