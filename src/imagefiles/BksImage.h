#pragma once
// The selection file (".bks") of the maker's image editor, read as a mask
// picture: the shape in black on white with a margin around it, its stair
// steps softened. Never written by this program.
#include <cstdint>
#include <span>

#include "display/ShapeManager.h"
#include "imagefiles/Graphic.h"

// Invalid selection files reported in a message box (initially true).
extern bool ShapeFileErrors;

// Reads a selection file into shapes (TShapeManager::ReadSelection). On
// failure the shape is cleared, "Fichier de données invalide !" is shown
// when ShapeFileErrors is on, and false comes back.
bool LoadShapeFromStream(TShapeManager& shapes, std::span<const std::uint8_t> data, TMyShape& kind, TRect& bounds);

class TBksImage : public TGraphic {
 public:
  const char* FormatName() const override { return "BKS"; }

 protected:
  // Reads the shape and paints the mask (pf24bit). An invalid selection file
  // fails with EImageError; no message box is shown. Masks larger than
  // Options.PixelLimit are refused (the fuzzer keeps it small to stay fast).
  void ReadBytes(TBytes data) override;
};
