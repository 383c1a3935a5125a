#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "TestBitmaps.h"
#include "imagefiles/BKImage.h"
#include "imagefiles/FormatFixtures.h"

using namespace testing_bitmaps;

namespace {

// ---- native image files written field by field ----

struct TBkiFile {
  std::string signature = "Brindlemark Image";
  int headerByte = 7;
  int width = 4, height = 3;  // the header's full size
  int number = 2500;          // stored x 1000
  std::string text = "made by hand";
  int value = -42;
  std::string mark = "Thumbnail";
  TBitmap thumbnail = Numbered(2, 2);
  int extraSection = 0;  // bytes added to the thumbnail section (counted in its size)
  std::string name = "picture.bki";
  std::optional<int> nameLength;  // the name's length unless set
  TBitmap picture = Numbered(4, 3);
  std::optional<int> pictureWidth, pictureHeight;  // the picture's own size unless set
  int transparent = 0;
  std::uint32_t transparentColor = 0x00123456;
};

void Put32(TByteBuffer& out, std::int64_t v) { PutLE32(out, std::uint32_t(v)); }
void PutText(TByteBuffer& out, const std::string& s) { out.insert(out.end(), s.begin(), s.end()); }

void PutPixels(TByteBuffer& out, const TBitmap& b) {
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const TColor c = b.Pixel(x, y);
      out.push_back(std::uint8_t(GetBValue(c)));
      out.push_back(std::uint8_t(GetGValue(c)));
      out.push_back(std::uint8_t(GetRValue(c)));
    }
}

TByteBuffer MakeBki(const TBkiFile& f) {
  TByteBuffer out;
  PutText(out, f.signature);
  out.push_back(std::uint8_t(f.headerByte));
  Put32(out, f.width);
  Put32(out, f.height);
  Put32(out, f.number);
  Put32(out, 0x55555555);
  std::string text = f.text;
  text.resize(256, '\0');
  PutText(out, text);
  Put32(out, f.value);

  TByteBuffer section;
  PutText(section, f.mark);
  Put32(section, 0x11111111);
  Put32(section, f.thumbnail.Width());
  Put32(section, f.thumbnail.Height());
  PutPixels(section, f.thumbnail);
  section.resize(section.size() + std::size_t(f.extraSection), 0xEE);
  Put32(out, std::int64_t(section.size()) + 4);
  out.insert(out.end(), section.begin(), section.end());

  Put32(out, 0x22222222);
  Put32(out, f.nameLength.value_or(int(f.name.size())));
  PutText(out, f.name);
  out.resize(out.size() + 38, 0x33);
  Put32(out, f.pictureWidth.value_or(f.picture.Width()));
  Put32(out, f.pictureHeight.value_or(f.picture.Height()));
  PutPixels(out, f.picture);
  out.push_back(std::uint8_t(f.transparent));
  Put32(out, f.transparentColor);
  return out;
}

TBitmap Read(const TByteBuffer& data, bool thumbnail = false) {
  TBKImage image;
  image.Options.ThumbnailOnly = thumbnail;
  image.LoadFromBytes(data);
  return image.Bitmap();
}

TEST(BKImage, FullReadGivesThePictureAndTheHeader) {
  const TBkiFile f;
  TBKImage image;
  image.LoadFromBytes(MakeBki(f));
  EXPECT_EQ(image.Bitmap().PixelFormat(), pf24bit);
  EXPECT_TRUE(SamePixels(image.Bitmap(), f.picture));
  EXPECT_FALSE(image.Bitmap().Transparent);
  EXPECT_EQ(image.Bitmap().TransparentColor(), TColor(0x123456));
  EXPECT_EQ(image.Properties.HeaderByte, 7);
  EXPECT_EQ(image.Properties.Width, 4);
  EXPECT_EQ(image.Properties.Height, 3);
  EXPECT_DOUBLE_EQ(image.Properties.Number, 2.5);
  EXPECT_EQ(image.Properties.Text, "made by hand");
  EXPECT_EQ(image.Properties.Value, -42);
}

TEST(BKImage, HeaderTextWithoutZeroKeepsAll256Bytes) {
  TBkiFile f;
  f.text = std::string(256, 'x');
  TBKImage image;
  image.LoadFromBytes(MakeBki(f));
  EXPECT_EQ(image.Properties.Text, std::string(256, 'x'));
}

TEST(BKImage, PreviewReadsTheThumbnailAndReportsTheFullSize) {
  TBkiFile f;
  f.width = 4000;
  f.height = 3000;
  f.thumbnail = Numbered(80, 60);
  f.picture = Numbered(40, 30);  // kept small: the full read takes the image section's own size
  const TByteBuffer data = MakeBki(f);

  TBKImage preview;
  preview.Options.ThumbnailOnly = true;
  preview.LoadFromBytes(data);
  EXPECT_TRUE(SamePixels(preview.Bitmap(), f.thumbnail));
  EXPECT_EQ(preview.Bitmap().PixelFormat(), pf24bit);
  EXPECT_EQ(preview.FullWidth(), 4000);
  EXPECT_EQ(preview.FullHeight(), 3000);

  TBKImage direct;
  direct.LoadThumbnailFromBytes(data);
  EXPECT_TRUE(SamePixels(direct.Bitmap(), f.thumbnail));

  EXPECT_TRUE(SamePixels(Read(data), f.picture));
}

TEST(BKImage, TransparentFlagAndColour) {
  struct TCase {
    int flag;
    bool transparent;
  };
  for (const TCase c : {TCase{1, true}, TCase{0, false}, TCase{0x80, true}}) {
    SCOPED_TRACE(c.flag);
    TBkiFile f;
    f.transparent = c.flag;
    f.transparentColor = 0x00FFFFFF;
    const TBitmap b = Read(MakeBki(f));
    EXPECT_EQ(b.Transparent, c.transparent);
    EXPECT_EQ(b.TransparentColor(), clWhite);
  }
}

