#pragma once
// Small pieces every reader needs, written once: byte reads that never pass
// the end of the data, colour tables padded to cover every index used, grey
// ramps, and the rule for alpha channels that hold nothing.
#include <QImage>
#include <QList>
#include <cstddef>
#include <cstdint>

#include "imagefiles/Graphic.h"

// Unchecked reads for loops over data whose extent was checked before (the
// rows of a picture): p must point at 2 or 4 readable bytes.
inline std::uint32_t LoadLE16(const std::uint8_t* p) { return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8; }
inline std::uint32_t LoadBE16(const std::uint8_t* p) { return std::uint32_t(p[0]) << 8 | std::uint32_t(p[1]); }
inline std::uint32_t LoadLE32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

// Bounded reads at a byte offset: reading past the end of data throws
// EImageError ("data ends too soon").
std::uint32_t ReadLE16(TBytes data, std::size_t at);
std::uint32_t ReadLE32(TBytes data, std::size_t at);
std::uint32_t ReadBE16(TBytes data, std::size_t at);
std::uint32_t ReadBE32(TBytes data, std::size_t at);

// A cursor over data that reads little-endian values in sequence, bounded
// like the reads above.
class TByteCursor {
 public:
  explicit TByteCursor(TBytes data, std::size_t pos = 0) : m_data(data), m_pos(pos) {}
  // The next n bytes; throws when fewer remain.
  TBytes Take(std::size_t n);
  void Skip(std::size_t n) { Take(n); }
  std::uint8_t U8() { return Take(1)[0]; }
  std::uint32_t U16() { return ReadLE16(Take(2), 0); }
  std::uint32_t U32() { return ReadLE32(Take(4), 0); }
  std::int32_t I32() { return std::int32_t(U32()); }
  std::size_t Position() const { return m_pos; }
  std::size_t Remaining() const { return m_data.size() - m_pos; }

 private:
  TBytes m_data;
  std::size_t m_pos;
};

// Extends table with black entries so that it covers index maxIndex: a pixel
// whose index has no entry shows as black rather than reading past the table.
void PadColorTable(QList<QRgb>& table, int maxIndex);
// The largest index any pixel of an 8-bit palette picture uses (1 for 1-bit
// pictures, whatever their pixels).
int LargestIndex(const QImage& indexed);

// levels evenly spaced greys from black to white (levels >= 2), each value
// rounded to the nearest integer.
QList<QRgb> GreyRamp(int levels);

// A 32-bit picture (Format_ARGB32) whose alpha is zero everywhere was not
// meant to be transparent: its alpha becomes 255. Returns true when it did.
bool OpaqueIfAlphaAllZero(QImage& image);

// The orientation (1 to 8) an EXIF block (a little TIFF file: "II" or "MM",
// 42, the first directory) gives its picture, 1 when it says nothing about it
// or cannot be read. Only the first directory is read, and every offset is
// checked against `length` before it is followed.
int ExifBlockOrientation(const std::uint8_t* tiff, std::size_t length);
// The picture as it is meant to be seen: stored pixels turned and mirrored as
// an EXIF orientation says (5 to 8 swap the width and the height). Any
// format of 1, 8, 16, 24 or 32 bits; the colour table goes along.
QImage ExifUpright(const QImage& stored, int orientation);
