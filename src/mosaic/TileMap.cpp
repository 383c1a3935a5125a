#include "mosaic/TileMap.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>

#include "mosaic/MosaicResult.h"

namespace {

// A JSON string, quotes included.
QByteArray JsonString(const QString& text) {
  QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
  return array.mid(1, array.size() - 2);  // without the brackets
}

QByteArray CsvField(const QString& text) {
  QByteArray bytes = text.toUtf8();
  if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') && !bytes.contains('\r')) return bytes;
  bytes.replace("\"", "\"\"");
  return '"' + bytes + '"';
}

QByteArray N(int n) { return QByteArray::number(n); }

QString PhotoOf(const TTileMap& map, const TTileMapCell& cell) {
  return cell.Photo >= 0 && cell.Photo < map.Photos.size() ? map.Photos[cell.Photo] : QString();
}

}  // namespace

TTileMap TileMapOf(const TMosaicResult& mosaic, int width, int height) {
  TTileMap map;
  map.Library = mosaic.PhotoFolder;
  map.Width = width;
  map.Height = height;
  const TMatchPlacement& placement = mosaic.Placement;
  const TTileSize cell = mosaic.Cell;
  if (placement.Thumbnail.empty() || cell.Width <= 0 || cell.Height <= 0) return map;
  const QDir library(mosaic.PhotoFolder);
  for (const QString& path : mosaic.LibraryLoad.Loaded) map.Photos << library.relativeFilePath(path);
  map.CellWidth = cell.Width;
  map.CellHeight = cell.Height;
  map.Columns = placement.Columns;
  map.Rows = placement.Rows;
  map.Cells.reserve(placement.Thumbnail.size());
  for (int row = 0; row < placement.Rows; ++row)
    for (int column = 0; column < placement.Columns; ++column) {
      const size_t i = size_t(row) * size_t(placement.Columns) + size_t(column);
      if (i >= placement.Thumbnail.size()) return map;
      TTileMapCell c;
      c.Column = column;
      c.Row = row;
      c.X = column * cell.Width;
      c.Y = row * cell.Height;
      c.Width = std::min(cell.Width, width - c.X);
      c.Height = std::min(cell.Height, height - c.Y);
      c.Photo = placement.Thumbnail[i];
      c.Tint = i < placement.Tint.size() ? placement.Tint[i] : 0;
      map.Cells.push_back(c);
    }
  return map;
}

QByteArray TileMapJson(const TTileMap& map) {
  QByteArray out = "{\n  \"library\": " + JsonString(map.Library) + ",\n  \"width\": " + N(map.Width) +
                   ",\n  \"height\": " + N(map.Height) + ",\n  \"cellWidth\": " + N(map.CellWidth) +
                   ",\n  \"cellHeight\": " + N(map.CellHeight) + ",\n  \"columns\": " + N(map.Columns) +
                   ",\n  \"rows\": " + N(map.Rows) + ",\n  \"cells\": [";
  const char* separator = "\n";
  for (const TTileMapCell& c : map.Cells) {
    out += separator;
    out += "    {\"column\": " + N(c.Column) + ", \"row\": " + N(c.Row) + ", \"x\": " + N(c.X) + ", \"y\": " + N(c.Y) +
           ", \"width\": " + N(c.Width) + ", \"height\": " + N(c.Height) +
           ", \"photo\": " + JsonString(PhotoOf(map, c)) + ", \"tint\": " + N(c.Tint) + "}";
    separator = ",\n";
  }
  out += map.Cells.empty() ? "]\n}\n" : "\n  ]\n}\n";
  return out;
}

QByteArray TileMapCsv(const TTileMap& map) {
  QByteArray out = "column,row,x,y,width,height,photo,tint\r\n";
  for (const TTileMapCell& c : map.Cells)
    out += N(c.Column) + ',' + N(c.Row) + ',' + N(c.X) + ',' + N(c.Y) + ',' + N(c.Width) + ',' + N(c.Height) + ',' +
           CsvField(PhotoOf(map, c)) + ',' + N(c.Tint) + "\r\n";
  return out;
}

QByteArray TileMapScript(const TTileMap& map) {
  QByteArray photos, cells, tints;
  for (qsizetype i = 0; i < map.Photos.size(); ++i) photos += (i ? "," : "") + JsonString(map.Photos[i]);
  for (size_t i = 0; i < map.Cells.size(); ++i) {
    cells += (i ? "," : "") + N(map.Cells[i].Photo);
    tints += (i ? "," : "") + N(map.Cells[i].Tint);
  }
  return "window.tileMap = {\"cellWidth\": " + N(map.CellWidth) + ", \"cellHeight\": " + N(map.CellHeight) +
         ", \"columns\": " + N(map.Columns) + ", \"rows\": " + N(map.Rows) + ",\n\"photos\": [" + photos +
         "],\n\"cells\": [" + cells + "],\n\"tints\": [" + tints + "]};\n";
}
