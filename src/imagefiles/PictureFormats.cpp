#include "imagefiles/PictureFormats.h"

#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

#include "app/LibLang.h"
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
#include "imagefiles/TiffUtils.h"

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
constexpr int NoLang = -1;

// The registration order of the open registry: the formats the image library
// registers first, then those whose own units register them at start-up.
const std::array<TFormatDescriptor, 20> Table{{
    {F::AliasWavefront, NoLang, "Alias/Wavefront", "rla;rpf", "", false, "", -1, D::StoredFormat, MakeMagick, nullptr,
     Coder<TMagickFormat::Rla>},
    {F::Autodesk, NoLang, "Autodesk", "cel;pic", "", false, "", -1, D::StoredFormat, Make<TCelImage>, nullptr, nullptr},
    {F::Bmp, lsBmp, nullptr, "bmp;dib;rle", "", false, ".bmp", 0, D::StoredFormat, Make<TBmpImage>,
     MakeWriter<TBmpImage>, nullptr},
    {F::DrHalo, NoLang, "Dr. Halo", "cut", "", false, "", -1, D::StoredFormat, MakeMagick, nullptr,
     Coder<TMagickFormat::Cut>},
    {F::Icon, lsIcon, nullptr, "ico", "", false, "", -1, D::Description, MakeMagick, nullptr,
     Coder<TMagickFormat::Ico>},
    {F::Jpeg, lsJpeg, nullptr, "jfif;jpe;jpeg;jpg", "jfif;jpe;jpeg;jpg", true, ".jpg;.jpeg", 2, D::StoredFormat,
     Make<TJpegImage>, MakeWriter<TJpegImage>, nullptr},
    {F::Metafile, NoLang, "Metafile", "emf;wmf", "", false, "", -1, D::Description, MakeMagick, nullptr, MetafileCoder},
    {F::Paintbrush, NoLang, "Paintbrush", "pcc;pcx;scr", "", false, "", -1, D::StoredFormat, MakeMagick, nullptr,
     Coder<TMagickFormat::Pcx>},
    {F::PaintShopPro, NoLang, "Paintshop Pro", "psp;tub", "", false, "", -1, D::StoredFormat, Make<TPspImage>, nullptr,
     nullptr},
    {F::PhotoCD, NoLang, "Photo-CD", "pcd", "", false, "", -1, D::StoredFormat, MakeMagick, nullptr,
     Coder<TMagickFormat::Pcd>},
    {F::Photoshop, NoLang, "Photoshop", "pdd;psd", "", false, "", -1, D::StoredFormat, MakeMagick, nullptr,
     Coder<TMagickFormat::Psd>},
    {F::Png, lsPng, nullptr, "png", "", false, ".png", 3, D::StoredFormat, Make<TPngImage>, MakeWriter<TPngImage>,
     nullptr},
    {F::PortableMap, NoLang, "Portable map", "pbm;pgm;ppm", "", false, "", -1, D::StoredFormat, MakeMagick, nullptr,
     Coder<TMagickFormat::Pnm>},
    {F::Sgi, NoLang, "SGI", "bw;rgb;rgba;sgi", "", false, "", -1, D::StoredFormat, MakeMagick, nullptr,
     Coder<TMagickFormat::Sgi>},
    {F::Targa, lsTarga, nullptr, "icb;tga;vda;vst;win", "", false, ".tga", 5, D::StoredFormat, Make<TTargaImage>,
     MakeWriter<TTargaImage>, nullptr},
    {F::Gif, lsGif, nullptr, "gif", "gif", false, ".gif", 1, D::EightBits, Make<TGifImage>, MakeWriter<TGifImage>,
     nullptr},
    {F::NativeImage, lsImageFile, nullptr, "bki", "bki", false, "", -1, D::Description, Make<TBKImage>, nullptr,
     nullptr},
    {F::NativeSelection, lsSelectionFile, nullptr, "bks", "", false, "", -1, D::Description, Make<TBksImage>, nullptr,
     nullptr},
    {F::Tiff, lsTiff, nullptr, "tiff;tif;fax;tf8;btf", "tif;tiff;fax", false, ".tif;.tiff", 6, D::StoredFormat,
     Make<TTiffImage>, MakeWriter<TTiffImage>, nullptr},
    {F::Rle, lsRle, nullptr, "", "", false, ".rle", 4, D::StoredFormat, nullptr, MakeWriter<TRleImage>, nullptr},
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
  const auto startsWith = [data](std::string_view signature) {
    return data.size() >= signature.size() && std::equal(signature.begin(), signature.end(), data.begin(),
                                                         [](char a, std::uint8_t b) { return std::uint8_t(a) == b; });
  };
  using namespace std::string_view_literals;
  if (startsWith("\xFF\xD8\xFF"sv)) return F::Jpeg;
  if (startsWith("\x89PNG\r\n\x1A\n"sv)) return F::Png;
  if (startsWith("GIF87a"sv) || startsWith("GIF89a"sv)) return F::Gif;
  if (startsWith("II*\0"sv) || startsWith("MM\0*"sv)) return F::Tiff;
  // "BM" alone is too short to trust: the info header's size must be one
  // that a BMP writer uses.
  if (startsWith("BM"sv) && data.size() >= 18) {
    const std::uint32_t info = std::uint32_t(data[14]) | std::uint32_t(data[15]) << 8 | std::uint32_t(data[16]) << 16 |
                               std::uint32_t(data[17]) << 24;
    for (std::uint32_t size : {12u, 16u, 40u, 52u, 56u, 64u, 108u, 124u})
      if (info == size) return F::Bmp;
  }
  return std::nullopt;
}
