// The quick header read against the full read: the size it tells is the
// picture's, the depth is the file's, and a file the full read refuses at
// its header is refused by the quick read with the same error.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QTemporaryDir>
#include <memory>
#include <string>

#include "TestBitmaps.h"
#include "TestFiles.h"
#include "imagefiles/BksImage.h"
#include "imagefiles/BmpImage.h"
#include "imagefiles/GifImage.h"
#include "imagefiles/JpegImage.h"
#include "imagefiles/PictureFiles.h"
#include "imagefiles/PngImage.h"
#include "imagefiles/TargaImage.h"
#include "imagefiles/TiffImage.h"

using namespace testing_bitmaps;
using namespace testing_files;

namespace {

TBitmap InFormat(TBitmap b, TPixelFormat pf) {
  b.SetPixelFormat(pf);
  return b;
}

// The error a read throws, or "" when it throws none.
template <class Read>
std::string ErrorOf(Read read) {
  try {
    read();
  } catch (const EImageError& e) {
    return e.what();
  }
  return {};
}

}  // namespace

TEST(PictureHeader, TellsTheDecodedSizeAndTheStoredDepth) {
  const auto bmp = [] { return std::make_unique<TBmpImage>(); };
  const auto png = [] { return std::make_unique<TPngImage>(); };
  const TBitmap picture = Numbered(37, 21);
  // Our PNG writer writes colour only: the other kinds come from Qt's.
  const auto qtPng = [&](QImage::Format format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(picture.Image().convertToFormat(format).save(&buffer, "PNG"));
    return TByteBuffer(bytes.begin(), bytes.end());
  };
  struct Case {
    const char* label;
    std::function<std::unique_ptr<TGraphic>()> make;
    TByteBuffer file;
    int bits;
  } cases[] = {
      {"BMP 1-bit", bmp, SaveAs<TBmpImage>(InFormat(picture, pf1bit)), 1},
      {"BMP 4-bit", bmp, SaveAs<TBmpImage>(InFormat(picture, pf4bit)), 4},
      {"BMP 16-bit", bmp, SaveAs<TBmpImage>(InFormat(picture, pf16bit)), 16},
      {"BMP 24-bit", bmp, SaveAs<TBmpImage>(picture), 24},
      {"PNG colour", png, SaveAs<TPngImage>(picture), 24},
      {"PNG palette", png, qtPng(QImage::Format_Indexed8), 8},
      {"PNG with alpha", png, qtPng(QImage::Format_ARGB32), 32},
      {"PNG 16-bit grey", png, qtPng(QImage::Format_Grayscale16), 16},
      {"JPEG", [] { return std::make_unique<TJpegImage>(); }, SaveAs<TJpegImage>(picture), 24},
      {"GIF", [] { return std::make_unique<TGifImage>(); }, SaveAs<TGifImage>(picture), 8},
      {"GIF of 2 colours", [] { return std::make_unique<TGifImage>(); }, SaveAs<TGifImage>(InFormat(picture, pf1bit)),
       1},
      {"Targa", [] { return std::make_unique<TTargaImage>(); }, SaveAs<TTargaImage>(picture), 24},
      {"TIFF", [] { return std::make_unique<TTiffImage>(); }, SaveAs<TTiffImage>(picture), 24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const TByteBuffer& file = c.file;
    TPictureHeader header;
    ASSERT_TRUE(c.make()->ReadHeader(file, header));
    const TBitmap decoded = LoadWith(*c.make(), file);
    EXPECT_EQ(header.Width, decoded.Width());
    EXPECT_EQ(header.Height, decoded.Height());
    EXPECT_EQ(header.BitsPerPixel, c.bits);

    // Cut inside the header: the same refusal, named by the format.
    const TByteBuffer cut(file.begin(), file.begin() + 12);
    const std::string error = ErrorOf([&] { c.make()->LoadFromBytes(cut); });
    ASSERT_FALSE(error.empty());
    EXPECT_EQ(ErrorOf([&] { c.make()->ReadHeader(cut, header); }), error);
  }
}

// A reader without a header read says so, and the dispatch then takes the
// size and depth from a preview decode; a file it cannot read gives the
// reason.
TEST(PictureHeader, DispatchFallsBackToThePreviewAndSaysWhy) {
  QTemporaryDir dir;
  // A selection file: a shape code and the mask's width and height.
  const std::string text = "-1\r\n9\r\n7\r\n";
  const TByteBuffer selection(text.begin(), text.end());
  TPictureHeader header;
  EXPECT_FALSE(TBksImage().ReadHeader(selection, header));
  const QString name = dir.filePath("s.bks");
  ASSERT_TRUE(WriteFileBytes(name, selection));
  TPictureFileContext context;
  ASSERT_TRUE(ReadPictureHeader(context, name, header));
  EXPECT_EQ(header.Width, 9);
  EXPECT_EQ(header.Height, 7);
  EXPECT_GT(header.BitsPerPixel, 0);

  EXPECT_FALSE(ReadPictureHeader(context, dir.filePath("none.png"), header));
  EXPECT_EQ(context.LastError, "no such file");
}
