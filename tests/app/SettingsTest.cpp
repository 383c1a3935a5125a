#include "app/Settings.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <utility>

#include "app/IniFile.h"
#include "app/IniFileFixture.h"

namespace {

class SettingsValue : public IniFileFixture {
 protected:
  void Save(const TSettings& s) const {
    IniFile ini(Path());
    s.Save(ini);
    ASSERT_TRUE(ini.UpdateFile());
  }
  TSettings Load() const { return TSettings::Load(IniFile(Path())); }
  QString Folder() const { return m_tmp.path(); }
};

// Every setting away from its default comes back as it was saved, in the
// exact file the program has always written.
TEST_F(SettingsValue, RoundTripInTheFileAsAlwaysWritten) {
  TSettings s;
  s.ThumbnailsFolder = Folder();
  s.OpenFolder = Folder() + QLatin1Char('/');
  s.Maximized = true;
  s.PreviewEnabled = true;
  s.CellSize = 40;
  s.CheckSize = false;
  s.Antialias = false;
  s.MatchColours = true;
  s.CropSquare = true;
  s.Inches = true;
  s.RecentFiles = {QStringLiteral("/p/b.png"), QStringLiteral("/p/a.jpg")};
  Save(s);
  const QString f = Folder() + QLatin1Char('/');
  EXPECT_EQ(QString::fromUtf8(ReadRaw()), QStringLiteral("[Params]\nThumbnails=%1\nOpen=%1\nSave=\nMaximized=1\n"
                                                         "Preview=1\nThumbSize=40\nCheckSize=0\nAntialias=0\n"
                                                         "MatchColours=1\nCropSquare=1\nUnit=1\n[Files]\n"
                                                         "File1=/p/b.png\nFile2=/p/a.jpg\n")
                                              .arg(f));
  TSettings expected = s;
  expected.ThumbnailsFolder = f;  // stored with its trailing "/"
  EXPECT_EQ(Load(), expected);
}

// A hand-edited file saved twice over: the bytes are those the window wrote
// before the settings were one value (taken from that code run on the same
// file): keys replaced where they stand, new ones after the section's last
// entry, the options beyond the original ones written only while on, names
// holding a line break left out, at most four recent files, stale ones gone.
TEST_F(SettingsValue, AHandEditedFileIsWrittenAsBefore) {
  WriteRaw(
      "; my settings\n[Params]\nopen = /old/\nUnit=0\nMatchColours=1\nColour=blue\n\n[Other]\nx=1\n"
      "[Files]\nFile1=/p/gone.png\nFile3=/p/stale.png\n");
  TSettings first;
  first.ThumbnailsFolder = QStringLiteral("/thumbs");
  first.OpenFolder = QStringLiteral("/photos/");
  first.PreviewEnabled = true;
  first.CellSize = 15;
  first.Antialias = false;
  first.CropSquare = true;
  first.Inches = true;
  first.RecentFiles = {"/p/new.png", "/p/two\nlines.png", "/p/Old.png", "/p/old.png", "/p/x.png", "/p/y.png"};
  TSettings second;
  second.ThumbnailsFolder = QStringLiteral("/t");
  second.OpenFolder = QStringLiteral("/o");
  second.SaveFolder = QStringLiteral("/s/");
  second.Maximized = true;
  second.CellSize = 40;
  second.CheckSize = false;
  second.MatchColours = true;
  second.RecentFiles = {QStringLiteral("/q/a.png")};
  const std::pair<const TSettings*, QByteArray> saves[] = {
      {&first,
       "; my settings\n[Params]\nOpen=/photos/\nUnit=1\nColour=blue\nThumbnails=/thumbs/\nSave=\nMaximized=0\n"
       "Preview=1\nThumbSize=15\nCheckSize=1\nAntialias=0\nCropSquare=1\n\n[Other]\nx=1\n"
       "[Files]\nFile1=/p/new.png\nFile3=/p/old.png\nFile2=/p/Old.png\nFile4=/p/x.png\n"},
      {&second,
       "; my settings\n[Params]\nOpen=/o/\nUnit=0\nColour=blue\nThumbnails=/t/\nSave=/s/\nMaximized=1\n"
       "Preview=0\nThumbSize=40\nCheckSize=0\nAntialias=1\nMatchColours=1\n\n[Other]\nx=1\n"
       "[Files]\nFile1=/q/a.png\n"},
  };
  for (const auto& [settings, expected] : saves) {
    SCOPED_TRACE(settings == &first ? "first" : "second");
    Save(*settings);
    EXPECT_EQ(ReadRaw(), expected);
  }
}

// What each value in the file reads as; "%1" stands for a folder that exists.
TEST_F(SettingsValue, ReadingRules) {
  struct Case {
    const char* text;
    void (*expect)(TSettings&);  // from the defaults to what is read
  };
  const Case cases[] = {
      {"", [](TSettings&) {}},
      // Text that is not an int reads as 15, a number not one of the sizes as 10.
      {"[Params]\nThumbSize=abc", [](TSettings& s) { s.CellSize = 15; }},
      {"[Params]\nThumbSize=99999999999", [](TSettings& s) { s.CellSize = 15; }},
      {"[Params]\nThumbSize=", [](TSettings& s) { s.CellSize = 15; }},
      {"[Params]\nThumbSize=25", [](TSettings& s) { s.CellSize = 10; }},
      {"[Params]\nThumbSize=0", [](TSettings& s) { s.CellSize = 10; }},
      {"[Params]\nThumbSize=10", [](TSettings& s) { s.CellSize = 10; }},
      {"[Params]\nThumbSize=15", [](TSettings& s) { s.CellSize = 15; }},
      {"[Params]\nThumbSize=40", [](TSettings& s) { s.CellSize = 40; }},
      {"[Params]\nThumbSize=ERR!", [](TSettings&) {}},
      // The options on by default go off only for "0", the others come on only for "1".
      {"[Params]\nCheckSize=\nAntialias=no", [](TSettings&) {}},
      {"[Params]\nCheckSize=0\nAntialias=0",
       [](TSettings& s) {
         s.CheckSize = false;
         s.Antialias = false;
       }},
      {"[Params]\nMaximized=yes\nPreview=true\nMatchColours=on\nCropSquare=2\nUnit=2", [](TSettings&) {}},
      {"[params]\nmaximized=1\nPREVIEW=1\nMatchColours=1\ncropsquare=1\nUnit=1",
       [](TSettings& s) { s.Maximized = s.PreviewEnabled = s.MatchColours = s.CropSquare = s.Inches = true; }},
      // The mosaic options: out of range or not a number reads as the default.
      {"[Params]\nTintLimit=101\nRepeatDistance=-1\nMaxUses=x\nScale=9\nTintMode=light\nRecursive=2\nUseAll=yes",
       [](TSettings&) {}},
      {"[Params]\nTintLimit=abc\nRepeatDistance=26\nMaxUses=-3\nScale=0\nTileAspect=", [](TSettings&) {}},
      {"[Params]\nTintLimit=7\nRepeatDistance=12\nMaxUses=40\nScale=3\nTintMode=whole\nRecursive=1\nUseAll=1\n"
       "TileAspect=3:2",
       [](TSettings& s) {
         s.TintLimit = 7;
         s.RepeatDistance = 12;
         s.MaxUses = 40;
         s.Scale = 3;
         s.TintWhole = s.Recursive = s.UseAll = true;
         s.TileAspect = QStringLiteral("3:2");
       }},
      // A folder is taken only while it exists, as written.
      {"[Params]\nOpen=%1\nSave=%1/gone/\nThumbnails=ERR!", [](TSettings& s) { s.OpenFolder = "%1"; }},
      {"[Params]\nOpen=\nSave=%1/\nThumbnails=%1",
       [](TSettings& s) {
         s.SaveFolder = "%1/";
         s.ThumbnailsFolder = "%1";
       }},
      // Recent files: gaps, "ERR!" and exact repeats are skipped; four keys at most.
      {"[Files]\nFile1=ERR!\nFile2=/a.png\nFile3=\nFile4=/a.png\nFile5=/e.png",
       [](TSettings& s) { s.RecentFiles = {"/a.png"}; }},
      {"[files]\nfile4=/d.png\nFILE2=/b.png\nFile1=/a.png\nFile3=/A.png",
       [](TSettings& s) {
         s.RecentFiles = {"/a.png", "/b.png", "/A.png", "/d.png"};
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    WriteRaw(QString::fromUtf8(c.text).replace(QStringLiteral("%1"), Folder()).toUtf8());
    TSettings expected;
    c.expect(expected);
    for (QString* folder : {&expected.OpenFolder, &expected.SaveFolder, &expected.ThumbnailsFolder})
      folder->replace(QStringLiteral("%1"), Folder());
    EXPECT_EQ(Load(), expected);
  }
}

// The options of "Mosaic options...": each away from its default writes its
// own key after the others and reads back; back at its default, the key goes
// and the file is the one written with every default, byte for byte.
TEST_F(SettingsValue, MosaicOptionsAreKeptOnlyAwayFromTheirDefaults) {
  Save(TSettings());
  const QByteArray plain = ReadRaw();
  struct Case {
    const char* line;
    void (*set)(TSettings&);
  };
  const Case cases[] = {
      {"Recursive=1", [](TSettings& s) { s.Recursive = true; }},
      {"TintLimit=0", [](TSettings& s) { s.TintLimit = 0; }},
      {"TintLimit=100", [](TSettings& s) { s.TintLimit = 100; }},
      {"TintMode=whole", [](TSettings& s) { s.TintWhole = true; }},
      {"RepeatDistance=0", [](TSettings& s) { s.RepeatDistance = 0; }},
      {"RepeatDistance=25", [](TSettings& s) { s.RepeatDistance = 25; }},
      {"MaxUses=2", [](TSettings& s) { s.MaxUses = 2; }},
      {"UseAll=1", [](TSettings& s) { s.UseAll = true; }},
      {"TileAspect=9:16", [](TSettings& s) { s.TileAspect = QStringLiteral("9:16"); }},
      {"Scale=8", [](TSettings& s) { s.Scale = 8; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    TSettings s;
    c.set(s);
    Save(s);
    // The file holds [Params] only: a new key ends it.
    EXPECT_EQ(ReadRaw(), plain + c.line + '\n');
    EXPECT_EQ(Load(), s);
    Save(TSettings());
    EXPECT_EQ(ReadRaw(), plain);
  }
}

// A hand-edited file that names a key twice: switching the option off, or
// choosing another value, leaves no copy that would bring it back.
TEST_F(SettingsValue, KeysNamedTwiceLeaveNoOldCopy) {
  WriteRaw(
      "[Params]\nMatchColours=1\nCheckSize=1\nMatchColours=1\nCheckSize=1\nCropSquare=1\n"
      "[Files]\nFile1=/a.png\nFile2=/b.png\nFile1=/a.png\n");
  TSettings s = Load();
  ASSERT_TRUE(s.MatchColours);
  s.MatchColours = false;
  s.CheckSize = false;
  s.RecentFiles = {QStringLiteral("/c.png")};
  Save(s);
  const QByteArray text = ReadRaw();
  EXPECT_FALSE(text.contains("MatchColours")) << text.constData();
  EXPECT_EQ(text.count("CheckSize="), 1) << text.constData();
  EXPECT_EQ(text.count("File1="), 1) << text.constData();
  EXPECT_FALSE(text.contains("/a.png")) << text.constData();
  const TSettings again = Load();
  EXPECT_FALSE(again.MatchColours);
  EXPECT_FALSE(again.CheckSize);
  EXPECT_EQ(again.RecentFiles, QStringList{QStringLiteral("/c.png")});
}

// Names that differ only in letter case are two files on this system: both
// survive a restart; an exact repeat is dropped.
TEST_F(SettingsValue, RecentFilesDifferingInCaseBothSurvive) {
  TSettings s;
  s.RecentFiles = {QStringLiteral("/tmp/A.png"), QStringLiteral("/tmp/a.png")};
  Save(s);
  EXPECT_EQ(Load().RecentFiles, s.RecentFiles);
  WriteRaw("[Files]\nFile1=/tmp/A.png\nFile2=/tmp/A.png\nFile3=/tmp/a.png\n");
  EXPECT_EQ(Load().RecentFiles, s.RecentFiles);
}

}  // namespace
