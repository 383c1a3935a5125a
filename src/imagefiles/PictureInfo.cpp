#include "imagefiles/PictureInfo.h"

#include <QFileInfo>

#include "app/LibLang.h"
#include "imagefiles/TiffUtils.h"

QString ColorDepthText(const QString& fileName, TPixelFormat storedFormat) {
  const QString ext = QFileInfo(fileName).suffix().toLower();
  if (ext == u"gif") return QStringLiteral("8 bits");
  if (ext == u"ico") return LangText(lsIcon);
  if (ext == u"emf" || ext == u"wmf") return QStringLiteral("Metafile");
  if (ext == u"bki") return LangText(lsImageFile);
  if (ext == u"bks") return LangText(lsSelectionFile);
  switch (storedFormat) {
    case pf1bit: return QStringLiteral("1 bit");
    case pf4bit: return QStringLiteral("4 bits");
    case pf8bit: return QStringLiteral("8 bits");
    case pf32bit: return QStringLiteral("32 bits");
    default: return QStringLiteral("24 bits");
  }
}

TPixelFormat PreviewFormatOf(const QString& fileName, const TBitmap& preview) {
  return IsTiffFile(fileName) ? TPixelFormat(LastTiffFormat) : preview.PixelFormat();
}
