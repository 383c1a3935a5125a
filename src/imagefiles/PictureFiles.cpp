#include "imagefiles/PictureFiles.h"

#include <QStringList>
#include <algorithm>
#include <new>

#include "app/InterfaceTexts.h"
#include "app/MyMsgDlg.h"
#include "imagefiles/FileBytes.h"
#include "imagefiles/JpegImage.h"

namespace {

void Notify(TPictureFileContext& context, TGraphic* graphic, const QString& fileName, TFileStage stage, bool& cont) {
  if (context.OnPictureFile) context.OnPictureFile(graphic, fileName, stage, cont);
}

// The message names the file in the program's own sentence and gives the
// reason on the line below it.
void ReportFailure(TPictureFileContext& context, const QString& text, const QString& fileName) {
  if (context.ShowFileErrors) MyMessageDlg(text.arg(fileName) + QLatin1Char('\n') + context.LastError, mkError, btOk);
  bool dummy = true;
  Notify(context, nullptr, fileName, fsFailed, dummy);
}

// Formats the load and save error texts: their "%s" takes the file name.
QString FileErrorText(const QString& format) {
  QString text = format;
  return text.replace(QStringLiteral("%s"), QStringLiteral("%1"));
}

// The reader by the file name: the formats whose names are recognised
// directly, then the open registry (so only registered extensions are read).
const TFormatDescriptor* ReaderFormat(const QString& fileName) {
  if (const TFormatDescriptor* row = DirectFormat(fileName)) return row;
  const QString bare = LowerExtension(fileName).mid(1);
  if (bare.isEmpty()) return nullptr;
  return ReadableFormat(bare);
}

std::unique_ptr<TGraphic> ReaderFor(const QString& fileName, const TFormatDescriptor*& row) {
  row = ReaderFormat(fileName);
  return row && row->Reader ? row->Reader(LowerExtension(fileName).mid(1)) : nullptr;
}

// Why a file name selects no reader or no writer.
QString UnknownExtension(const QString& fileName, const char* what) {
  const QString ext = LowerExtension(fileName);
  if (ext.isEmpty()) return QStringLiteral("no extension to tell the format");
  return QStringLiteral("%1 \"%2\"").arg(QLatin1String(what), ext);
}

// The reason of a failure caught by the dispatch.
QString ReasonOf(const std::exception& e) {
  if (dynamic_cast<const std::bad_alloc*>(&e)) return QStringLiteral("not enough memory");
  return QString::fromUtf8(e.what());
}

// A file whose content carries another format's signature than the one its
// name selected (a PNG saved as ".jpg") is read by that format's reader,
// with the options set so far; `row` follows. Content that names no format,
// or the same one, keeps the reader.
void FollowContent(TBytes bytes, const TFormatDescriptor*& row, std::unique_ptr<TGraphic>& reader) {
  const std::optional<TPictureFormat> content = SignatureFormat(bytes);
  if (!content || *content == row->Format) return;
  std::unique_ptr<TGraphic> other = CreateReader(*content);
  if (!other) return;
  other->Options = reader->Options;
  reader = std::move(other);
  row = &DescriptorOf(*content);
}

// Decodes the whole file with the reader; a reader that gives no picture failed.
void Decode(TGraphic& reader, TBytes bytes) {
  // Said once here rather than by whichever reader the extension chose.
  if (bytes.empty()) throw EImageError("empty file");
  reader.LoadFromBytes(bytes);
  if (reader.Bitmap().Empty()) throw EImageError("no picture");
}

// Reads the file into the reader, with the stage events; 1 read, 0 vetoed.
int ReadPicture(TPictureFileContext& context, const TFormatDescriptor* row, std::unique_ptr<TGraphic> reader,
                const QString& fileName, TBitmap& bitmap) {
  bool cont = true;
  Notify(context, reader.get(), fileName, fsBeforeLoad, cont);
  if (!cont) return 0;
  const TFileBytes file(fileName);
  FollowContent(file.Bytes(), row, reader);
  reader->Options.QuickMode = false;
  reader->Options.ThumbnailOnly = false;
  reader->Options.JpegScale = 0;
  Decode(*reader, file.Bytes());
  Notify(context, reader.get(), fileName, fsAfterLoad, cont);
  if (!cont) return 0;
  if (context.WorkingLayout) {
    reader->Bitmap().SetPixelFormat(pf24bit);
    reader->Bitmap().Transparent = false;
  }
  bitmap.Assign(&reader->Bitmap());
  return 1;
}

}  // namespace

