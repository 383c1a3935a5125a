#include "imagefiles/CelImage.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "TestBitmaps.h"
#include "TestFiles.h"
#include "imagefiles/FormatFixtures.h"

using namespace testing_bitmaps;
using namespace testing_files;

namespace {

// An Animator cel: 32-byte header, 256 x 3 palette levels, one byte a pixel.
struct TCelSpec {
  int width = 3, height = 2;
  unsigned magic = 0x9119;
  int bits = 8, compression = 0;
  long statedSize = -1;                                                                 // -1: width x height
  std::function<int(int, int)> level = [](int i, int c) { return (i + c * 20) % 64; };  // palette entry i, component c
  std::function<int(int, int)> pixel = [](int x, int y) { return x * 10 + y * 100; };
};

TByteBuffer MakeCel(const TCelSpec& s) {
  TByteBuffer b;
  PutLE16(b, s.magic);
  PutLE16(b, std::uint32_t(s.width));
  PutLE16(b, std::uint32_t(s.height));
  PutLE16(b, 7);  // screen position, not used
  PutLE16(b, 9);
  b.push_back(std::uint8_t(s.bits));
  b.push_back(std::uint8_t(s.compression));
  PutLE32(b, s.statedSize < 0 ? std::uint32_t(s.width * s.height) : std::uint32_t(s.statedSize));
  b.resize(32, 0);
  for (int i = 0; i < 256; ++i)
    for (int c = 0; c < 3; ++c) b.push_back(std::uint8_t(s.level(i, c)));
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x) b.push_back(std::uint8_t(s.pixel(x, y)));
  return b;
}

constexpr auto Load = LoadAs<TCelImage>;

}  // namespace

TEST(CelImage, ReadsThePaletteAndPixels) {
  const TCelSpec spec;
  const TBitmap b = Load(MakeCel(spec));
  EXPECT_EQ(b.Width(), 3);
  EXPECT_EQ(b.Height(), 2);
  EXPECT_EQ(b.PixelFormat(), pf8bit);
  ASSERT_EQ(b.Palette().size(), 256);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(b.Image().pixelIndex(x, y), spec.pixel(x, y));
}

TEST(CelImage, SixBitLevelsWidenToTheFullRange) {
  TCelSpec spec;
  spec.level = [](int i, int c) { return c == 0 ? i % 64 : c == 1 ? 63 - i % 64 : 32; };
  const QList<QRgb> table = Load(MakeCel(spec)).Palette();
  EXPECT_EQ(table[0], qRgb(0, 255, 130));
  EXPECT_EQ(table[63], qRgb(255, 0, 130));
  EXPECT_EQ(table[1], qRgb(4, 251, 130));
}

TEST(CelImage, PaletteWithEightBitLevelsIsTakenAsItStands) {
  TCelSpec spec;
  spec.level = [](int i, int c) { return (i + c * 85) % 256; };
  const QList<QRgb> table = Load(MakeCel(spec)).Palette();
  EXPECT_EQ(table[0], qRgb(0, 85, 170));
  EXPECT_EQ(table[200], qRgb(200, 29, 114));
}

TEST(CelImage, ZeroStatedSizeMeansWidthTimesHeight) {
  TCelSpec spec;
  spec.statedSize = 0;
  EXPECT_EQ(Load(MakeCel(spec)).Width(), 3);
}

TEST(CelImage, UnsupportedOrDamagedFilesFail) {
  struct TCase {
    const char* name;
    std::function<TByteBuffer()> bytes;
  } const cases[] = {
      {"empty", [] { return TByteBuffer{}; }},
      {"wrong magic",
       [] {
         TCelSpec s;
         s.magic = 0x1991;
         return MakeCel(s);
       }},
      {"Animator Pro picture",
       [] {
         TCelSpec s;
         s.magic = 0x9500;
         return MakeCel(s);
       }},
      {"Animator Pro cel (a flic)",
       [] {
         TByteBuffer b = {0x10, 0x20, 0, 0, 0x12, 0xAF};
         b.resize(900, 0);
         return b;
       }},
      {"4 bits per pixel",
       [] {
         TCelSpec s;
         s.bits = 4;
         return MakeCel(s);
       }},
      {"compressed",
       [] {
         TCelSpec s;
         s.compression = 1;
         return MakeCel(s);
       }},
      {"size field disagrees",
       [] {
         TCelSpec s;
         s.statedSize = 7;
         return MakeCel(s);
       }},
      {"no pixels",
       [] {
         TCelSpec s;
         s.width = 0;
         return MakeCel(s);
       }},
      {"header cut short",
       [] {
         TByteBuffer b = MakeCel({});
         b.resize(20);
         return b;
       }},
      {"palette cut short",
       [] {
         TByteBuffer b = MakeCel({});
         b.resize(500);
         return b;
       }},
      {"last pixel missing",
       [] {
         TByteBuffer b = MakeCel({});
         b.pop_back();
         return b;
       }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_THROW(Load(c.bytes()), EImageError);
  }
}

TEST(CelImage, HugeHeaderIsRefusedBeforeAllocating) {
  TByteBuffer b = MakeCel({});
  b[2] = b[3] = b[4] = b[5] = 0xFF;  // 65535 x 65535, with only 6 pixels behind it
  const int r = ReadWithDataBudget(ReaderMemoryBudget, b, [] { return std::make_unique<TCelImage>(); });
  EXPECT_EQ(r, brRefused) << BoundedReadName(r);
}

TByteBuffer SampleCelFile() { return MakeCel(TCelSpec{}); }
