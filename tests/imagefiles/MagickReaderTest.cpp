#include "imagefiles/MagickReader.h"

#include <Magick++.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <list>
#include <string>
#include <vector>

#include "TestBitmaps.h"
#include "TestFiles.h"

using namespace testing_bitmaps;
using namespace testing_files;

namespace {

// ---- fixtures ----

// A picture for ImageMagick from a colour function; alpha(x, y) when given.
Magick::Image MagickPicture(int w, int h, const std::function<TColor(int, int)>& colour,
                            const std::function<int(int, int)>& alpha = nullptr) {
  std::vector<std::uint8_t> rgba;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const TColor c = colour(x, y);
      rgba.insert(rgba.end(), {std::uint8_t(GetRValue(c)), std::uint8_t(GetGValue(c)), std::uint8_t(GetBValue(c)),
                               std::uint8_t(alpha ? alpha(x, y) : 255)});
    }
  Magick::Image image(std::size_t(w), std::size_t(h), "RGBA", MagickCore::CharPixel, rgba.data());
  image.matte(alpha != nullptr);
  return image;
}

// Writes the pictures into one file of a temporary folder with the named
// ImageMagick coder and returns the file's bytes.
TByteBuffer WriteWithMagick(std::list<Magick::Image> pictures, const std::string& coder) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("fixture").toStdString();
  Magick::writeImages(pictures.begin(), pictures.end(), coder + ":" + path);
  return ReadFileBytes(QString::fromStdString(path));
}

TByteBuffer WriteWithMagick(Magick::Image picture, const std::string& coder) {
  return WriteWithMagick(std::list<Magick::Image>{std::move(picture)}, coder);
}

Magick::Image Typed(Magick::Image image, Magick::ImageType type) {
  image.type(type);
  return image;
}

TColor Grey(int v) { return RGBColor(v, v, v); }
TColor Checker(int x, int y) { return (x + y) % 3 ? clBlack : clWhite; }
TColor GreyRamp(int x, int y) { return Grey(x * 30 + y * 7); }
int Ramp(int x, int y) { return (x * 40 + y * 20) & 0xFF; }
// Photoshop stores the merged picture blended with white where it is not
// opaque, and the library undoes that; its own writer does not blend. Only
// fully opaque or fully clear pixels survive that round trip exactly.
int Holes(int x, int y) { return (x + y) % 3 ? 255 : 0; }

int AlphaAt(const TBitmap& b, int x, int y) { return qAlpha(b.Image().pixel(x, y)); }

TBitmap Load(TMagickFormat format, TBytes bytes) {
  TMagickImage reader(format);
  return LoadWith(reader, bytes);
}

// What each registry group's fixture must come back as.
struct TLoadCase {
  const char* name;
  TMagickFormat format;
  std::function<TByteBuffer()> file;
  int width, height;
  TPixelFormat pf;
  std::function<TColor(int, int)> colour;  // expected pixels (exact)
  std::function<int(int, int)> alpha;      // expected alpha, for pf32bit
};

}  // namespace

class MagickReader : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { Magick::InitializeMagick(nullptr); }
};