bool DecodePictureFile(const QString& fileName, TDecodedPicture& picture, const TCodecOptions& options) {
  try {
    const TFormatDescriptor* row = nullptr;
    std::unique_ptr<TGraphic> reader = ReaderFor(fileName, row);
    if (!reader) {
      picture.Error = UnknownExtension(fileName, "no reader for");
      return false;
    }
    const TFileBytes file(fileName);
    FollowContent(file.Bytes(), row, reader);
    reader->Options = options;
    Decode(*reader, file.Bytes());
    picture.Bitmap.Assign(&reader->Bitmap());
    picture.StoredFormat = reader->StoredFormat();
    return true;
  } catch (const std::exception& e) {
    // Like LoadPicture: any failure inside a reader, memory included, is a failed read.
    picture.Error = ReasonOf(e);
    return false;
  }
}

bool DecodePictureFile(const QString& fileName, TBitmap& bitmap, int jpegScale) {
  TCodecOptions options;
  options.JpegScale = jpegScale;
  TDecodedPicture picture;
  if (!DecodePictureFile(fileName, picture, options)) return false;
  bitmap = std::move(picture.Bitmap);
  return true;
}

std::unique_ptr<TGraphic> CreateReader(TPictureFormat format) {
  const TFormatDescriptor& row = DescriptorOf(format);
  if (!row.Reader) return nullptr;
  // A group's reader takes the coder of the group's first extension.
  const QString first = QString::fromLatin1(row.OpenExtensions).section(u';', 0, 0);
  return row.Reader(first);
}

std::unique_ptr<TGraphic> CreateWriter(const QString& fileName) {
  const TFormatDescriptor* row = WritableFormat(fileName);
  return row ? row->Writer() : nullptr;
}

std::array<TSaveFormat, 7> SaveFormats() {
  std::array<TSaveFormat, 7> formats;
  for (const TFormatDescriptor& row : PictureFormatTable())
    if (row.SaveIndex >= 0)
      formats[size_t(row.SaveIndex)] = TSaveFormat{QString::fromLatin1(row.SaveExtensions), DescriptionOf(row)};
  return formats;
}

std::vector<TRegistryEntry> OpenRegistry() {
  std::vector<TRegistryEntry> registry;
  for (const TFormatDescriptor& row : PictureFormatTable()) {
    const QString description = DescriptionOf(row);
    for (const QString& e : QString::fromLatin1(row.OpenExtensions).split(u';', Qt::SkipEmptyParts))
      registry.push_back(TRegistryEntry{e, description, row.Format});
  }
  return registry;
}

