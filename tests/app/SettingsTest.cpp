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
  void Save(const TSettings& s, const TSettings::TPlaceWriter& others = {}) const {
    IniFile ini(Path());
    s.Save(ini, others);
    ASSERT_TRUE(ini.UpdateFile());
  }
  TSettings Load() const { return TSettings::Load(IniFile(Path())); }
  QString Folder() const { return m_tmp.path(); }
};

// Every setting away from its default comes back as it was saved; another
// value's keys go at their three places among the window's, as the program
// has always ordered them in a fresh file.
TEST_F(SettingsValue, RoundTripWithAnotherValuesKeysInTheirPlaces) {
  TSettings s;
  s.OpenFolder = Folder() + QLatin1Char('/');
  s.SaveFolder = Folder();
  s.Maximized = true;
  s.PreviewEnabled = true;
  s.Inches = true;
  s.RecentFiles = {QStringLiteral("/p/b.png"), QStringLiteral("/p/a.jpg")};
  Save(s, [](IniFile& ini, TSettingsPlace place) {
    const char* key = place == TSettingsPlace::First          ? "First"
                      : place == TSettingsPlace::AfterPreview ? "AfterPreview"
                                                              : "AfterUnit";
    TSettings::WriteParam(ini, QLatin1String(key), QStringLiteral("x"));
  });
  const QString f = Folder() + QLatin1Char('/');
  EXPECT_EQ(QString::fromUtf8(ReadRaw()), QStringLiteral("[Params]\nFirst=x\nOpen=%1\nSave=%1\nMaximized=1\n"
                                                         "Preview=1\nAfterPreview=x\nUnit=1\nAfterUnit=x\n[Files]\n"
                                                         "File1=/p/b.png\nFile2=/p/a.jpg\n")
                                              .arg(f));
  TSettings expected = s;
  expected.SaveFolder = f;  // stored with its trailing "/"
  EXPECT_EQ(Load(), expected);
}

// What each value in the file reads as; "%1" stands for a folder that exists.
TEST_F(SettingsValue, ReadingRules) {
  struct Case {
    const char* text;
    void (*expect)(TSettings&);  // from the defaults to what is read
  };
  const Case cases[] = {
      {"", [](TSettings&) {}},
      // The options come on only for "1".
      {"[Params]\nMaximized=yes\nPreview=true\nUnit=2", [](TSettings&) {}},
      {"[params]\nmaximized=1\nPREVIEW=1\nUnit=1",
       [](TSettings& s) { s.Maximized = s.PreviewEnabled = s.Inches = true; }},
      // A folder is taken only while it exists, as written.
      {"[Params]\nOpen=%1\nSave=%1/gone/", [](TSettings& s) { s.OpenFolder = "%1"; }},
      {"[Params]\nOpen=\nSave=%1/", [](TSettings& s) { s.SaveFolder = "%1/"; }},
      {"[Params]\nOpen=ERR!\nSave=%1/", [](TSettings& s) { s.SaveFolder = "%1/"; }},
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
    for (QString* folder : {&expected.OpenFolder, &expected.SaveFolder})
      folder->replace(QStringLiteral("%1"), Folder());
    EXPECT_EQ(Load(), expected);
  }
}

// The rules another value's keys follow: a missing key, or one holding
// "ERR!", reads as none; none written removes every copy of the key.
TEST_F(SettingsValue, TheRulesForAnotherValuesKeys) {
  WriteRaw("[Params]\nA=ERR!\nB=\nC= 7 \nD=1\nd=2\n");
  const IniFile ini(Path());
  EXPECT_EQ(TSettings::ReadParam(ini, QStringLiteral("A")), std::nullopt);
  EXPECT_EQ(TSettings::ReadParam(ini, QStringLiteral("B")), QString());
  EXPECT_EQ(TSettings::ReadParam(ini, QStringLiteral("C")), QStringLiteral("7"));
  EXPECT_EQ(TSettings::ReadParam(ini, QStringLiteral("missing")), std::nullopt);
  IniFile edited(Path());
  TSettings::WriteParam(edited, QStringLiteral("D"), std::nullopt);
  TSettings::WriteParam(edited, QStringLiteral("B"), QStringLiteral("5"));
  ASSERT_TRUE(edited.UpdateFile());
  EXPECT_EQ(ReadRaw(), QByteArray("[Params]\nA=ERR!\nB=5\nC= 7 \n"));
  EXPECT_EQ(TSettings::FolderText(QStringLiteral("/a/b")), QStringLiteral("/a/b/"));
  EXPECT_EQ(TSettings::FolderText(QStringLiteral("/a/b/")), QStringLiteral("/a/b/"));
  EXPECT_EQ(TSettings::FolderText(QString()), QString());
  EXPECT_EQ(TSettings::ExistingFolder(Folder()), Folder());
  EXPECT_EQ(TSettings::ExistingFolder(Folder() + QStringLiteral("/gone")), QString());
  EXPECT_EQ(TSettings::ExistingFolder(Path()), QString());  // a file, not a folder
}

// A hand-edited file that names a key twice: a new list of recent files
// leaves no copy that would bring an old one back.
TEST_F(SettingsValue, KeysNamedTwiceLeaveNoOldCopy) {
  WriteRaw("[Params]\nUnit=1\nUnit=1\n[Files]\nFile1=/a.png\nFile2=/b.png\nFile1=/a.png\n");
  TSettings s = Load();
  ASSERT_TRUE(s.Inches);
  s.Inches = false;
  s.RecentFiles = {QStringLiteral("/c.png")};
  Save(s);
  const QByteArray text = ReadRaw();
  EXPECT_EQ(text.count("Unit="), 1) << text.constData();
  EXPECT_EQ(text.count("File1="), 1) << text.constData();
  EXPECT_FALSE(text.contains("/a.png")) << text.constData();
  const TSettings again = Load();
  EXPECT_FALSE(again.Inches);
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
