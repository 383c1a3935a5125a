#pragma once
// The arithmetic of the "Mosaic options..." dialog's output size: a poster
// of a given size printed at a given resolution.
#include "mosaic/MosaicCommand.h"
#include "mosaic/MosaicOptions.h"

// The mosaic's size at scale 1 for a width x height picture and a cell size:
// "Check size" enlarges a small picture first, as the command does.
void MosaicBaseSize(int width, int height, int cellSize, bool checkSize, int& baseWidth, int& baseHeight);

// A poster of width x height (centimetres, or inches) at dpi, filled by a
// mosaic of pictureWidth x pictureHeight pixels at scale 1 ("Check size"
// already applied), fitted inside the poster with its proportions kept.
struct TPosterPrint {
  // The scale that gives the poster its dpi: the fitted enlargement rounded
  // up, at least 1; Scale is it capped at MaxMosaicScale (Short: the poster
  // needs more than the cap gives).
  int NeededScale = 1;
  int Scale = 1;
  bool Short = false;
  // One tile's printed sides in the poster's unit; TooSmall when its
  // shorter side prints under 1 cm.
  double TileWidth = 0, TileHeight = 0;
  bool TooSmall = false;
};
TPosterPrint PosterPrint(double width, double height, bool inches, int dpi, int pictureWidth, int pictureHeight,
                         int cellSize, TTileAspect aspect);
