#include "app/IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "app/IniFileFixture.h"

namespace {

using IniFileTest = IniFileFixture;

TEST_F(IniFileTest, MissingFileReadsAsEmpty) {
  IniFile ini(Path());
  EXPECT_EQ(ini.ReadString("Params", "Open", "ERR!"), "ERR!");
}

TEST_F(IniFileTest, NamesIgnoreCaseAndValuesAreTrimmedButRaw) {
  WriteRaw(
      "[params]\n"
      "  ThumbSize =  40 \n"
      "Open=\"C:\\Photos\\\" ; not a comment\n"
      "Empty=\n"
      "[Files]\r\n"
      "FILE1=/home/a/b.jpg\r\n");
  IniFile ini(Path());
  EXPECT_EQ(ini.ReadString("PARAMS", "thumbsize", "ERR!"), "40");
  EXPECT_EQ(ini.ReadString("Params", "Open", "ERR!"), "\"C:\\Photos\\\" ; not a comment");
  EXPECT_EQ(ini.ReadString("Params", "Empty", "ERR!"), "");
  EXPECT_EQ(ini.ReadString("Files", "File1", "ERR!"), "/home/a/b.jpg");
  // A key of another section is not found in this one.
  EXPECT_EQ(ini.ReadString("Files", "ThumbSize", "ERR!"), "ERR!");
}

TEST_F(IniFileTest, WritingKeepsEverythingElseInPlace) {
  WriteRaw(
      "; written by hand\n"
      "[Other]\n"
      "Keep=me\n"
      "\n"
      "[Params]\n"
      "Open=/old/\n"
      "odd line without equals\n"
      "\n"
      "[Files]\n"
      "File1=/a.jpg\n"
      "File2=/b.jpg\n");
  IniFile ini(Path());
  ASSERT_TRUE(ini.WriteString("params", "OPEN", "/new/"));
  ASSERT_TRUE(ini.WriteString("Params", "Unit", "1"));
  ASSERT_TRUE(ini.WriteString("New", "Key", " spaced value"));
  ini.DeleteKey("Files", "file2");
  ASSERT_TRUE(ini.UpdateFile()) << ini.ErrorString().toStdString();
  EXPECT_EQ(ReadRaw(),
            "; written by hand\n"
            "[Other]\n"
            "Keep=me\n"
            "\n"
            "[Params]\n"
            "OPEN=/new/\n"
            "odd line without equals\n"
            "Unit=1\n"
            "\n"
            "[Files]\n"
            "File1=/a.jpg\n"
            "[New]\n"
            "Key= spaced value\n");
  // Read back the blanks are trimmed, as for any value.
  EXPECT_EQ(IniFile(Path()).ReadString("New", "Key", "ERR!"), "spaced value");
}

// A hand-edited file naming a key twice (in any letter case): writing or
// deleting it leaves no copy in the section that could be read back later;
// the same name in another section is another key.
TEST_F(IniFileTest, AKeyNamedTwiceIsWrittenAndDeletedEverywhereInItsSection) {
  const QByteArray start =
      "[Params]\n"
      "MatchColours=1\n"
      "Unit=1\n"
      "matchcolours = 1\n"
      "[Files]\n"
      "MatchColours=1\n";
  struct Case {
    const char* name;
    void (*change)(IniFile&);
    QByteArray expected;
  };
  const Case cases[] = {
      {"written", [](IniFile& ini) { ASSERT_TRUE(ini.WriteString("Params", "MatchColours", "0")); },
       "[Params]\nMatchColours=0\nUnit=1\n[Files]\nMatchColours=1\n"},
      {"deleted", [](IniFile& ini) { ini.DeleteKey("params", "MATCHCOLOURS"); },
       "[Params]\nUnit=1\n[Files]\nMatchColours=1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteRaw(start);
    IniFile ini(Path());
    c.change(ini);
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(ReadRaw(), c.expected);
  }
}

TEST_F(IniFileTest, RefusesWhatCannotBeStoredOnOneLine) {
  IniFile ini(Path());
  EXPECT_FALSE(ini.WriteString("Files", "File1", "/photos/a\nb.jpg"));
  EXPECT_FALSE(ini.WriteString("Files", "File1", "/photos/a\rb.jpg"));
  EXPECT_FALSE(ini.WriteString("Files", "Fi=le", "x"));
  EXPECT_FALSE(ini.WriteString("Files", "", "x"));
  EXPECT_FALSE(ini.WriteString("Fi]les", "File1", "x"));
  ASSERT_TRUE(ini.UpdateFile());
  EXPECT_EQ(ReadRaw(), "");
}

TEST_F(IniFileTest, DamagedFileGivesWhatCanBeRead) {
  static const char head[] = "\x00\xff\xfe garbage\x01\x02\n[Params]\nbinary\x00here\nThumbSize=15\n";
  QByteArray bytes(head, sizeof head - 1);
  bytes += "Open=caf\xe9/\n";        // a Latin-1 byte: the value is damaged, the file is not
  bytes += "[Files]\nFile1=/x.jpg";  // no final line break
  WriteRaw(bytes);
  IniFile ini(Path());
  EXPECT_EQ(ini.ReadString("Params", "ThumbSize", "ERR!"), "15");
  EXPECT_EQ(ini.ReadString("Files", "File1", "ERR!"), "/x.jpg");
  EXPECT_NE(ini.ReadString("Params", "Open", "ERR!"), "ERR!");
}

TEST_F(IniFileTest, OversizedFileIsReadUpToTheLimit) {
  QByteArray bytes = "[Params]\nThumbSize=40\n";
  const QByteArray filler = "Padding=" + QByteArray(100, 'x') + "\n";
  while (bytes.size() <= IniFile::MaxFileSize) bytes += filler;
  bytes += "Late=1\n";
  WriteRaw(bytes);
  IniFile ini(Path());
  EXPECT_EQ(ini.ReadString("Params", "ThumbSize", "ERR!"), "40");
  EXPECT_EQ(ini.ReadString("Params", "Late", "ERR!"), "ERR!");
}

TEST_F(IniFileTest, NotARegularFileReadsAsEmpty) {
  ASSERT_EQ(mkfifo(Path().toLocal8Bit().constData(), 0600), 0);
  IniFile ini(Path());  // would block forever on the FIFO if it were opened
  EXPECT_EQ(ini.ReadString("Params", "Open", "ERR!"), "ERR!");
}

TEST_F(IniFileTest, FailedWriteLeavesTheOldFile) {
  WriteRaw("[Params]\nOpen=/old/\n");
  IniFile ini(Path());
  ASSERT_TRUE(ini.WriteString("Params", "Open", "/new/"));
  // The rename target's folder is gone: the write fails and says why.
  IniFile elsewhere(m_tmp.filePath(QStringLiteral("missing/Tesselune.ini")));
  ASSERT_TRUE(elsewhere.WriteString("Params", "Open", "/new/"));
  EXPECT_FALSE(elsewhere.UpdateFile());
  EXPECT_FALSE(elsewhere.ErrorString().isEmpty());
  EXPECT_EQ(ReadRaw(), "[Params]\nOpen=/old/\n");
  // And no temporary file is left beside the settings.
  EXPECT_EQ(QDir(m_tmp.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Tesselune.ini"});
}

TEST(LocateSettingsFile, BesideTheProgramWhenItsFolderTakesAFile) {
  QTemporaryDir program;
  EXPECT_EQ(LocateSettingsFile(program.path(), "Tesselune.ini"), QDir(program.path()).filePath("Tesselune.ini"));
  // The probe leaves nothing behind.
  EXPECT_TRUE(QDir(program.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST(LocateSettingsFile, ConfigurationFolderWhenTheProgramFolderIsReadOnly) {
  QTemporaryDir home;
  const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
  // The superuser writes through permission bits, so as root the read-only
  // folder is one of a read-only file system.
  QTemporaryDir program;
  QString readOnly = QStringLiteral("/proc/self");
  if (geteuid() != 0) {
    readOnly = program.path();
    chmod(readOnly.toLocal8Bit().constData(), 0555);
  }
  const QString located = LocateSettingsFile(readOnly, "Tesselune.ini");
  chmod(program.path().toLocal8Bit().constData(), 0755);
  const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
  EXPECT_TRUE(config.startsWith(home.path())) << config.toStdString();
  EXPECT_EQ(located, QDir(config).filePath("Tesselune.ini"));
  EXPECT_TRUE(QFileInfo(config).isDir());  // created for the first write
  IniFile ini(located);
  ASSERT_TRUE(ini.WriteString("Params", "Unit", "1"));
  EXPECT_TRUE(ini.UpdateFile());
  EXPECT_EQ(IniFile(located).ReadString("Params", "Unit", "ERR!"), "1");
  if (oldConfig.isNull())
    qunsetenv("XDG_CONFIG_HOME");
  else
    qputenv("XDG_CONFIG_HOME", oldConfig);
}

}  // namespace
