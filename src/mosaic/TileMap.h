#pragma once
// Which photo went where in a matched mosaic: each cell's place in the grid,
// its pixel rectangle, the photo's path relative to the library folder and
// the tint it was given; written as JSON or CSV for a print shop, a script
// or the deep-zoom page.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

struct TMosaicResult;

struct TTileMapCell {
  int Column = 0, Row = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;  // clipped to the mosaic
  int Photo = -1;                           // index into TTileMap::Photos
  int Tint = 0;                             // percent
};

struct TTileMap {
  QString Library;     // the library folder, as given
  QStringList Photos;  // relative to Library, in the library's list order
  int CellWidth = 0, CellHeight = 0;
  int Columns = 0, Rows = 0;
  int Width = 0, Height = 0;        // the mosaic's size in pixels
  std::vector<TTileMapCell> Cells;  // row by row; empty: not a matched mosaic
};

// The map of a mosaic of width x height pixels; no cells when it is not a
// matched one.
TTileMap TileMapOf(const TMosaicResult& mosaic, int width, int height);

// {"library", "width", "height", "cellWidth", "cellHeight", "columns",
// "rows", "cells": [{"column", "row", "x", "y", "width", "height", "photo",
// "tint"}, ...]}, the cells row by row.
QByteArray TileMapJson(const TTileMap& map);
// The same cells, one line each after a header line, quoted as RFC 4180
// wants (CRLF line ends).
QByteArray TileMapCsv(const TTileMap& map);
// For the deep-zoom page, which cannot fetch a file opened from the disk: a
// script setting window.tileMap to the grid, the photos' names and, per
// cell, the photo's index and its tint.
QByteArray TileMapScript(const TTileMap& map);
