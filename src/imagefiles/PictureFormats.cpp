#include "imagefiles/PictureFormats.h"

#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "app/InterfaceTexts.h"
#include "imagefiles/BKImage.h"
#include "imagefiles/BksImage.h"
#include "imagefiles/BmpImage.h"
#include "imagefiles/CelImage.h"
#include "imagefiles/GifImage.h"
#include "imagefiles/JpegImage.h"
#include "imagefiles/PngImage.h"
#include "imagefiles/PspImage.h"
#include "imagefiles/RleWriter.h"
#include "imagefiles/TargaImage.h"
#include "imagefiles/TiffImage.h"

namespace {

template <class T>
std::unique_ptr<TGraphic> Make(QStringView) {
  return std::make_unique<T>();
}
template <class T>
std::unique_ptr<TGraphic> MakeWriter() {
  return std::make_unique<T>();
}
template <TMagickFormat F>
std::optional<TMagickFormat> Coder(std::string_view) {
  return F;
}
// One group, two formats: the extension tells the metafile kind.
std::optional<TMagickFormat> MetafileCoder(std::string_view extension) {
  return extension == "emf" ? TMagickFormat::Emf : TMagickFormat::Wmf;
}
std::unique_ptr<TGraphic> MakeMagick(QStringView extension);

using D = TDepthLabel;
using F = TPictureFormat;
using P = TPreviewPolicy;

bool StartsWith(TBytes data, std::string_view signature) {
  return data.size() >= signature.size() && std::equal(signature.begin(), signature.end(), data.begin(),
                                                       [](char a, std::uint8_t b) { return std::uint8_t(a) == b; });
}

using namespace std::string_view_literals;

bool JpegSignature(TBytes data) { return StartsWith(data, "\xFF\xD8\xFF"sv); }
bool PngSignature(TBytes data) { return StartsWith(data, "\x89PNG\r\n\x1A\n"sv); }
bool GifSignature(TBytes data) { return StartsWith(data, "GIF87a"sv) || StartsWith(data, "GIF89a"sv); }
bool TiffSignature(TBytes data) { return StartsWith(data, "II*\0"sv) || StartsWith(data, "MM\0*"sv); }
// "BM" alone is too short to trust: the info header's size must be one that
// a BMP writer uses.
bool BmpSignature(TBytes data) {
  if (!StartsWith(data, "BM"sv) || data.size() < 18) return false;
  const std::uint32_t info = std::uint32_t(data[14]) | std::uint32_t(data[15]) << 8 | std::uint32_t(data[16]) << 16 |
                             std::uint32_t(data[17]) << 24;
  for (std::uint32_t size : {12u, 16u, 40u, 52u, 56u, 64u, 108u, 124u})
    if (info == size) return true;
  return false;
}

// The registration order of the open registry: the formats the image library
// registers first, then those whose own units register them at start-up.
const std::array<TFormatDescriptor, 20> Table{{
    {.Format = F::AliasWavefront,
     .Text = "Alias/Wavefront",
     .OpenExtensions = "rla;rpf",
     .Reader = MakeMagick,
     .Magick = Coder<TMagickFormat::Rla>},
    {.Format = F::Autodesk, .Text = "Autodesk", .OpenExtensions = "cel;pic", .Reader = Make<TCelImage>},
    {.Format = F::Bmp,
     .LangId = lsBmp,
     .OpenExtensions = "bmp;dib;rle",
     .SaveExtensions = ".bmp",
     .SaveIndex = 0,
     .CommonPlace = 5,
     .CommonExtensions = "bmp",
     .Signature = BmpSignature,
     .Reader = Make<TBmpImage>,
     .Writer = MakeWriter<TBmpImage>},
    {.Format = F::DrHalo,
     .Text = "Dr. Halo",
     .OpenExtensions = "cut",
     .Reader = MakeMagick,
     .Magick = Coder<TMagickFormat::Cut>},
    {.Format = F::Icon,
     .LangId = lsIcon,
     .OpenExtensions = "ico",
     .Depth = D::Description,
     .Reader = MakeMagick,
     .Magick = Coder<TMagickFormat::Ico>},
    {.Format = F::Jpeg,
     .LangId = lsJpeg,
     .OpenExtensions = "jfif;jpe;jpeg;jpg",
     .DirectExtensions = "jfif;jpe;jpeg;jpg",
     .DirectPrefix = true,
     .SaveExtensions = ".jpg;.jpeg",
     .SaveIndex = 2,
     .Preview = P::ReducedScale,
     .CommonPlace = 2,
     .CommonExtensions = "jpg;jpeg",
     .Signature = JpegSignature,
     .Reader = Make<TJpegImage>,
     .Writer = MakeWriter<TJpegImage>},
    {.Format = F::Metafile,
     .Text = "Metafile",
     .OpenExtensions = "emf;wmf",
     .Depth = D::Description,
     .Reader = MakeMagick,
     .Magick = MetafileCoder},
    {.Format = F::Paintbrush,
     .Text = "Paintbrush",
     .OpenExtensions = "pcc;pcx;scr",
     .Reader = MakeMagick,
     .Magick = Coder<TMagickFormat::Pcx>},
    {.Format = F::PaintShopPro, .Text = "Paintshop Pro", .OpenExtensions = "psp;tub", .Reader = Make<TPspImage>},
    {.Format = F::PhotoCD,
     .Text = "Photo-CD",
     .OpenExtensions = "pcd",
     .Reader = MakeMagick,
     .Magick = Coder<TMagickFormat::Pcd>},
    {.Format = F::Photoshop,
     .Text = "Photoshop",
     .OpenExtensions = "pdd;psd",
     .Reader = MakeMagick,
     .Magick = Coder<TMagickFormat::Psd>},
    {.Format = F::Png,
     .LangId = lsPng,
     .OpenExtensions = "png",
     .SaveExtensions = ".png",
     .SaveIndex = 3,
     .CommonPlace = 1,
     .CommonExtensions = "png",
     .Signature = PngSignature,
     .Reader = Make<TPngImage>,
     .Writer = MakeWriter<TPngImage>},
    {.Format = F::PortableMap,
     .Text = "Portable map",
     .OpenExtensions = "pbm;pgm;ppm",
     .Reader = MakeMagick,
     .Magick = Coder<TMagickFormat::Pnm>},
    {.Format = F::Sgi,
     .Text = "SGI",
     .OpenExtensions = "bw;rgb;rgba;sgi",
     .Reader = MakeMagick,
     .Magick = Coder<TMagickFormat::Sgi>},
    {.Format = F::Targa,
     .LangId = lsTarga,
     .OpenExtensions = "icb;tga;vda;vst;win",
     .SaveExtensions = ".tga",
     .SaveIndex = 5,
     .CommonPlace = 4,
     .CommonExtensions = "tga",
     .Reader = Make<TTargaImage>,
     .Writer = MakeWriter<TTargaImage>},
    {.Format = F::Gif,
     .LangId = lsGif,
     .OpenExtensions = "gif",
     .DirectExtensions = "gif",
     .SaveExtensions = ".gif",
     .SaveIndex = 1,
     .Depth = D::EightBits,
     .CommonPlace = 6,
     .CommonExtensions = "gif",
     .Signature = GifSignature,
     .Reader = Make<TGifImage>,
     .Writer = MakeWriter<TGifImage>},
    {.Format = F::NativeImage,
     .LangId = lsImageFile,
     .OpenExtensions = "bki",
     .DirectExtensions = "bki",
     .Depth = D::Description,
     .Preview = P::StoredThumbnail,
     .CommonPlace = 7,
     .CommonExtensions = "bki",
     .Reader = Make<TBKImage>},
    {.Format = F::NativeSelection,
     .LangId = lsSelectionFile,
     .OpenExtensions = "bks",
     .Depth = D::Description,
     .Reader = Make<TBksImage>},
    {.Format = F::Tiff,
     .LangId = lsTiff,
     .OpenExtensions = "tiff;tif;fax;tf8;btf",
     .DirectExtensions = "tif;tiff;fax",
     .SaveExtensions = ".tif;.tiff",
     .SaveIndex = 6,
     .ConvertsOnRead = true,
     .CommonPlace = 3,
     .CommonExtensions = "tif;tiff",
     .Signature = TiffSignature,
     .Reader = Make<TTiffImage>,
     .Writer = MakeWriter<TTiffImage>},
    {.Format = F::Rle, .LangId = lsRle, .SaveExtensions = ".rle", .SaveIndex = 4, .Writer = MakeWriter<TRleImage>},
}};

// With prefix, an empty item (the name ends in a dot) is the start of any entry.
bool ListHas(const char* list, QStringView item, bool prefix = false) {
  if (item.isEmpty() && !prefix) return false;
  for (const QString& entry : QString::fromLatin1(list).split(u';', Qt::SkipEmptyParts))
    if (prefix ? entry.startsWith(item) : entry == item) return true;
  return false;
}

std::unique_ptr<TGraphic> MakeMagick(QStringView extension) {
  const std::optional<TMagickFormat> coder = MagickFormatForExtension(extension.toLatin1().toStdString());
  if (coder) return std::make_unique<TMagickImage>(*coder);
  return nullptr;
}

}  // namespace

