#include "imagefiles/PictureFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <new>
#include <optional>

#include "app/LibLang.h"
#include "app/MyMsgDlg.h"
#include "imagefiles/BKImage.h"
#include "imagefiles/BksImage.h"
#include "imagefiles/BmpImage.h"
#include "imagefiles/CelImage.h"
#include "imagefiles/GifImage.h"
#include "imagefiles/JpegImage.h"
#include "imagefiles/MagickReader.h"
#include "imagefiles/PngImage.h"
#include "imagefiles/PspImage.h"
#include "imagefiles/RleWriter.h"
#include "imagefiles/TargaImage.h"
#include "imagefiles/TiffUtils.h"

bool ShowFileErrors = true;
bool QuickLoad = false;
bool PreviewEnabled = false;
TPictureFileEvent OnPictureFile;
int PictureWidth = 0;
int PictureHeight = 0;
double SaveResolution = 72.0;
TPictureFileDialogs* PictureFileDialogs = nullptr;

namespace {

std::array<TSaveFormat, 7> g_saveFormats;
std::vector<TRegistryEntry> g_openRegistry;

QString LowerExt(const QString& fileName) {
  const QString name = QFileInfo(fileName).fileName();
  const qsizetype dot = name.lastIndexOf(u'.');
  return dot < 0 ? QString() : name.mid(dot).toLower();
}

void Register(const char* ext, const QString& description, TReaderKind reader) {
  g_openRegistry.push_back(TRegistryEntry{QString::fromLatin1(ext), description, reader});
}

// The whole file, mapped when possible so that large files cost no copy.
class TFileBytes {
 public:
  explicit TFileBytes(const QString& fileName) : m_file(fileName) {
    if (!m_file.open(QIODevice::ReadOnly)) throw EImageError("cannot open file");
    const qint64 size = m_file.size();
    if (size > 0) m_mapped = m_file.map(0, size);
    if (m_mapped) {
      m_bytes = TBytes(m_mapped, size_t(size));
    } else {
      m_copy = m_file.readAll();
      m_bytes = TBytes(reinterpret_cast<const std::uint8_t*>(m_copy.constData()), size_t(m_copy.size()));
    }
  }
  TBytes Bytes() const { return m_bytes; }

 private:
  QFile m_file;
  uchar* m_mapped = nullptr;
  QByteArray m_copy;
  TBytes m_bytes;
};

void Notify(TGraphic* graphic, const QString& fileName, TFileStage stage, bool& cont) {
  if (OnPictureFile) OnPictureFile(graphic, fileName, stage, cont);
}

void ReportFailure(const QString& text, const QString& fileName) {
  if (ShowFileErrors) MyMessageDlg(text.arg(fileName), mkError, btOk);
  bool dummy = true;
  Notify(nullptr, fileName, fsFailed, dummy);
}

// Formats the load and save error texts: their "%s" takes the file name.
QString FileErrorText(const QString& format) {
  QString text = format;
  return text.replace(QStringLiteral("%s"), QStringLiteral("%1"));
}

std::unique_ptr<TGraphic> ReaderFor(const QString& fileName) {
  const QString ext = LowerExt(fileName);
  if (ext == u".gif") return CreateReader(TReaderKind::Gif);
  if (!ext.isEmpty())
    for (const char* jpeg : {".jfif", ".jpe", ".jpeg", ".jpg"})
      if (QString::fromLatin1(jpeg).startsWith(ext)) return CreateReader(TReaderKind::Jpeg);
  if (ext == u".bki") return CreateReader(TReaderKind::NativeImage);
  if (ext == u".tif" || ext == u".tiff" || ext == u".fax") return CreateReader(TReaderKind::Tiff);
  const QString bare = ext.mid(1);
  for (const TRegistryEntry& e : g_openRegistry) {
    if (bare.isEmpty() || e.Extension != bare) continue;
    // One group, two formats: the extension tells the metafile kind.
    if (e.Reader == TReaderKind::Metafile && bare == u"emf") return std::make_unique<TMagickImage>(TMagickFormat::Emf);
    return CreateReader(e.Reader);
  }
  return nullptr;
}

// Decodes the whole file with the reader; a reader that gives no picture failed.
void Decode(TGraphic& reader, const QString& fileName) {
  {
    const TFileBytes file(fileName);
    reader.LoadFromBytes(file.Bytes());
  }
  if (reader.Bitmap().Empty()) throw EImageError("no picture");
}

// Reads the file into the reader, with the stage events; 1 read, 0 vetoed.
int ReadPicture(TGraphic& reader, const QString& fileName, TBitmap& bitmap) {
  bool cont = true;
  if (!QuickLoad) Notify(&reader, fileName, fsBeforeLoad, cont);
  if (!cont) return 0;
  if (auto* jpeg = dynamic_cast<TJpegImage*>(&reader)) {
    jpeg->Scale = 0;
    if (QuickLoad) {
      ReadJpegSize(fileName, PictureWidth, PictureHeight);
      jpeg->Scale = JpegScaleFor(PictureWidth, PictureHeight, 150);
    }
  }
  auto* native = dynamic_cast<TBKImage*>(&reader);
  if (native) native->ThumbnailOnly = QuickLoad;
  std::optional<TPictureSizeCap> cap;
  if (QuickLoad && !native && !dynamic_cast<TJpegImage*>(&reader)) cap.emplace(PreviewPixelLimit);
  Decode(reader, fileName);
  if (native && QuickLoad) {
    PictureWidth = native->FullWidth();
    PictureHeight = native->FullHeight();
  }
  if (PictureWidth <= 0 || PictureHeight <= 0) {
    PictureWidth = reader.Bitmap().Width();
    PictureHeight = reader.Bitmap().Height();
  }
  if (!QuickLoad) Notify(&reader, fileName, fsAfterLoad, cont);
  if (!cont) return 0;
  bitmap.Assign(&reader.Bitmap());
  return 1;
}

}  // namespace

