#include "app/PathAndTextHelpers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <climits>

#include "app/InterfaceTexts.h"

namespace {

// SizeToText reads the unit names and the default locale: every test starts
// from the English texts and a point as decimal separator, and leaves both
// as it found them.
class FoncUtils : public testing::Test {
 protected:
  void SetUp() override {
    SetEnglishTexts();
    QLocale::setDefault(QLocale::c());
  }
  void TearDown() override {
    QLocale::setDefault(m_locale);
    SetFrenchTexts();
  }

 private:
  QLocale m_locale;
};

TEST_F(FoncUtils, SizeToText) {
  struct Case {
    qint64 size;
    const char* unrounded;
    const char* rounded;
  } cases[] = {
      {-5, "-5 byte", "-5 byte"},
      {0, "0 byte", "0 byte"},
      {1, "1 byte", "1 byte"},
      {2, "2 bytes", "2 bytes"},
      {1023, "1023 bytes", "1023 bytes"},
      {1024, "1.00 Kb", "1 Kb"},
      {1536, "1.50 Kb", "2 Kb"},
      {2560, "2.50 Kb", "2 Kb"},  // halves go to the even neighbour
      {3584, "3.50 Kb", "4 Kb"},
      {1047552, "1023.00 Kb", "1023 Kb"},
      {1048575, "1024.00 Kb", "1024 Kb"},
      {1048576, "1.00 Mb", "1 Mb"},
      {5 * 1048576 / 2, "2.50 Mb", "2 Mb"},
      {(qint64(1) << 30) - 1, "1024.00 Mb", "1024 Mb"},
      {qint64(1) << 30, "1.00 Gb", "1 Gb"},
      {qint64(3) << 29, "1.50 Gb", "2 Gb"},
      {qint64(5) << 40, "5120.00 Gb", "5120 Gb"},  // beyond 32 bits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    EXPECT_EQ(SizeToText(c.size, false), QString::fromUtf8(c.unrounded));
    EXPECT_EQ(SizeToText(c.size, true), QString::fromUtf8(c.rounded));
  }
}

TEST_F(FoncUtils, SizeToTextFollowsTheUnitNamesAndTheLocale) {
  SetFrenchTexts();
  EXPECT_EQ(SizeToText(1, true), QStringLiteral("1 octet"));
  EXPECT_EQ(SizeToText(1536, false), QStringLiteral("1.50 Ko"));
  QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
  EXPECT_EQ(SizeToText(1536, false), QStringLiteral("1,50 Ko"));
  // A locale's digit grouping is not applied.
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  EXPECT_EQ(SizeToText(1047552, false), QStringLiteral("1023.00 Ko"));
}

TEST_F(FoncUtils, TruncateText) {
  const QString thirty = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123");
  ASSERT_EQ(thirty.size(), 30);
  EXPECT_EQ(TruncateText(thirty, 30), thirty);
  EXPECT_EQ(TruncateText(thirty + QLatin1Char('4'), 30), thirty + QStringLiteral("..."));
  EXPECT_EQ(TruncateText(thirty, 3), QStringLiteral("abc..."));
  EXPECT_EQ(TruncateText(thirty, 0), QStringLiteral("..."));
  EXPECT_EQ(TruncateText(thirty, -4), QStringLiteral("..."));
  EXPECT_EQ(TruncateText(QString(), 0), QString());
  // A character outside the basic plane counts once and is never cut in two.
  const QString emoji = QString::fromUtf8(
      "a\xF0\x9F\x98\x80"
      "b");  // a, U+1F600, b
  EXPECT_EQ(TruncateText(emoji, 3), emoji);
  EXPECT_EQ(TruncateText(emoji, 2), QString::fromUtf8("a\xF0\x9F\x98\x80..."));
  EXPECT_EQ(TruncateText(emoji, 1), QStringLiteral("a..."));
}

TEST_F(FoncUtils, PathInFolder) {
  struct Case {
    const char* name;
    const char* folder;
    const char* expected;
  } cases[] = {
      {"", "/home/ann", ""},
      {"/home/ann/pictures/cat.jpg", "", "cat.jpg"},
      {"/home/ann/pictures/cat.jpg", "/tmp", "/tmp/cat.jpg"},
      {"/home/ann/pictures/cat.jpg", "/tmp/", "/tmp/cat.jpg"},
      {"cat.jpg", "/", "/cat.jpg"},
      {"cat.jpg", "saved", "saved/cat.jpg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " in " + c.folder);
    EXPECT_EQ(PathInFolder(QString::fromUtf8(c.name), QString::fromUtf8(c.folder)), QString::fromUtf8(c.expected));
  }
}

TEST_F(FoncUtils, FilterField) {
  const QString filter = QStringLiteral("Common images|*.jpg;*.png|All images|*.*|BMP|*.bmp");
  struct Case {
    int index;
    bool pattern;
    const char* expected;
  } cases[] = {
      {1, false, "Common images"}, {1, true, "*.jpg;*.png"},     {2, false, "All images"},
      {3, true, "*.bmp"},          {4, false, "*.bmp"},          {INT_MAX, true, "*.bmp"},
      {0, true, "Common images"},  {-3, false, "Common images"}, {INT_MIN, true, "Common images"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.index << (c.pattern ? " pattern" : " description"));
    EXPECT_EQ(FilterField(filter, c.index, c.pattern), QString::fromUtf8(c.expected));
  }
  EXPECT_EQ(FilterField(QString(), 1, true), QString());
  EXPECT_EQ(FilterField(QStringLiteral("BMP|*.bmp|"), 2, false), QString());
  EXPECT_EQ(FilterField(QStringLiteral("BMP"), 1, true), QStringLiteral("BMP"));
}

TEST_F(FoncUtils, MaskToExt) {
  struct Case {
    const char* mask;
    const char* expected;
  } cases[] = {
      {"*.jpg;*.jpeg", ".jpg"}, {"*.*", ".*"},     {"bmp", ".bmp"}, {"", ""},
      {"*.tif;*.tiff", ".tif"}, {"a.b.c", ".b.c"}, {";*.jpg", "."}, {"*.png;", ".png"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mask);
    EXPECT_EQ(MaskToExt(QString::fromUtf8(c.mask)), QString::fromUtf8(c.expected));
  }
}

// A small folder made at test time:
//   dir/Photo.JPG (5 bytes), dir/empty.bin, dir/sub/, dir/link.jpg -> Photo.JPG,
//   dir/sublink -> sub
class FoncUtilsFiles : public FoncUtils {
 protected:
  void SetUp() override {
    FoncUtils::SetUp();
    ASSERT_TRUE(m_tmp.isValid());
    m_dir = QFileInfo(m_tmp.path()).canonicalFilePath();
    ASSERT_FALSE(m_dir.isEmpty());
    QFile photo(Path("Photo.JPG"));
    ASSERT_TRUE(photo.open(QIODevice::WriteOnly));
    ASSERT_EQ(photo.write("12345", 5), 5);
    photo.close();
    QFile empty(Path("empty.bin"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    ASSERT_TRUE(QDir(m_dir).mkdir(QStringLiteral("sub")));
    ASSERT_TRUE(QFile::link(QStringLiteral("Photo.JPG"), Path("link.jpg")));
    ASSERT_TRUE(QFile::link(QStringLiteral("sub"), Path("sublink")));
  }
  QString Path(const char* relative) const { return m_dir + QLatin1Char('/') + QString::fromUtf8(relative); }

  QTemporaryDir m_tmp;
  QString m_dir;
};

TEST_F(FoncUtilsFiles, LongFileName) {
  struct Case {
    QString path;
    QString expected;
  } cases[] = {
      {Path("Photo.JPG"), Path("Photo.JPG")},
      {Path("sub/../Photo.JPG"), Path("Photo.JPG")},
      {Path("./sub/./../Photo.JPG"), Path("Photo.JPG")},
      // The folder part is resolved, the entry keeps its own name.
      {Path("sublink/../Photo.JPG"), Path("Photo.JPG")},
      {Path("link.jpg"), Path("link.jpg")},
      {Path("sub/"), Path("sub")},
      {Path("sub/.."), m_dir},
      // Not found: unchanged.
      {Path("photo.jpg"), Path("photo.jpg")},
      {Path("missing/Photo.JPG"), Path("missing/Photo.JPG")},
      {QStringLiteral("no-such-file-here.jpg"), QStringLiteral("no-such-file-here.jpg")},
      {QString(), QString()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.toStdString());
    EXPECT_EQ(LongFileName(c.path), c.expected);
  }
  // A relative name is found from the current folder.
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(Path("sub")));
  EXPECT_EQ(LongFileName(QStringLiteral("../Photo.JPG")), Path("Photo.JPG"));
  ASSERT_TRUE(QDir::setCurrent(previous));
}

TEST_F(FoncUtilsFiles, FileSizeOf) {
  EXPECT_EQ(FileSizeOf(Path("Photo.JPG")), 5);
  EXPECT_EQ(FileSizeOf(Path("link.jpg")), 5);
  EXPECT_EQ(FileSizeOf(Path("empty.bin")), 0);
  EXPECT_EQ(FileSizeOf(Path("missing.bin")), -1);
  EXPECT_EQ(FileSizeOf(Path("sub")), -1);
  EXPECT_EQ(FileSizeOf(QString()), -1);
  // A named pipe without a writer must neither block nor report a size.
  ASSERT_EQ(::mkfifo(Path("pipe").toLocal8Bit().constData(), 0600), 0);
  EXPECT_EQ(FileSizeOf(Path("pipe")), -1);
  if (::geteuid() != 0) {  // root reads whatever the permissions say
    ASSERT_EQ(::chmod(Path("Photo.JPG").toLocal8Bit().constData(), 0), 0);
    EXPECT_EQ(FileSizeOf(Path("Photo.JPG")), -1);
  }
}

}  // namespace
