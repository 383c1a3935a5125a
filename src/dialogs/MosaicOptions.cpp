#include "dialogs/MosaicOptions.h"

#include <algorithm>
#include <cmath>

void MosaicBaseSize(int width, int height, int cellSize, bool checkSize, int& baseWidth, int& baseHeight) {
  TMosaicCommand command;
  command.Options.CellSize = cellSize;
  command.Options.CheckSize = checkSize;
  command.Options.Scale = 1;
  std::int64_t w = 0, h = 0;
  command.OutputSize(width, height, w, h);
  baseWidth = static_cast<int>(w);
  baseHeight = static_cast<int>(h);
}

TPosterPrint PosterPrint(double width, double height, bool inches, int dpi, int pictureWidth, int pictureHeight,
                         int cellSize, TTileAspect aspect) {
  TPosterPrint p;
  if (width <= 0 || height <= 0 || dpi <= 0 || pictureWidth <= 0 || pictureHeight <= 0 || cellSize <= 0) return p;
  const double perInch = inches ? 1.0 : 2.54;
  // The mosaic fitted in the poster: printed units per picture pixel.
  const double unitsPerPixel = std::min(width / pictureWidth, height / pictureHeight);
  const double enlargement = unitsPerPixel / perInch * dpi;
  // A hair under a whole number is that number: 2.0000001 needs no 3.
  p.NeededScale = std::max(1, static_cast<int>(std::ceil(enlargement - 1e-9)));
  p.Scale = std::min(p.NeededScale, MaxMosaicScale);
  p.Short = p.NeededScale > MaxMosaicScale;
  const TTileSize tile = TileSize(cellSize, aspect);
  p.TileWidth = tile.Width * unitsPerPixel;
  p.TileHeight = tile.Height * unitsPerPixel;
  const double shorterCm = std::min(p.TileWidth, p.TileHeight) * (inches ? 2.54 : 1.0);
  p.TooSmall = shorterCm < 1.0 - 1e-9;
  return p;
}