bool DecodePictureFile(const QString& fileName, TBitmap& bitmap, int jpegScale) {
  try {
    std::unique_ptr<TGraphic> reader = ReaderFor(fileName);
    if (!reader) return false;
    if (auto* jpeg = dynamic_cast<TJpegImage*>(reader.get())) jpeg->Scale = jpegScale;
    Decode(*reader, fileName);
    bitmap.Assign(&reader->Bitmap());
    return true;
  } catch (const std::exception&) {
    // Like LoadPicture: any failure inside a reader, memory included, is a failed read.
    return false;
  }
}

std::unique_ptr<TGraphic> CreateReader(TReaderKind kind) {
  switch (kind) {
    case TReaderKind::Bmp: return std::make_unique<TBmpImage>();
    case TReaderKind::Gif: return std::make_unique<TGifImage>();
    case TReaderKind::Jpeg: return std::make_unique<TJpegImage>();
    case TReaderKind::Png: return std::make_unique<TPngImage>();
    case TReaderKind::Targa: return std::make_unique<TTargaImage>();
    case TReaderKind::Tiff: return std::make_unique<TTiffImage>();
    case TReaderKind::AliasWavefront: return std::make_unique<TMagickImage>(TMagickFormat::Rla);
    case TReaderKind::Autodesk: return std::make_unique<TCelImage>();
    case TReaderKind::NativeImage: return std::make_unique<TBKImage>();
    case TReaderKind::NativeSelection: return std::make_unique<TBksImage>();
    case TReaderKind::DrHalo: return std::make_unique<TMagickImage>(TMagickFormat::Cut);
    case TReaderKind::Icon: return std::make_unique<TMagickImage>(TMagickFormat::Ico);
    case TReaderKind::Metafile: return std::make_unique<TMagickImage>(TMagickFormat::Wmf);
    case TReaderKind::Paintbrush: return std::make_unique<TMagickImage>(TMagickFormat::Pcx);
    case TReaderKind::PaintShopPro: return std::make_unique<TPspImage>();
    case TReaderKind::PhotoCD: return std::make_unique<TMagickImage>(TMagickFormat::Pcd);
    case TReaderKind::Photoshop: return std::make_unique<TMagickImage>(TMagickFormat::Psd);
    case TReaderKind::PortableMap: return std::make_unique<TMagickImage>(TMagickFormat::Pnm);
    case TReaderKind::Sgi: return std::make_unique<TMagickImage>(TMagickFormat::Sgi);
  }
  return nullptr;
}