TEST_F(MagickReader, EveryRegistryGroupLoadsInItsStoredDepth) {
  const auto rla = [](int x, int y) { return RGBColor(x * 60 + 10, y * 100 + 20, x * 20 + y * 40 + 30); };
  const int cutLevels[3][5] = {{10, 10, 10, 50, 200}, {60, 70, 80, 90, 100}, {255, 255, 255, 255, 255}};
  const auto cut = [&cutLevels](int x, int y) { return Grey(cutLevels[y][x]); };
  const TLoadCase cases[] = {
      {"RLA, checked in", TMagickFormat::Rla, [] { return DataFile("rla/rgb4x3.rla"); }, 4, 3, pf24bit, rla, nullptr},
      {"Dr. Halo CUT, checked in", TMagickFormat::Cut, [] { return DataFile("cut/grey5x3.cut"); }, 5, 3, pf8bit, cut,
       nullptr},
      {"8-bit palette PCX", TMagickFormat::Pcx,
       [] { return WriteWithMagick(Typed(MagickPicture(6, 4, Distinct), Magick::PaletteType), "PCX"); }, 6, 4, pf8bit,
       Distinct, nullptr},
      {"24-bit PCX", TMagickFormat::Pcx,
       [] { return WriteWithMagick(Typed(MagickPicture(6, 4, Distinct), Magick::TrueColorType), "PCX"); }, 6, 4,
       pf24bit, Distinct, nullptr},
      {"1-bit PBM", TMagickFormat::Pnm, [] { return WriteWithMagick(MagickPicture(9, 3, Checker), "PBM"); }, 9, 3,
       pf1bit, Checker, nullptr},
      {"8-bit PGM", TMagickFormat::Pnm, [] { return WriteWithMagick(MagickPicture(5, 4, GreyRamp), "PGM"); }, 5, 4,
       pf8bit, GreyRamp, nullptr},
      {"PPM", TMagickFormat::Pnm, [] { return WriteWithMagick(MagickPicture(5, 4, Distinct), "PPM"); }, 5, 4, pf24bit,
       Distinct, nullptr},
      {"PSD with alpha", TMagickFormat::Psd,
       [] { return WriteWithMagick(MagickPicture(5, 3, Distinct, Holes), "PSD"); }, 5, 3, pf32bit, Distinct, Holes},
      {"PSD without alpha", TMagickFormat::Psd,
       [] { return WriteWithMagick(Typed(MagickPicture(5, 3, Distinct), Magick::TrueColorType), "PSD"); }, 5, 3,
       pf24bit, Distinct, nullptr},
      {"SGI RGB", TMagickFormat::Sgi, [] { return WriteWithMagick(MagickPicture(7, 2, Distinct), "SGI"); }, 7, 2,
       pf24bit, Distinct, nullptr},
      {"SGI RGBA", TMagickFormat::Sgi, [] { return WriteWithMagick(MagickPicture(7, 2, Distinct, Ramp), "SGI"); }, 7, 2,
       pf32bit, Distinct, Ramp},
      {"SGI grey (bw)", TMagickFormat::Sgi,
       [] { return WriteWithMagick(Typed(MagickPicture(6, 3, GreyRamp), Magick::GrayscaleType), "SGI"); }, 6, 3, pf8bit,
       GreyRamp, nullptr},
      {"icon with its mask", TMagickFormat::Ico,
       [] {
         return WriteWithMagick(MagickPicture(16, 16, Distinct, [](int x, int) { return x < 8 ? 0 : 255; }), "ICO");
       },
       16, 16, pf32bit, Distinct, [](int x, int) { return x < 8 ? 0 : 255; }},
  };
  for (const TLoadCase& c : cases) {
    SCOPED_TRACE(c.name);
    TBitmap b;
    ASSERT_NO_THROW(b = Load(c.format, c.file()));
    EXPECT_EQ(b.Width(), c.width);
    EXPECT_EQ(b.Height(), c.height);
    EXPECT_EQ(b.PixelFormat(), c.pf);
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) {
        if (c.colour && (!c.alpha || c.alpha(x, y) > 0)) {
          ASSERT_EQ(Hex(b.Pixel(x, y)), Hex(c.colour(x, y))) << "at (" << x << ", " << y << ")";
        }
        if (c.alpha) {
          ASSERT_EQ(AlphaAt(b, x, y), c.alpha(x, y)) << "at (" << x << ", " << y << ")";
        }
      }
  }
}

