#pragma once
// The one door between the program and picture files: the registry of
// readable formats, the seven writable ones, and the load and save dispatch
// that picks the codec by the file name's extension, reports failures and
// lets one stage handler watch or veto every read and write. Choosing a file
// in a dialog is the caller's business (imagefiles/gui): here a file always
// has a name.
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "imagefiles/Graphic.h"
#include "imagefiles/PictureFormats.h"
#include "raster/Bitmap.h"

enum TFileStage : std::uint8_t { fsBeforeLoad = 0, fsAfterLoad = 1, fsBeforeSave = 2, fsAfterSave = 3, fsFailed = 4 };

// graphic: the codec object of the current file (none for fsFailed). Setting
// cont to false at fsBeforeLoad, fsAfterLoad or fsBeforeSave abandons the read
// or write without failure. At fsBeforeSave the handler may set the writer's
// Options (the JPEG quality and progressive flag); they survive the save.
using TPictureFileEvent = std::function<void(TGraphic* graphic, const QString& fileName, TFileStage stage, bool& cont)>;

struct TSaveFormat {
  QString Extensions;   // with dots, separated by ";"
  QString Description;  // shown in the save filter
};

struct TRegistryEntry {
  QString Extension;  // lower case, without dot
  QString Description;
  TPictureFormat Reader;
};

// What the load and save dispatch reads and sets, owned by its caller: the
// main window keeps one for its commands, the command-line tool makes its
// own, the thumbnail load needs none (DecodePictureFile).
struct TPictureFileContext {
  bool ShowFileErrors = true;  // failures shown in a message box
  TPictureFileEvent OnPictureFile;
  double SaveResolution = 72.0;  // dots per inch handed to the PNG and TIFF writers
  // Loads hand the picture over as a working image (24 bits, not
  // transparent). The conversion is part of the load, so a picture too
  // large to convert is a failed load like any other, not an exception for
  // the caller.
  bool WorkingLayout = false;
  // The open dialog's preview switch and its filter entry (1-based) as they
  // were when the dialog closed; the caller's next open dialog starts from
  // them.
  bool PreviewEnabled = false;
  int OpenFilterIndex = 1;
  // Why the last load or save through this context failed ("no such file",
  // "BMP: pixel data is truncated", ...); empty after a success. The failure
  // message shows it on its second line.
  QString LastError;
};

// The save formats and the open registry, read from the format table when
// asked (the descriptions in the interface language of that moment).
std::array<TSaveFormat, 7> SaveFormats();
std::vector<TRegistryEntry> OpenRegistry();

QString BuildOpenFilter();
QString BuildSaveFilter();
int SaveFormatIndex(const QString& fileName);

// The most pixels a quick look (the open dialog's preview) decodes for a
// click: JPEG files decode at a reduced scale and native image files read
// their stored thumbnail, but any other file whose header announces more
// fails like a file that cannot be previewed (TFormatDescriptor says which).
constexpr std::int64_t PreviewPixelLimit = std::int64_t(1) << 26;

// > 0 done, 0 nothing done (an empty name, or vetoed), < 0 failed and
// reported.
//
// What every reader promises, and what the dispatch builds on (the codecs'
// TGraphic::LoadFromBytes keeps it for all of them):
// - On failure it throws EImageError whose message starts with the format's
//   name ("BMP: ...", "JPEG: ..."); damaged, truncated, unsupported and
//   oversized files alike, and an allocation failure (std::bad_alloc) too.
//   Nothing else leaves a reader.
// - A picture whose header claims more than the limits of Graphic.h is
//   refused before its pixels are allocated.
// - A failed read leaves the codec's bitmap as it was. The dispatch decodes
//   into the codec and copies into the caller's bitmap only after a
//   successful read (and the stage handler's consent), so a failed load
//   leaves the caller's bitmap untouched.
// - Options reach a codec only through its TCodecOptions value.
int LoadPicture(TPictureFileContext& context, const QString& fileName, TBitmap& bitmap);
int SavePicture(TPictureFileContext& context, const QString& fileName, const TBitmap& bitmap);

// A quick look at a file, for the open dialog's preview and the header
// report: a large JPEG decoded at a reduced scale, a native image's stored
// thumbnail, any other file whole under PreviewPixelLimit.
struct TPicturePreview {
  bool Ok = false;
  TBitmap Picture;  // as decoded, in the layout the reader gave
  // The full picture's size, whatever size Picture has.
  int Width = 0;
  int Height = 0;
  // The depth the file holds its pixels in (TDepthLabel of the reader's row).
  TPixelFormat StoredFormat = pfDevice;
  QString Error;  // why the file could not be previewed
};

// Without messages, stage events or any context; a failure is only told in
// the value.
TPicturePreview LoadPicturePreview(const QString& fileName);

// The size and stored depth of a file for a quick look, without messages or
// stage events: from the reader's header read (TGraphic::ReadHeader), which
// decodes no pixels, or for a reader without one from LoadPicturePreview,
// under its cap. False when the file cannot be read, with the reason in
// context.LastError.
bool ReadPictureHeader(TPictureFileContext& context, const QString& fileName, TPictureHeader& header);
// The bits a pixel of the format holds (15-bit pixels take 16).
int PixelFormatBits(TPixelFormat format);

// A decoded file: the picture and the pixel format the file was stored in.
struct TDecodedPicture {
  TBitmap Bitmap;
  TPixelFormat StoredFormat = pfDevice;
  QString Error;  // why the file could not be read
};

// Decodes a file with the reader its extension selects, without dialogs,
// messages, stage events or any context: safe to call from several threads
// at once. Returns false when the file could not be read. The thumbnail
// loader uses it. The short form takes a JPEG scale (0..3: 1/1 to 1/8) only.
bool DecodePictureFile(const QString& fileName, TDecodedPicture& picture, const TCodecOptions& options = {});
bool DecodePictureFile(const QString& fileName, TBitmap& bitmap, int jpegScale = 0);

// The codec object for a registered reader, or for a save extension (nullptr
// when the extension has no writer). Exposed for the command-line tool.
std::unique_ptr<TGraphic> CreateReader(TPictureFormat format);
std::unique_ptr<TGraphic> CreateWriter(const QString& fileName);
