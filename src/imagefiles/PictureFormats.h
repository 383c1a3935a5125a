#pragma once
// The formats the program knows, one table row each: the extensions it reads
// and writes, its description, its reader and its writer, the signature its
// files start with, how a quick look at it is kept cheap, whether the
// "Common images" filter lists it and what its colour depth is read from.
// The open registry, the dialog filters, the save formats, the reader and
// writer choice and the per-format name and content tests are all read from
// this table, so that a format's facts live in one place.
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

// What a file's colour depth is read from, for the open dialog and the
// header report.
enum class TDepthLabel {
  DecodedFormat,  // the decoded picture's pixel format: the reader keeps the file's depth
  StoredFormat,   // the depth the reader says the file was stored in: its picture is converted
  EightBits,      // always "8 bits" in the dialog
  Description     // the format's description in the dialog
};

// A row is written with designated initialisers naming only what the format
// has; everything left out is "none".
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
  // The extensions (lower case, no dots, ";") the "Common images" filter
  // entry lists for this format, and the format's place in that entry (-1:
  // not listed).
  const char* CommonExtensions = "";
  int CommonOrder = -1;
  TDepthLabel Depth = TDepthLabel::DecodedFormat;
  // True when a file's first bytes carry this format's signature beyond
  // doubt; none for a format known by its name only.
  bool (*Signature)(TBytes data) = nullptr;
  // A quick look (the open dialog's preview) may decode a picture that
  // announces more than PreviewPixelLimit pixels: the reader keeps it cheap
  // itself (a reduced scale, a stored thumbnail).
  bool PreviewUncapped = false;
  // Before a quick look: sets the options that make it cheap from the file's
  // header and gives the full picture's size when the header tells it
  // (0 x 0 otherwise); none for a format read whole.
  void (*PreparePreview)(TBytes data, TCodecOptions& options, int& width, int& height) = nullptr;
  // The reader for a file of the given extension (lower case, no dot), or
  // none for a format that is only written.
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
// True when the file name's extension is one of the format's direct ones
// (exactly, whatever DirectPrefix says).
bool HasDirectExtension(TPictureFormat format, const QString& fileName);

// The format whose row's signature test the file's first bytes pass (JPEG,
// PNG, GIF, BMP with a known header size, TIFF); none for any other content.
std::optional<TPictureFormat> SignatureFormat(TBytes data);