TEST_F(MagickReader, PaletteOfSixteenColoursIsFourBit) {
  // A 16-colour EGA PCX: four planes of one bit.
  TByteBuffer pcx(128, 0);
  pcx[0] = 0x0A, pcx[1] = 5, pcx[2] = 0, pcx[3] = 1, pcx[65] = 4;
  pcx[8] = 15, pcx[10] = 1;  // 16 x 2
  pcx[66] = 2, pcx[68] = 1;  // 2 bytes per plane row; colour palette
  for (int i = 0; i < 16; ++i) pcx[16 + 3 * i] = std::uint8_t(i * 16), pcx[17 + 3 * i] = 255, pcx[18 + 3 * i] = 7;
  for (int y = 0; y < 2; ++y)
    for (int plane = 0; plane < 4; ++plane) {
      std::uint8_t bytes[2] = {0, 0};
      for (int x = 0; x < 16; ++x)
        if (((x + y) % 16 >> plane) & 1) bytes[x / 8] |= std::uint8_t(0x80 >> (x % 8));
      pcx.insert(pcx.end(), bytes, bytes + 2);
    }
  const TBitmap b = Load(TMagickFormat::Pcx, pcx);
  EXPECT_EQ(b.PixelFormat(), pf4bit);
  EXPECT_EQ(b.Palette().size(), 16);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 16; ++x) EXPECT_EQ(b.Pixel(x, y), RGBColor((x + y) % 16 * 16, 255, 7));
}

TEST_F(MagickReader, MetafileRenders) {
  // The install script brings ImageMagick's WMF reader; the load dispatch's
  // tests count on it as well.
  ASSERT_TRUE(Magick::CoderInfo("WMF").isReadable());
  // A red rectangle with the default black pen on a 40 x 30 unit page, 72
  // units an inch. The library frames the drawing itself, so the rectangle
  // fills the picture, its outline along the edges.
  const TBitmap b = Load(TMagickFormat::Wmf, DataFile("wmf/rect40x30.wmf"));
  EXPECT_EQ(b.Width(), 40);
  EXPECT_EQ(b.Height(), 30);
  EXPECT_EQ(b.Pixel(20, 15), clRed);
  EXPECT_EQ(b.Pixel(1, 1), clBlack);
}

// The base picture (768 x 512) of a Photo-CD image pack, its colours turned
// from PhotoYCC by Kodak's equations: R = 1.3584 Y + 1.8215 (C2 - 137),
// B = 1.3584 Y + 2.2179 (C1 - 156), G from both. The pack is the library's
// own, its base picture's samples then replaced: four upright stripes of a
// known luma and chroma each, wide enough that the halved chroma stays flat.
TEST_F(MagickReader, PhotoCdGivesItsBaseResolutionInKodaksColours) {
  TByteBuffer pcd = WriteWithMagick(MagickPicture(768, 512, [](int, int) { return Grey(90); }), "PCD");
  constexpr std::size_t BaseStart = 0x30000;  // sector 96: row pairs of Y, Y, C1, C2
  ASSERT_GE(pcd.size(), BaseStart + 768 * 512 * 3 / 2);
  struct TStripe {
    std::uint8_t y, c1, c2;
    TColor shown;
  };
  const TStripe stripes[4] = {{150, 156, 137, RGBColor(204, 204, 204)},
                              {100, 120, 180, RGBColor(214, 111, 56)},
                              {80, 200, 110, RGBColor(59, 115, 206)},
                              {30, 156, 137, RGBColor(41, 41, 41)}};
  for (int pair = 0; pair < 256; ++pair) {
    std::uint8_t* p = pcd.data() + BaseStart + std::size_t(pair) * 2304;
    for (int x = 0; x < 768; ++x) {
      const TStripe& s = stripes[x / 192];
      p[x] = p[768 + x] = s.y;
      if (x % 2 == 0) p[1536 + x / 2] = s.c1, p[1920 + x / 2] = s.c2;
    }
  }
  const TBitmap b = Load(TMagickFormat::Pcd, pcd);
  EXPECT_EQ(b.Width(), 768);
  EXPECT_EQ(b.Height(), 512);
  EXPECT_EQ(b.PixelFormat(), pf24bit);
  for (int i = 0; i < 4; ++i)
    for (int y : {0, 255, 511}) {
      SCOPED_TRACE(testing::Message() << "stripe " << i << ", row " << y);
      const TColor got = b.Pixel(192 * i + 96, y), want = stripes[i].shown;
      EXPECT_NEAR(GetRValue(got), GetRValue(want), 1) << Hex(got);
      EXPECT_NEAR(GetGValue(got), GetGValue(want), 1) << Hex(got);
      EXPECT_NEAR(GetBValue(got), GetBValue(want), 1) << Hex(got);
    }
}