QString BuildOpenFilter() {
  struct Group {
    TPictureFormat reader;
    QString description;
    QStringList extensions;
  };
  std::vector<Group> groups;
  for (const TRegistryEntry& e : OpenRegistry()) {
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
  return LangText(lsCommonImages) + QLatin1Char('|') + CommonImagePatterns() + QLatin1Char('|') +
         LangText(lsAllImages) + QStringLiteral("|*.*|") + parts.join(u'|');
}

QString BuildSaveFilter() {
  QStringList parts;
  for (const TSaveFormat& f : SaveFormats()) {
    QString patterns = f.Extensions;
    patterns.replace(u'.', QStringLiteral("*."));
    parts.append(QStringLiteral("%1 (%2)|%2").arg(f.Description, patterns));
  }
  return parts.join(u'|');
}

int SaveFormatIndex(const QString& fileName) {
  const QString ext = LowerExtension(fileName);
  if (ext.isEmpty()) return -1;
  const std::array<TSaveFormat, 7> formats = SaveFormats();
  for (int i = int(formats.size()) - 1; i >= 0; --i)
    if (formats[size_t(i)].Extensions.contains(ext)) return i;
  return -1;
}

int LoadPicture(TPictureFileContext& context, const QString& fileName, TBitmap& bitmap) {
  if (fileName.isEmpty()) return 0;
  int result = -1;
  context.LastError.clear();
  try {
    const TFormatDescriptor* row = nullptr;
    if (std::unique_ptr<TGraphic> reader = ReaderFor(fileName, row))
      result = ReadPicture(context, row, std::move(reader), fileName, bitmap);
    else
      context.LastError = UnknownExtension(fileName, "no reader for");
  } catch (const std::exception& e) {
    result = -1;
    context.LastError = ReasonOf(e);
  }
  if (result < 0) ReportFailure(context, FileErrorText(LangText(lsLoadError)), fileName);
  return result;
}

TPicturePreview LoadPicturePreview(const QString& fileName) {
  TPicturePreview preview;
  try {
    const TFormatDescriptor* row = nullptr;
    std::unique_ptr<TGraphic> reader = ReaderFor(fileName, row);
    if (!reader) {
      preview.Error = UnknownExtension(fileName, "no reader for");
      return preview;
    }
    const TFileBytes file(fileName);
    FollowContent(file.Bytes(), row, reader);
    TCodecOptions& options = reader->Options;
    options.QuickMode = true;
    options.ThumbnailOnly = true;
    options.JpegScale = 0;
    if (row->Preview == TPreviewPolicy::ReducedScale) {
      ReadJpegSize(file.Bytes(), preview.Width, preview.Height);
      options.JpegScale = JpegScaleFor(preview.Width, preview.Height, 150);
    }
    // A preview must stay cheap: only a format decoded at a reduced scale or
    // read by its stored thumbnail may announce more pixels.
    if (row->Preview == TPreviewPolicy::Capped) options.PixelLimit = std::min(options.PixelLimit, PreviewPixelLimit);
    Decode(*reader, file.Bytes());
    int fullWidth = 0, fullHeight = 0;
    if (reader->PartialRead(fullWidth, fullHeight)) {
      preview.Width = fullWidth;
      preview.Height = fullHeight;
    }
    if (preview.Width <= 0 || preview.Height <= 0) {
      preview.Width = reader->Bitmap().Width();
      preview.Height = reader->Bitmap().Height();
    }
    preview.StoredFormat = row->ConvertsOnRead ? reader->StoredFormat() : reader->Bitmap().PixelFormat();
    preview.Picture = std::move(reader->Bitmap());
    preview.Ok = true;
  } catch (const std::exception& e) {
    preview.Error = ReasonOf(e);
  }
  return preview;
}

int SavePicture(TPictureFileContext& context, const QString& fileName, const TBitmap& bitmap) {
  if (fileName.isEmpty()) return 0;
  int result = -1;
  context.LastError.clear();
  try {
    if (std::unique_ptr<TGraphic> writer = CreateWriter(fileName)) {
      bool cont = true;
      writer->Options.Resolution = context.SaveResolution;
      Notify(context, writer.get(), fileName, fsBeforeSave, cont);
      if (cont) {
        writer->Bitmap().Assign(&bitmap);
        TByteBuffer bytes;
        writer->SaveToBytes(bytes);
        // The file being replaced survives a failed save.
        WriteFileAtomically(fileName, bytes);
        bool dummy = true;
        Notify(context, writer.get(), fileName, fsAfterSave, dummy);
        result = 1;
      } else {
        result = 0;
      }
    } else {
      context.LastError = UnknownExtension(fileName, "no writer for");
    }
  } catch (const std::exception& e) {
    result = -1;
    context.LastError = ReasonOf(e);
  }
  if (result < 0) ReportFailure(context, FileErrorText(LangText(lsSaveError)), fileName);
  return result;
}

bool ReadPictureHeader(TPictureFileContext& context, const QString& fileName, TPictureHeader& header) {
  context.LastError.clear();
  try {
    const TFormatDescriptor* row = nullptr;
    std::unique_ptr<TGraphic> reader = ReaderFor(fileName, row);
    if (!reader) {
      context.LastError = UnknownExtension(fileName, "no reader for");
      return false;
    }
    const TFileBytes file(fileName);
    if (file.Bytes().empty()) throw EImageError("empty file");
    if (reader->ReadHeader(file.Bytes(), header)) return true;
  } catch (const std::exception& e) {
    context.LastError = ReasonOf(e);
    return false;
  }
  // This reader cannot tell without decoding: a preview, kept cheap by its cap.
  const TPicturePreview preview = LoadPicturePreview(fileName);
  if (!preview.Ok) {
    context.LastError = preview.Error;
    return false;
  }
  header.Width = preview.Width;
  header.Height = preview.Height;
  header.BitsPerPixel = PixelFormatBits(preview.StoredFormat);
  return true;
}

int PixelFormatBits(TPixelFormat format) {
  switch (format) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf32bit: return 32;
    default: return 24;
  }
}
