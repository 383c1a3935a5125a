#pragma once
// The one door between the program and picture files: the registry of
// readable formats, the seven writable ones, and the load and save dispatch
// that picks the codec by the file name's extension, reports failures and
// lets one stage handler watch or veto every read and write.
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "imagefiles/Graphic.h"
#include "raster/Bitmap.h"

enum TFileStage : std::uint8_t { fsBeforeLoad = 0, fsAfterLoad = 1, fsBeforeSave = 2, fsAfterSave = 3, fsFailed = 4 };

// graphic: the codec object of the current file (none for fsFailed). Setting
// cont to false at fsBeforeLoad, fsAfterLoad or fsBeforeSave abandons the read
// or write without failure.
using TPictureFileEvent = std::function<void(TGraphic* graphic, const QString& fileName, TFileStage stage, bool& cont)>;

struct TSaveFormat {
  QString Extensions;   // with dots, separated by ";"
  QString Description;  // shown in the save filter
};

// The codecs the registry knows; the extensions of one reader form a group.
enum class TReaderKind {
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
  Tiff
};

struct TRegistryEntry {
  QString Extension;  // lower case, without dot
  QString Description;
  TReaderKind Reader;
};

// What the open and save dialogs do; the GUI installs its own. Each returns
// true when the user confirmed and fills fileName.
class TPictureFileDialogs {
 public:
  virtual ~TPictureFileDialogs() = default;
  // previewEnabled: the preview switch in, its final state out.
  virtual bool RunOpenDialog(QString& fileName, const QString& filter, const QString& initialDir,
                             bool& previewEnabled) = 0;
  // filterIndex is 1-based; initialDir may be empty; fileName holds the
  // suggested name (possibly empty) on the way in.
  virtual bool RunSaveDialog(QString& fileName, const QString& filter, int filterIndex, const QString& initialDir,
                             const QString& defaultExt) = 0;
};

// Module switches.
extern bool ShowFileErrors;  // failures shown in a message box (initially true)
extern bool QuickLoad;       // true only while LoadPicturePreview runs
extern bool PreviewEnabled;  // the open dialog's preview switch
extern TPictureFileEvent OnPictureFile;
extern int PictureWidth;  // full size of the picture last loaded
extern int PictureHeight;
extern double SaveResolution;                    // dots per inch handed to the PNG and TIFF writers
extern TPictureFileDialogs* PictureFileDialogs;  // none: an empty name does nothing

// Fills SaveFormats and OpenRegistry; called once at start-up after the
// interface strings have their defaults (the save descriptions come from them).
void RegisterPictureFormats();

const std::array<TSaveFormat, 7>& SaveFormats();
const std::vector<TRegistryEntry>& OpenRegistry();

QString BuildOpenFilter();
QString BuildSaveFilter();
int SaveFormatIndex(const QString& fileName);

// The most pixels a quick load (the open dialog's preview) decodes for a
// click: JPEG files decode at a reduced scale and native image files read
// their stored thumbnail, but any other file whose header announces more
// fails like a file that cannot be previewed.
constexpr std::int64_t PreviewPixelLimit = std::int64_t(1) << 26;

// > 0 done, 0 nothing done (dialog cancelled or vetoed), < 0 failed and reported.
int LoadPicture(QString& fileName, TBitmap& bitmap, const QString& initialDir);
int LoadPicturePreview(QString& fileName, TBitmap& bitmap);
int SavePicture(QString& fileName, const TBitmap& bitmap, const QString& suggestion);

// Decodes a file with the reader its extension selects, without dialogs,
// messages, stage events or module state: safe to call from several threads
// at once. jpegScale (0..3: 1/1 to 1/8) applies to JPEG files only. Returns
// false when the file could not be read. The thumbnail loader uses it.
bool DecodePictureFile(const QString& fileName, TBitmap& bitmap, int jpegScale = 0);

// The codec object for a registered reader, or for a save extension (nullptr
// when the extension has no writer). Exposed for the command-line tool.
std::unique_ptr<TGraphic> CreateReader(TReaderKind kind);
std::unique_ptr<TGraphic> CreateWriter(const QString& fileName);
