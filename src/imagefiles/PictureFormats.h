#pragma once
// The formats the program knows, one table row each: the extensions it reads
// and writes, its description, its reader and its writer. The open registry,
// the dialog filters, the save formats, the reader and writer choice and the
// per-format name tests are all read from this table, so that a format's
// facts live in one place.
#include <QString>
#include <QStringView>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "imagefiles/Graphic.h"
#include "imagefiles/MagickReader.h"

// One value per row of the table. The readable formats are the groups of the
// open registry; Rle is written only (its files are read as BMP).
enum class TPictureFormat {
  AliasWavefront,
  Autodesk,
  Bmp,
  NativeImage,
  NativeSelection,
  DrHalo,
  Gif,
  Icon,
  Jpeg,
  Metafile,
  Paintbrush,
  PaintShopPro,
  PhotoCD,
  Photoshop,
  Png,
  PortableMap,
  Sgi,
  Targa,
  Tiff,
  Rle
};
// What the open dialog shows as a file's colour depth.
enum class TDepthLabel {
  StoredFormat,  // by the pixel format the file was stored in
  EightBits,     // always "8 bits"
  Description    // the format's description
};

// How a quick load (the open dialog's preview) may read a file.
enum class TPreviewPolicy {
  Capped,          // fails when the header announces more than PreviewPixelLimit
  ReducedScale,    // decoded at a reduced scale chosen from its header (JPEG)
  StoredThumbnail  // reads the small picture the file stores (native image)
};

struct TFormatDescriptor {
  TPictureFormat Format;
  // The group's description: an interface string when LangId >= 0, else Text.
  int LangId = -1;
  const char* Text = nullptr;
  // Readable extensions, lower case without dots, separated by ";", in the
  // order they are registered; empty for a format that is only written.
  const char* OpenExtensions = "";
  // Extensions that select this reader before the registry is consulted
  // (by exact match, or, with DirectPrefix, when the file's extension is the
  // start of one of them: ".jp" is a JPEG name).
  const char* DirectExtensions = "";
  bool DirectPrefix = false;
  // Written extensions with their dots, separated by ";", and the entry's
  // place among the save formats (-1: not written).
  const char* SaveExtensions = "";
  int SaveIndex = -1;
  TDepthLabel Depth = TDepthLabel::StoredFormat;
  // True when the reader hands over another pixel format than the file
  // stores (TIFF arrives as 32 bits): the stored one is asked of the reader.
  bool ConvertsOnRead = false;
  TPreviewPolicy Preview = TPreviewPolicy::Capped;
  // Place in the "Common images" filter entry (1 first; 0: not in it) and the
  // extensions it shows there, separated by ";".
  int CommonPlace = 0;
  const char* CommonExtensions = "";
  // True when a file's first bytes carry this format's signature beyond
  // doubt; none for a format without one.
  bool (*Signature)(TBytes data) = nullptr;
  // The reader for a file of the given extension (lower case, no dot), or
  // nullptr for a format that is only written.
  std::unique_ptr<TGraphic> (*Reader)(QStringView extension) = nullptr;
  std::unique_ptr<TGraphic> (*Writer)() = nullptr;
  // The ImageMagick coder of a format read through it, by extension.
  std::optional<TMagickFormat> (*Magick)(std::string_view extension) = nullptr;
};

// Every row, in the order the open registry registers them.
std::span<const TFormatDescriptor> PictureFormatTable();
const TFormatDescriptor& DescriptorOf(TPictureFormat format);
// The row's description as the interface strings say it now.
QString DescriptionOf(const TFormatDescriptor& row);

// The file name's extension with its dot, in lower case ("" without one).
QString LowerExtension(const QString& fileName);
// The row that reads this extension (lower case, no dot), if any.
const TFormatDescriptor* ReadableFormat(QStringView extension);
// The row whose direct extensions select the file name, if any.
const TFormatDescriptor* DirectFormat(const QString& fileName);
// The row that writes a file of this name (by its exact extension), if any.
const TFormatDescriptor* WritableFormat(const QString& fileName);
// True when the file name's extension is one of the format's readable ones.
bool HasFormatExtension(TPictureFormat format, const QString& fileName);
// The patterns of the "Common images" filter entry ("*.png;*.jpg;..."), in
// the order of the rows' places.
QString CommonImagePatterns();
// True when the file name's extension is one of the format's direct ones
// (exactly, whatever DirectPrefix says).
bool HasDirectExtension(TPictureFormat format, const QString& fileName);

// The format a file's first bytes name when they carry one of the signatures
// of the table's rows, which leave no doubt: JPEG, PNG, GIF, BMP (with a
// known header size) and TIFF. None for any other content.
std::optional<TPictureFormat> SignatureFormat(TBytes data);
