// The content signatures of the format table: SignatureFormat names a file
// by the one row whose signature test its first bytes pass, for the output
// of each of our writers and for the variants no writer of ours produces
// (big-endian TIFF, the older GIF).
#include <gtest/gtest.h>

#include <string_view>

#include "TestBitmaps.h"
#include "imagefiles/PictureFormats.h"

using namespace testing_bitmaps;

namespace {

TByteBuffer Bytes(std::string_view text) { return TByteBuffer(text.begin(), text.end()); }

// The rows whose signature test the bytes pass.
std::vector<TPictureFormat> Recognising(TBytes data) {
  std::vector<TPictureFormat> formats;
  for (const TFormatDescriptor& row : PictureFormatTable())
    if (row.Signature && row.Signature(data)) formats.push_back(row.Format);
  return formats;
}

TEST(PictureFormatSignatures, EachWritersOutputIsRecognisedByItsOwnRowAlone) {
  for (const TFormatDescriptor& row : PictureFormatTable()) {
    if (!row.Writer) continue;
    SCOPED_TRACE(DescriptionOf(row).toStdString());
    std::unique_ptr<TGraphic> writer = row.Writer();
    writer->Bitmap() = Numbered(5, 3);
    TByteBuffer file;
    writer->SaveToBytes(file);
    // A run-length file is a compressed BMP and is read as one; Targa files
    // carry no signature.
    const std::optional<TPictureFormat> expected = row.Format == TPictureFormat::Rle     ? TPictureFormat::Bmp
                                                   : row.Format == TPictureFormat::Targa ? std::nullopt
                                                                                         : std::optional(row.Format);
    EXPECT_EQ(SignatureFormat(file), expected);
    EXPECT_EQ(Recognising(file), expected ? std::vector{*expected} : std::vector<TPictureFormat>{});
  }
}

TEST(PictureFormatSignatures, HeadersNoWriterOfOursProduces) {
  using namespace std::string_view_literals;
  const struct {
    std::string_view head;
    std::optional<TPictureFormat> format;
  } cases[] = {
      {"MM\0*\0\0\0\x08"sv, TPictureFormat::Tiff},
      {"II*\0\x08\0\0\0"sv, TPictureFormat::Tiff},
      {"GIF87a\x01\0\x01\0"sv, TPictureFormat::Gif},
      {"GIF89a\x01\0\x01\0"sv, TPictureFormat::Gif},
      {"\xFF\xD8\xFF\xE0"sv, TPictureFormat::Jpeg},
      {"BM\0\0\0\0\0\0\0\0\0\0\0\0\x0C\0\0\0"sv, TPictureFormat::Bmp},  // OS/2 header
      {"BM\0\0\0\0\0\0\0\0\0\0\0\0\x0D\0\0\0"sv, std::nullopt},         // no BMP writer's size
      {"BM\0\0"sv, std::nullopt},
      {"GIF88a"sv, std::nullopt},
      {"MM\0+"sv, std::nullopt},
      {"\x89PNG\r\n\x1A"sv, std::nullopt},  // one byte short
      {""sv, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.head)));
    const TByteBuffer head = Bytes(c.head);
    EXPECT_EQ(SignatureFormat(head), c.format);
    EXPECT_EQ(Recognising(head), c.format ? std::vector{*c.format} : std::vector<TPictureFormat>{});
  }
}

}  // namespace
