#pragma once
// The thumbnail list: squares of one size, numbered from 0 in the order added.
#include <vector>

#include "raster/Bitmap.h"

class TThumbnailList {
 public:
  int Width() const { return m_width; }
  int Height() const { return m_height; }
  // Changing a side empties the list, as every entry must have the list's size.
  void SetWidth(int width);
  void SetHeight(int height);

  int Count() const { return int(m_entries.size()); }
  void Clear() { m_entries.clear(); }

  // Adds a copy of the picture as a 24-bit entry; returns its index, or -1
  // when the picture does not have the list's size.
  int Add(const TBitmap& picture);

  // Copies entry `index` into bitmap, which takes the list's size.
  void GetBitmap(int index, TBitmap& bitmap) const;
  const TBitmap& Entry(int index) const { return m_entries.at(size_t(index)); }

 private:
  int m_width = 32;
  int m_height = 32;
  std::vector<TBitmap> m_entries;
};