TEST_F(MagickReader, IconGivesItsLargestPicture) {
  std::list<Magick::Image> sizes{MagickPicture(
                                     16, 16, [](int, int) { return clRed; }, [](int, int) { return 255; }),
                                 MagickPicture(
                                     32, 32, [](int, int) { return clBlue; }, [](int, int) { return 255; }),
                                 MagickPicture(
                                     24, 24, [](int, int) { return clLime; }, [](int, int) { return 255; })};
  const TBitmap b = Load(TMagickFormat::Ico, WriteWithMagick(sizes, "ICO"));
  EXPECT_EQ(b.Width(), 32);
  EXPECT_EQ(b.Height(), 32);
  EXPECT_EQ(b.Pixel(10, 10), clBlue);
}

TEST_F(MagickReader, FileOfAnotherFormatUnderARegistryExtensionFails) {
  const TByteBuffer png = WriteWithMagick(MagickPicture(4, 4, Distinct), "PNG");
  const TByteBuffer pcx = WriteWithMagick(Typed(MagickPicture(4, 4, Distinct), Magick::PaletteType), "PCX");
  const TByteBuffer ppm = WriteWithMagick(MagickPicture(4, 4, Distinct), "PPM");
  const TByteBuffer psd = WriteWithMagick(MagickPicture(4, 4, Distinct, Ramp), "PSD");
  const TByteBuffer sgi = WriteWithMagick(MagickPicture(4, 4, Distinct), "SGI");
  const TByteBuffer bmp = WriteWithMagick(MagickPicture(4, 4, Distinct), "BMP");
  const TByteBuffer pam = WriteWithMagick(MagickPicture(4, 4, Distinct), "PAM");
  struct TCase {
    const char* name;
    TMagickFormat format;
    const TByteBuffer* bytes;
  } const cases[] = {
      {"PNG as RLA", TMagickFormat::Rla, &png}, {"PNG as CUT", TMagickFormat::Cut, &png},
      {"PNG as ICO", TMagickFormat::Ico, &png}, {"PNG as WMF", TMagickFormat::Wmf, &png},
      {"PNG as PCX", TMagickFormat::Pcx, &png}, {"PNG as PCD", TMagickFormat::Pcd, &png},
      {"PNG as PSD", TMagickFormat::Psd, &png}, {"PNG as PNM", TMagickFormat::Pnm, &png},
      {"PNG as SGI", TMagickFormat::Sgi, &png}, {"PCX as PSD", TMagickFormat::Psd, &pcx},
      {"PPM as PCX", TMagickFormat::Pcx, &ppm}, {"PSD as SGI", TMagickFormat::Sgi, &psd},
      {"SGI as PNM", TMagickFormat::Pnm, &sgi}, {"BMP as ICO", TMagickFormat::Ico, &bmp},
      {"BMP as CUT", TMagickFormat::Cut, &bmp}, {"PPM as RLA", TMagickFormat::Rla, &ppm},
      {"PAM as PNM", TMagickFormat::Pnm, &pam}, {"PSD as WMF", TMagickFormat::Wmf, &psd},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.bytes->empty());
    EXPECT_THROW(Load(c.format, *c.bytes), EImageError);
  }
}

