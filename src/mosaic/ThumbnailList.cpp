#include "mosaic/ThumbnailList.h"

void TThumbnailList::SetWidth(int width) {
  if (width == m_width) return;
  m_width = width;
  Clear();
}

void TThumbnailList::SetHeight(int height) {
  if (height == m_height) return;
  m_height = height;
  Clear();
}

int TThumbnailList::Add(const TBitmap& picture) {
  if (picture.Empty() || picture.Width() != m_width || picture.Height() != m_height) return -1;
  TBitmap entry(picture);
  entry.SetPixelFormat(pf24bit);
  entry.Transparent = false;
  m_entries.push_back(std::move(entry));
  return Count() - 1;
}

void TThumbnailList::GetBitmap(int index, TBitmap& bitmap) const { bitmap.Assign(&m_entries.at(size_t(index))); }