std::span<const TFormatDescriptor> PictureFormatTable() { return Table; }

const TFormatDescriptor& DescriptorOf(TPictureFormat format) {
  for (const TFormatDescriptor& row : Table)
    if (row.Format == format) return row;
  return Table.back();  // not reached: every format has its row
}

QString DescriptionOf(const TFormatDescriptor& row) {
  return row.LangId >= 0 ? LangText(row.LangId) : QString::fromUtf8(row.Text);
}

QString LowerExtension(const QString& fileName) {
  const QString name = QFileInfo(fileName).fileName();
  const qsizetype dot = name.lastIndexOf(u'.');
  return dot < 0 ? QString() : name.mid(dot).toLower();
}

const TFormatDescriptor* ReadableFormat(QStringView extension) {
  for (const TFormatDescriptor& row : Table)
    if (ListHas(row.OpenExtensions, extension)) return &row;
  return nullptr;
}

const TFormatDescriptor* DirectFormat(const QString& fileName) {
  const QString ext = LowerExtension(fileName);
  if (ext.isEmpty()) return nullptr;
  const QString bare = ext.mid(1);
  // No extension is direct for two rows, so the order does not matter.
  for (const TFormatDescriptor& row : Table)
    if (ListHas(row.DirectExtensions, bare, row.DirectPrefix)) return &row;
  return nullptr;
}