TEST_F(MagickReader, EnhancedMetafileCannotBeRendered) {
  TByteBuffer emf(108, 0);
  emf[0] = 1;                                                  // EMR_HEADER
  emf[40] = ' ', emf[41] = 'E', emf[42] = 'M', emf[43] = 'F';  // signature
  EXPECT_THROW(Load(TMagickFormat::Emf, emf), EImageError);
}

TEST_F(MagickReader, DamagedOrTruncatedFilesFail) {
  const TByteBuffer pcx = WriteWithMagick(Typed(MagickPicture(40, 30, Distinct), Magick::PaletteType), "PCX");
  const TByteBuffer ppm = WriteWithMagick(MagickPicture(40, 30, Distinct), "PPM");
  const TByteBuffer psd = WriteWithMagick(MagickPicture(40, 30, Distinct, Ramp), "PSD");
  const TByteBuffer sgi = WriteWithMagick(MagickPicture(40, 30, Distinct), "SGI");
  const TByteBuffer rla = DataFile("rla/rgb4x3.rla");
  struct TCase {
    const char* name;
    TMagickFormat format;
    const TByteBuffer* bytes;
  } const cases[] = {{"PCX", TMagickFormat::Pcx, &pcx},
                     {"PPM", TMagickFormat::Pnm, &ppm},
                     {"PSD", TMagickFormat::Psd, &psd},
                     {"SGI", TMagickFormat::Sgi, &sgi},
                     {"RLA", TMagickFormat::Rla, &rla}};
  for (const TCase& c : cases) {
    for (const double part : {0.0, 0.1, 0.5, 0.9}) {
      SCOPED_TRACE(std::string(c.name) + " cut to " + std::to_string(part));
      const TByteBuffer cut(c.bytes->begin(), c.bytes->begin() + std::ptrdiff_t(double(c.bytes->size()) * part));
      EXPECT_THROW(Load(c.format, cut), EImageError);
    }
  }
}

TEST_F(MagickReader, HugeHeadersAreRefusedBeforeAllocating) {
  TByteBuffer psd = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0, 0, 3};
  for (int i = 0; i < 2; ++i) PutLE32(psd, 0xA0860100);  // 100000, big-endian
  psd.insert(psd.end(), {0, 8, 0, 3});
  const std::string text = "P6\n100000 100000\n255\n";
  const TByteBuffer pnm(text.begin(), text.end());
  TByteBuffer pcx(128, 0);
  pcx[0] = 0x0A, pcx[1] = 5, pcx[2] = 1, pcx[3] = 8, pcx[65] = 3;
  pcx[8] = pcx[9] = pcx[10] = pcx[11] = 0xFF;  // 65536 x 65536
  TByteBuffer sgi(512, 0);
  sgi[0] = 0x01, sgi[1] = 0xDA, sgi[3] = 1, sgi[5] = 3;
  sgi[6] = sgi[7] = sgi[8] = sgi[9] = 0xFF, sgi[11] = 3;  // 65535 x 65535, 3 channels
  TByteBuffer cut = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 2, 0, 0, 0};
  TByteBuffer rla = DataFile("rla/rgb4x3.rla");
  rla[8] = 0x80, rla[9] = 0, rla[10] = 0x7F, rla[11] = 0xFF;  // columns -32768 .. 32767
  TByteBuffer wmf = DataFile("wmf/rect40x30.wmf");
  wmf[10] = wmf[12] = 0xFF, wmf[11] = wmf[13] = 0x7F, wmf[14] = 1, wmf[15] = 0;  // 32767 inches square
  std::uint8_t sum[2] = {0, 0};  // the placeable header's checksum: XOR of its first ten words
  for (int i = 0; i < 20; ++i) sum[i % 2] ^= wmf[std::size_t(i)];
  wmf[20] = sum[0], wmf[21] = sum[1];
  // A real 8000 x 8000 picture (2 MB of runs): within our own limits, but over
  // the library's memory budget, so it must fail rather than spill to disk.
  TByteBuffer big(128, 0);
  big[0] = 0x0A, big[1] = 5, big[2] = 1, big[3] = 8, big[65] = 1;
  big[8] = big[10] = std::uint8_t(7999 & 0xFF), big[9] = big[11] = std::uint8_t(7999 >> 8);
  big[66] = std::uint8_t(8000 & 0xFF), big[67] = std::uint8_t(8000 >> 8), big[68] = 1;
  for (int y = 0; y < 8000; ++y) {
    for (int run = 0; run < 126; ++run) big.insert(big.end(), {0xFF, 0x00});  // 63 pixels of index 0
    big.insert(big.end(), {0xC0 | 62, 0x00});
  }
  big.push_back(0x0C);
  big.resize(big.size() + 768, 0);
  struct TCase {
    const char* name;
    TMagickFormat format;
    const TByteBuffer* bytes;
  } const cases[] = {{"PSD", TMagickFormat::Psd, &psd}, {"PNM", TMagickFormat::Pnm, &pnm},
                     {"PCX", TMagickFormat::Pcx, &pcx}, {"SGI", TMagickFormat::Sgi, &sgi},
                     {"CUT", TMagickFormat::Cut, &cut}, {"RLA", TMagickFormat::Rla, &rla},
                     {"WMF", TMagickFormat::Wmf, &wmf}, {"PCX over the library's budget", TMagickFormat::Pcx, &big}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const int r =
        ReadWithDataBudget(ReaderMemoryBudget, *c.bytes, [&] { return std::make_unique<TMagickImage>(c.format); });
    EXPECT_EQ(r, brRefused) << BoundedReadName(r);
  }
}