std::unique_ptr<TGraphic> CreateWriter(const QString& fileName) {
  const QString ext = LowerExt(fileName);
  if (ext == u".bmp") return std::make_unique<TBmpImage>();
  if (ext == u".rle") return std::make_unique<TRleImage>();
  if (ext == u".jpg" || ext == u".jpeg") return std::make_unique<TJpegImage>();
  if (ext == u".gif") return std::make_unique<TGifImage>();
  if (ext == u".tga") return std::make_unique<TTargaImage>();
  if (ext == u".png") return std::make_unique<TPngImage>();
  if (ext == u".tif" || ext == u".tiff") return std::make_unique<TTiffImage>();
  return nullptr;
}

void RegisterPictureFormats() {
  g_saveFormats = {{
      {QStringLiteral(".bmp"), LangText(lsBmp)},
      {QStringLiteral(".gif"), LangText(lsGif)},
      {QStringLiteral(".jpg;.jpeg"), LangText(lsJpeg)},
      {QStringLiteral(".png"), LangText(lsPng)},
      {QStringLiteral(".rle"), LangText(lsRle)},
      {QStringLiteral(".tga"), LangText(lsTarga)},
      {QStringLiteral(".tif;.tiff"), LangText(lsTiff)},
  }};
  g_openRegistry.clear();
  using R = TReaderKind;
  const auto l = [](const char* s) { return QString::fromUtf8(s); };
  for (const char* e : {"rla", "rpf"}) Register(e, l("Alias/Wavefront"), R::AliasWavefront);
  for (const char* e : {"cel", "pic"}) Register(e, l("Autodesk"), R::Autodesk);
  for (const char* e : {"bmp", "dib", "rle"}) Register(e, LangText(lsBmp), R::Bmp);
  for (const char* e : {"cut"}) Register(e, l("Dr. Halo"), R::DrHalo);
  for (const char* e : {"ico"}) Register(e, LangText(lsIcon), R::Icon);
  for (const char* e : {"jfif", "jpe", "jpeg", "jpg"}) Register(e, LangText(lsJpeg), R::Jpeg);
  for (const char* e : {"emf", "wmf"}) Register(e, l("Metafile"), R::Metafile);
  for (const char* e : {"pcc", "pcx", "scr"}) Register(e, l("Paintbrush"), R::Paintbrush);
  for (const char* e : {"psp", "tub"}) Register(e, l("Paintshop Pro"), R::PaintShopPro);
  for (const char* e : {"pcd"}) Register(e, l("Photo-CD"), R::PhotoCD);
  for (const char* e : {"pdd", "psd"}) Register(e, l("Photoshop"), R::Photoshop);
  for (const char* e : {"png"}) Register(e, LangText(lsPng), R::Png);
  for (const char* e : {"pbm", "pgm", "ppm"}) Register(e, l("Portable map"), R::PortableMap);
  for (const char* e : {"bw", "rgb", "rgba", "sgi"}) Register(e, l("SGI"), R::Sgi);
  for (const char* e : {"icb", "tga", "vda", "vst", "win"}) Register(e, LangText(lsTarga), R::Targa);
  // These come last, as their own units register them at start-up.
  Register("gif", LangText(lsGif), R::Gif);
  Register("bki", LangText(lsImageFile), R::NativeImage);
  Register("bks", LangText(lsSelectionFile), R::NativeSelection);
  for (const char* e : {"tiff", "tif", "fax", "tf8", "btf"}) Register(e, LangText(lsTiff), R::Tiff);
}

const std::array<TSaveFormat, 7>& SaveFormats() { return g_saveFormats; }
const std::vector<TRegistryEntry>& OpenRegistry() { return g_openRegistry; }

QString BuildOpenFilter() {
  struct Group {
    TReaderKind reader;
    QString description;
    QStringList extensions;
  };
  std::vector<Group> groups;
  for (const TRegistryEntry& e : g_openRegistry) {
    auto it = std::find_if(groups.begin(), groups.end(), [&](const Group& g) { return g.reader == e.Reader; });
    if (it == groups.end()) it = groups.insert(groups.end(), Group{e.Reader, QString(), {}});
    if (!e.Description.isEmpty()) it->description = e.Description;
    it->extensions.append(e.Extension);
  }
  std::stable_sort(groups.begin(), groups.end(), [](const Group& a, const Group& b) {
    return a.description.compare(b.description, Qt::CaseInsensitive) < 0;
  });
  QStringList parts;
  for (Group& g : groups) {
    g.extensions.sort();
    QStringList patterns;
    for (const QString& e : g.extensions) patterns.append(QStringLiteral("*.") + e);
    const QString joined = patterns.join(u';');
    parts.append(g.description + QStringLiteral(" (") + joined + QStringLiteral(")|") + joined);
  }
  return LangText(lsCommonImages) + QStringLiteral("|*.png;*.jpg;*.jpeg;*.tif;*.tiff;*.tga;*.bmp;*.gif;*.bki|") +
         LangText(lsAllImages) + QStringLiteral("|*.*|") + parts.join(u'|');
}