TEST(BKImage, ThumbnailSectionIsSkippedBySizeWithoutLookingAtIt) {
  TBkiFile f;
  f.mark = "thumbnail";
  f.extraSection = 17;
  const TByteBuffer data = MakeBki(f);
  EXPECT_TRUE(SamePixels(Read(data), f.picture));
  EXPECT_THROW(Read(data, true), EImageError);  // the preview checks the mark
}

struct TBadCase {
  const char* name;
  void (*change)(TBkiFile&);
  bool fullFails, previewFails;
};

class BKImageBad : public testing::TestWithParam<TBadCase> {};

TEST_P(BKImageBad, FailsWithTheLoadError) {
  TBkiFile f;
  GetParam().change(f);
  const TByteBuffer data = MakeBki(f);
  if (GetParam().fullFails)
    EXPECT_THROW(Read(data), EImageError);
  else
    EXPECT_TRUE(SamePixels(Read(data), f.picture));
  if (GetParam().previewFails)
    EXPECT_THROW(Read(data, true), EImageError);
  else
    EXPECT_TRUE(SamePixels(Read(data, true), f.thumbnail));
}

INSTANTIATE_TEST_SUITE_P(
    BKImage, BKImageBad,
    testing::Values(TBadCase{"SignatureCase", [](TBkiFile& f) { f.signature = "Brindlemark image"; }, true, true},
                    TBadCase{"SignatureLetter", [](TBkiFile& f) { f.signature = "Brindlemark Imagf"; }, true, true},
                    TBadCase{"NameOf256", [](TBkiFile& f) { f.name = std::string(256, 'n'); }, false, false},
                    TBadCase{"NameOf257", [](TBkiFile& f) { f.name = std::string(257, 'n'); }, true, false},
                    TBadCase{"NegativeNameLength", [](TBkiFile& f) { f.nameLength = -3; }, true, false},
                    TBadCase{"PictureTooWide", [](TBkiFile& f) { f.pictureWidth = 70000, f.pictureHeight = 1; }, true,
                             false},
                    TBadCase{"PictureWithoutPixels", [](TBkiFile& f) { f.pictureWidth = 0; }, true, false},
                    TBadCase{"NegativePictureHeight", [](TBkiFile& f) { f.pictureHeight = -3; }, true, false},
                    // Within the size limits but far more pixels than the file holds.
                    TBadCase{"PicturePixelsMissing",
                             [](TBkiFile& f) { f.pictureWidth = 20000, f.pictureHeight = 20000; }, true, false},
                    TBadCase{"HeaderSizeZero", [](TBkiFile& f) { f.width = 0; }, false, true},
                    TBadCase{"HeaderSizeTooLarge", [](TBkiFile& f) { f.height = 100000; }, false, true}),
    [](const testing::TestParamInfo<TBadCase>& info) { return std::string(info.param.name); });

TEST(BKImage, ThumbnailLargerThanTheFileFails) {
  // The file ends long before the pixels the thumbnail claims.
  TBkiFile f;
  f.thumbnail = Numbered(30, 30);
  TByteBuffer data = MakeBki(f);
  data.resize(17 + 1 + 16 + 256 + 4 + 4 + 9 + 4 + 8 + 100);
  EXPECT_THROW(Read(data, true), EImageError);
}

TEST(BKImage, SectionSizeBelowFourFails) {
  TBkiFile f;
  TByteBuffer data = MakeBki(f);
  const std::size_t at = 17 + 1 + 16 + 256 + 4;
  for (std::int64_t size : {3, 0, -1, -100000}) {
    SCOPED_TRACE(size);
    TByteBuffer bad(data.begin(), data.begin() + std::ptrdiff_t(at));
    Put32(bad, size);
    bad.insert(bad.end(), data.begin() + std::ptrdiff_t(at) + 4, data.end());
    EXPECT_THROW(Read(bad), EImageError);
  }
}

TEST(BKImage, EveryCutShortFileFails) {
  const TByteBuffer data = MakeBki(TBkiFile{});
  // The preview needs everything up to the end of the thumbnail's pixels.
  const std::size_t thumbnailEnd = 17 + 1 + 16 + 256 + 4 + 4 + 9 + 4 + 8 + 2 * 2 * 3;
  for (std::size_t n = 0; n < data.size(); ++n) {
    SCOPED_TRACE(n);
    const TByteBuffer cut(data.begin(), data.begin() + std::ptrdiff_t(n));
    EXPECT_THROW(Read(cut), EImageError);
    if (n < thumbnailEnd)
      EXPECT_THROW(Read(cut, true), EImageError);
    else
      EXPECT_TRUE(SamePixels(Read(cut, true), Numbered(2, 2)));
  }
}

TEST(BKImage, FailedReadLeavesThePreviousPicture) {
  TBKImage image;
  image.LoadFromBytes(MakeBki(TBkiFile{}));
  TByteBuffer data = MakeBki(TBkiFile{});
  data.resize(data.size() - 2);  // the transparent colour is cut short
  EXPECT_THROW(image.LoadFromBytes(data), EImageError);
  EXPECT_TRUE(SamePixels(image.Bitmap(), Numbered(4, 3)));
}

TEST(BKImage, IsReadOnly) {
  TBKImage image;
  TByteBuffer out;
  EXPECT_THROW(image.SaveToBytes(out), EImageError);
}

}  // namespace

TByteBuffer SampleBkiFile() { return MakeBki(TBkiFile{}); }