TEST_F(MagickReader, ReadRunningOverItsTimeLimitFails) {
  const TByteBuffer pcx = WriteWithMagick(Typed(MagickPicture(64, 64, Distinct), Magick::PaletteType), "PCX");
  const TBitmap whole = Load(TMagickFormat::Pcx, pcx);
  ASSERT_EQ(whole.Width(), 64);
  const auto saved = MagickReadTimeLimit();
  SetMagickReadTimeLimit(std::chrono::milliseconds(0));
  EXPECT_THROW(Load(TMagickFormat::Pcx, pcx), EImageError);
  SetMagickReadTimeLimit(saved);
  EXPECT_TRUE(SamePixels(Load(TMagickFormat::Pcx, pcx), whole));  // the limit is all that stopped it
}

TEST(MagickFormatForExtension, FollowsTheRegistryGroups) {
  const std::pair<const char*, std::optional<TMagickFormat>> cases[] = {
      {"rla", TMagickFormat::Rla}, {"rpf", TMagickFormat::Rla}, {"cut", TMagickFormat::Cut},
      {"ico", TMagickFormat::Ico}, {"wmf", TMagickFormat::Wmf}, {"emf", TMagickFormat::Emf},
      {"pcx", TMagickFormat::Pcx}, {"pcc", TMagickFormat::Pcx}, {"scr", TMagickFormat::Pcx},
      {"pcd", TMagickFormat::Pcd}, {"psd", TMagickFormat::Psd}, {"pdd", TMagickFormat::Psd},
      {"pbm", TMagickFormat::Pnm}, {"pgm", TMagickFormat::Pnm}, {"ppm", TMagickFormat::Pnm},
      {"bw", TMagickFormat::Sgi},  {"rgb", TMagickFormat::Sgi}, {"rgba", TMagickFormat::Sgi},
      {"sgi", TMagickFormat::Sgi}, {"PCX", TMagickFormat::Pcx}, {"png", std::nullopt},
      {"", std::nullopt},          {"cel", std::nullopt},       {"psp", std::nullopt},
  };
  for (const auto& [extension, expected] : cases) {
    SCOPED_TRACE(extension);
    EXPECT_EQ(MagickFormatForExtension(extension), expected);
  }
}
