#include "app/FileNames.h"

namespace {

constexpr char16_t EscapeBase = 0xDC00;

void AppendUtf8(QByteArray& out, char32_t c) {
  if (c < 0x80) {
    out.append(char(c));
  } else if (c < 0x800) {
    out.append(char(0xC0 | (c >> 6)));
    out.append(char(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.append(char(0xE0 | (c >> 12)));
    out.append(char(0x80 | ((c >> 6) & 0x3F)));
    out.append(char(0x80 | (c & 0x3F)));
  } else {
    out.append(char(0xF0 | (c >> 18)));
    out.append(char(0x80 | ((c >> 12) & 0x3F)));
    out.append(char(0x80 | ((c >> 6) & 0x3F)));
    out.append(char(0x80 | (c & 0x3F)));
  }
}

// The code point of the well-formed UTF-8 sequence at p (shortest form, no
// surrogate, at most U+10FFFF) and its length; 0 when there is none.
int Utf8Sequence(const unsigned char* p, qsizetype left, char32_t& c) {
  int length;
  char32_t least;
  if ((p[0] & 0xE0) == 0xC0) {
    length = 2, c = p[0] & 0x1F, least = 0x80;
  } else if ((p[0] & 0xF0) == 0xE0) {
    length = 3, c = p[0] & 0x0F, least = 0x800;
  } else if ((p[0] & 0xF8) == 0xF0) {
    length = 4, c = p[0] & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (left < length) return 0;
  for (int k = 1; k < length; ++k) {
    if ((p[k] & 0xC0) != 0x80) return 0;
    c = (c << 6) | (p[k] & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

QString DecodeFileName(const QByteArray& bytes) {
  QString name;
  name.reserve(bytes.size());
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
  const qsizetype n = bytes.size();
  for (qsizetype i = 0; i < n;) {
    if (p[i] < 0x80) {
      name.append(QChar(char16_t(p[i++])));
      continue;
    }
    char32_t c = 0;
    if (const int length = Utf8Sequence(p + i, n - i, c)) {
      if (c >= 0x10000) {
        name.append(QChar(QChar::highSurrogate(c)));
        name.append(QChar(QChar::lowSurrogate(c)));
      } else {
        name.append(QChar(char16_t(c)));
      }
      i += length;
    } else {
      name.append(QChar(char16_t(EscapeBase + p[i++])));
    }
  }
  return name;
}

QByteArray EncodeFileName(const QString& name) {
  QByteArray bytes;
  bytes.reserve(name.size() * 3);
  const qsizetype n = name.size();
  for (qsizetype i = 0; i < n; ++i) {
    const char16_t u = name[i].unicode();
    if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(name[i + 1].unicode())) {
      AppendUtf8(bytes, QChar::surrogateToUcs4(u, name[++i].unicode()));
    } else if (u >= EscapeBase + 0x80 && u <= EscapeBase + 0xFF) {
      bytes.append(char(u - EscapeBase));  // an escaped byte
    } else if (QChar::isSurrogate(u)) {
      AppendUtf8(bytes, 0xFFFD);  // not from a name: as Qt writes it
    } else {
      AppendUtf8(bytes, u);
    }
  }
  return bytes;
}