QString BuildSaveFilter() {
  QStringList parts;
  for (const TSaveFormat& f : g_saveFormats) {
    QString patterns = f.Extensions;
    patterns.replace(u'.', QStringLiteral("*."));
    parts.append(QStringLiteral("%1 (%2)|%2").arg(f.Description, patterns));
  }
  return parts.join(u'|');
}

int SaveFormatIndex(const QString& fileName) {
  const QString ext = LowerExt(fileName);
  if (ext.isEmpty()) return -1;
  for (int i = int(g_saveFormats.size()) - 1; i >= 0; --i)
    if (g_saveFormats[size_t(i)].Extensions.contains(ext)) return i;
  return -1;
}

int LoadPicture(QString& fileName, TBitmap& bitmap, const QString& initialDir) {
  PictureWidth = 0;
  PictureHeight = 0;
  if (fileName.isEmpty()) {
    if (!PictureFileDialogs) return 0;
    bool preview = PreviewEnabled;
    QString chosen;
    if (PictureFileDialogs->RunOpenDialog(chosen, BuildOpenFilter(), initialDir, preview)) fileName = chosen;
    PreviewEnabled = preview;
  }
  if (fileName.isEmpty()) return 0;

  int result = -1;
  try {
    if (std::unique_ptr<TGraphic> reader = ReaderFor(fileName)) result = ReadPicture(*reader, fileName, bitmap);
  } catch (const std::exception&) {
    result = -1;
  }
  if (result < 0) {
    if (!QuickLoad) ReportFailure(FileErrorText(LangText(lsLoadError)), fileName);
  } else if (result > 0 && (PictureWidth <= 0 || PictureHeight <= 0)) {
    PictureWidth = bitmap.Width();
    PictureHeight = bitmap.Height();
  }
  return result;
}

int LoadPicturePreview(QString& fileName, TBitmap& bitmap) {
  struct QuickGuard {
    QuickGuard() { QuickLoad = true; }
    ~QuickGuard() { QuickLoad = false; }
  } guard;
  return LoadPicture(fileName, bitmap, QString());
}

int SavePicture(QString& fileName, const TBitmap& bitmap, const QString& suggestion) {
  if (fileName.isEmpty()) {
    if (!PictureFileDialogs) return 0;
    int filterIndex = 1;
    QString initialDir, name;
    if (!suggestion.isEmpty()) {
      if (QFileInfo(suggestion).isDir()) {
        initialDir = suggestion;
      } else {
        const int i = SaveFormatIndex(suggestion);
        name = suggestion;
        if (i < 0) {
          const QString ext = LowerExt(suggestion);
          name.chop(ext.size());
        } else {
          filterIndex = i + 1;
        }
      }
    }
    if (PictureFileDialogs->RunSaveDialog(name, BuildSaveFilter(), filterIndex, initialDir,
                                          g_saveFormats[0].Extensions))
      fileName = name;
  }
  if (fileName.isEmpty()) return 0;

  int result = -1;
  try {
    if (std::unique_ptr<TGraphic> writer = CreateWriter(fileName)) {
      bool cont = true;
      Notify(writer.get(), fileName, fsBeforeSave, cont);
      if (cont) {
        writer->Bitmap().Assign(&bitmap);
        if (dynamic_cast<TTiffImage*>(writer.get())) TiffResolution = SaveResolution;
        TByteBuffer bytes;
        writer->SaveToBytes(bytes);
        // The file being replaced survives a failed save: the new one is
        // written beside it and moved over it only once complete.
        QSaveFile file(fileName);
        if (!file.open(QIODevice::WriteOnly)) throw EImageError("cannot create file");
        if (file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) != qint64(bytes.size()) ||
            !file.commit())
          throw EImageError("cannot write file");
        bool dummy = true;
        Notify(writer.get(), fileName, fsAfterSave, dummy);
        result = 1;
      } else {
        result = 0;
      }
    }
  } catch (const std::exception&) {
    result = -1;
  }
  if (result < 0) ReportFailure(FileErrorText(LangText(lsSaveError)), fileName);
  return result;
}