const TFormatDescriptor* WritableFormat(const QString& fileName) {
  const QString ext = LowerExtension(fileName);
  for (const TFormatDescriptor& row : Table)
    if (row.Writer && ListHas(row.SaveExtensions, ext)) return &row;
  return nullptr;
}

bool HasFormatExtension(TPictureFormat format, const QString& fileName) {
  const QString ext = LowerExtension(fileName);
  return !ext.isEmpty() && ListHas(DescriptorOf(format).OpenExtensions, QStringView(ext).mid(1));
}

bool HasDirectExtension(TPictureFormat format, const QString& fileName) {
  const QString ext = LowerExtension(fileName);
  return !ext.isEmpty() && ListHas(DescriptorOf(format).DirectExtensions, QStringView(ext).mid(1));
}

std::optional<TPictureFormat> SignatureFormat(TBytes data) {
  for (const TFormatDescriptor& row : Table)
    if (row.Signature && row.Signature(data)) return row.Format;
  return std::nullopt;
}

QString CommonImagePatterns() {
  std::vector<const TFormatDescriptor*> rows;
  for (const TFormatDescriptor& row : Table)
    if (row.CommonPlace > 0) rows.push_back(&row);
  std::sort(rows.begin(), rows.end(), [](auto* a, auto* b) { return a->CommonPlace < b->CommonPlace; });
  QStringList patterns;
  for (const TFormatDescriptor* row : rows)
    for (const QString& e : QString::fromLatin1(row->CommonExtensions).split(u';', Qt::SkipEmptyParts))
      patterns.append(QStringLiteral("*.") + e);
  return patterns.join(u';');
}
