#include "imagefiles/PictureInfo.h"

#include "imagefiles/PictureFormats.h"

QString ColorDepthText(const QString& fileName, TPixelFormat storedFormat) {
  if (const QString ext = LowerExtension(fileName); !ext.isEmpty())
    if (const TFormatDescriptor* row = ReadableFormat(QStringView(ext).mid(1))) {
      if (row->Depth == TDepthLabel::EightBits) return QStringLiteral("8 bits");
      if (row->Depth == TDepthLabel::Description) return DescriptionOf(*row);
    }
  switch (storedFormat) {
    case pf1bit: return QStringLiteral("1 bit");
    case pf4bit: return QStringLiteral("4 bits");
    case pf8bit: return QStringLiteral("8 bits");
    case pf32bit: return QStringLiteral("32 bits");
    default: return QStringLiteral("24 bits");
  }
}

QString BitsText(int bits) { return bits == 1 ? QStringLiteral("1 bit") : QStringLiteral("%1 bits").arg(bits); }
