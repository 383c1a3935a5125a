#include "dialogs/MosaicOptions.h"

#include <algorithm>
#include <cmath>

TMosaicOptions TMosaicOptions::From(const TMosaicCommand& c) {
  TMosaicOptions o;
  o.ThumbnailsFolder = c.ThumbnailsFolder;
  o.Recursive = c.Recursive;
  o.MatchColours = c.MatchColours;
  o.TintLimit = c.TintLimit;
  o.TintMode = c.TintMode;
  o.RepeatDistance = c.RepeatDistance;
  o.MaxUses = c.MaxUses;
  o.UseAll = c.UseAll;
  o.TileAspect = c.TileAspect;
  o.CropSquare = c.CropSquare;
  o.CellSize = c.CellSize;
  o.Scale = c.Scale;
  return o;
}

void TMosaicOptions::ApplyTo(TMosaicCommand& c) const {
  if (ThumbnailsFolder != c.ThumbnailsFolder) c.FolderChosen(ThumbnailsFolder);
  c.CellSizeChosen(CellSize);
  c.Recursive = Recursive;
  c.MatchColours = MatchColours;
  c.TintLimit = TintLimit;
  c.TintMode = TintMode;
  c.RepeatDistance = RepeatDistance;
  c.MaxUses = MaxUses;
  c.UseAll = UseAll;
  c.TileAspect = TileAspect;
  c.CropSquare = CropSquare;
  c.Scale = Scale;
}

QStringList TMosaicOptions::CommandLine(const QString& picture, const QString& output, int scale, bool checkSize,
                                        bool antialias) const {
  QStringList args{QStringLiteral("mosaic"), picture, QStringLiteral("--output"), output};
  auto add = [&](const char* option, const QString& value = QString()) {
    args << QString::fromLatin1(option);
    if (!value.isNull()) args << value;
  };
  // The window's default folder is the tool's default as well.
  if (ThumbnailsFolder != TMosaicCommand().ThumbnailsFolder) add("--thumbnails", ThumbnailsFolder);
  if (CellSize != 20) add("--cell", QString::number(CellSize));
  if (!checkSize) add("--no-check-size");
  if (!antialias) add("--no-antialias");
  if (Recursive) add("--recursive");
  if (MatchColours) {
    add("--match");
    if (TintLimit != DefaultMatchTintLimit) add("--tint", QString::number(TintLimit));
    if (TintMode != DefaultTintMode)
      add("--tint-mode", TintMode == TTintMode::Light ? QStringLiteral("light") : QStringLiteral("whole"));
    if (RepeatDistance != DefaultRepeatDistance) add("--repeat-distance", QString::number(RepeatDistance));
    if (MaxUses > 0) add("--max-uses", QString::number(MaxUses));
    if (UseAll) add("--use-all");
  }
  if (!TileAspect.Square()) add("--tile-aspect", QStringLiteral("%1:%2").arg(TileAspect.Width).arg(TileAspect.Height));
  if (CropSquare) add("--crop");
  if (scale > 1) add("--scale", QString::number(scale));
  return args;
}

QString ShellQuoted(const QString& argument) {
  static const QString plain =
      QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_./:=+,@%");
  const bool needs =
      argument.isEmpty() || std::any_of(argument.begin(), argument.end(), [](QChar c) { return !plain.contains(c); });
  if (!needs) return argument;
  QString quoted = argument;
  quoted.replace(QStringLiteral("'"), QStringLiteral("'\\''"));
  return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

void MosaicBaseSize(int width, int height, int cellSize, bool checkSize, int& baseWidth, int& baseHeight) {
  TMosaicCommand command;
  command.CellSize = cellSize;
  command.CheckSize = checkSize;
  command.Scale = 1;
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
