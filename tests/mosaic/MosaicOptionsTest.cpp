#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "app/IniFile.h"
#include "app/Settings.h"

namespace {

// The settings file as the window writes it, compared byte for byte with
// files kept under tests/data/settings/ (written by the program before the
// mosaic's options became one value): keys in their order in a fresh file,
// replaced in place in an existing one, new ones after the section's last
// entry, the options beyond the original ones only while away from their
// defaults.
class SettingsFile : public ::testing::Test {
 protected:
  QString Path() const { return m_tmp.filePath(QStringLiteral("Tesselune.ini")); }
  void WriteRaw(const QByteArray& bytes) const {
    QFile f(Path());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }
  QByteArray ReadRaw() const {
    QFile f(Path());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  static QByteArray Expected(const char* name) {
    QFile f(QStringLiteral(TESSELUNE_TEST_DATA "/settings/") + QString::fromLatin1(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    return f.readAll();
  }
  void Save(void (*fill)(TSettings&)) const {
    TSettings s;
    fill(s);
    IniFile ini(Path());
    s.Save(ini);
    ASSERT_TRUE(ini.UpdateFile());
  }
  QTemporaryDir m_tmp;
};

// What the window holds at its first start: only the folder chosen.
void Defaults(TSettings& s) { s.ThumbnailsFolder = QStringLiteral("/home/u/Thumbnails"); }

// Every setting away from its default, the numbers at their bounds.
void EveryOneChanged(TSettings& s) {
  s.ThumbnailsFolder = QStringLiteral("/data/photos");
  s.OpenFolder = QStringLiteral("/o");
  s.SaveFolder = QStringLiteral("/s/");
  s.Maximized = true;
  s.PreviewEnabled = true;
  s.CellSize = 10;
  s.CheckSize = false;
  s.Antialias = false;
  s.MatchColours = true;
  s.CropSquare = true;
  s.Inches = true;
  s.Recursive = true;
  s.TintLimit = 0;
  s.TintWhole = true;
  s.RepeatDistance = 25;
  s.MaxUses = 1000000000;
  s.UseAll = true;
  s.TileAspect = QStringLiteral("16:9");
  s.Scale = 8;
  s.RecentFiles = {QStringLiteral("/p/b.png"), QStringLiteral("/p/a.jpg")};
}

// A few of the mosaic's options changed, the rest at their defaults.
void SomeChanged(TSettings& s) {
  s.ThumbnailsFolder = QStringLiteral("/t");
  s.CellSize = 15;
  s.MatchColours = true;
  s.TintLimit = 60;
  s.RepeatDistance = 0;
  s.TileAspect = QStringLiteral("3:4");
  s.Scale = 2;
  s.RecentFiles = {QStringLiteral("/q/c.png")};
}

TEST_F(SettingsFile, AFreshFileIsWrittenAsBefore) {
  const std::pair<void (*)(TSettings&), const char*> cases[] = {
      {Defaults, "fresh-defaults.ini"},
      {EveryOneChanged, "fresh-every-one-changed.ini"},
      {SomeChanged, "fresh-some-changed.ini"},
  };
  for (const auto& [fill, expected] : cases) {
    SCOPED_TRACE(expected);
    QFile::remove(Path());
    Save(fill);
    EXPECT_EQ(ReadRaw(), Expected(expected));
  }
}

// A hand-edited file (keys in lower case, out of order, one twice, a key and
// a section the program does not know) saved over and over.
TEST_F(SettingsFile, AnExistingFileIsWrittenAsBefore) {
  WriteRaw(Expected("edited.ini"));
  const std::pair<void (*)(TSettings&), const char*> saves[] = {
      {SomeChanged, "edited-then-some-changed.ini"},
      {EveryOneChanged, "edited-then-every-one-changed.ini"},
      {Defaults, "edited-then-defaults.ini"},
  };
  for (const auto& [fill, expected] : saves) {
    SCOPED_TRACE(expected);
    Save(fill);
    EXPECT_EQ(ReadRaw(), Expected(expected));
  }
}

}  // namespace
