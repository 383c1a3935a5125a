#include "app/Settings.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

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
