// File names carried exactly between the system's bytes and our strings.
#include <gtest/gtest.h>

#include "app/FileNames.h"

TEST(FileNames, EveryByteNameComesBackAsItWas) {
  struct Case {
    const char* label;
    QByteArray bytes;
    QString decoded;  // empty: only the round trip is checked
  } cases[] = {
      {"ascii", "photo.png", QStringLiteral("photo.png")},
      {"utf-8", "caf\xc3\xa9.png", QStringLiteral(u"caf\u00e9.png")},
      {"four-byte utf-8", "\xf0\x9f\x99\x82.png", QStringLiteral(u"\U0001F642.png")},
      {"latin-1 e acute", "caf\xe9.png", QStringLiteral(u"caf\xdce9.png")},
      {"overlong slash", "a\xc0\xaf", QStringLiteral(u"a\xdcc0\xdcaf")},
      {"encoded surrogate", "\xed\xb3\xa9", QStringLiteral(u"\xdced\xdcb3\xdca9")},
      {"cut sequence", "\xe2\x82", QStringLiteral(u"\xdce2\xdc82")},
      {"above U+10FFFF", "\xf4\x90\x80\x80", QString()},
      {"every high byte",
       [] {
         QByteArray all;
         for (int b = 0x80; b <= 0xFF; ++b) all.append(char(b));
         return all;
       }(),
       QString()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const QString name = DecodeFileName(c.bytes);
    if (!c.decoded.isEmpty()) {
      EXPECT_EQ(name, c.decoded);
    }
    EXPECT_EQ(EncodeFileName(name), c.bytes);
  }
  // Ordinary text encodes as UTF-8, and a stray surrogate no name decodes to
  // as Qt writes it.
  EXPECT_EQ(EncodeFileName(QStringLiteral(u"\u00e9t\u00e9")), QStringLiteral(u"\u00e9t\u00e9").toUtf8());
  EXPECT_EQ(EncodeFileName(QString(QChar(0xD800))), QByteArray("\xef\xbf\xbd"));
}
