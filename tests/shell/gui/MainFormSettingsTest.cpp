// The settings file and the recent files, through the window.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include "app/IniFile.h"
#include "controls/gui/SpecialEdit.h"
#include "shell/gui/WindowFixture.h"

namespace {

class SettingsTest : public WindowFixture {
 protected:
  void WriteIni(const QByteArray& text) {
    QFile f(IniPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
  }
  QString Read(const char* section, const char* key) const {
    return IniFile(IniPath()).ReadString(QString::fromLatin1(section), QString::fromLatin1(key),
                                         QStringLiteral("ERR!"));
  }
  // A real picture file the window can open.
  QString Picture(const QString& name) {
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(qRgb(10, 20, 30));
    const QString path = File(name);
    EXPECT_TRUE(image.save(path, "PNG"));
    return path;
  }
};

TEST_F(SettingsTest, NoFileGivesTheDefaultsAndExitWritesTheNineParams) {
  TMainForm& f = Make();
  EXPECT_EQ(f.IniFileName, IniPath());
  EXPECT_EQ(f.OpenFolder, Dir.path() + QLatin1Char('/'));
  EXPECT_TRUE(f.SaveFolder.isEmpty());
  EXPECT_FALSE(f.isMaximized());
  EXPECT_FALSE(f.PictureFiles.PreviewEnabled);
  EXPECT_EQ(f.Mosaic.Options.CellSize, 20);
  EXPECT_TRUE(f.MenuVerifierTaille->isChecked());
  EXPECT_TRUE(f.MenuLisser->isChecked());
  EXPECT_TRUE(f.MenuUnitCm->isChecked());
  EXPECT_TRUE(f.RecentFiles.isEmpty());
  f.Mosaic.Options.ThumbnailsFolder = Dir.path();  // held without a trailing "/"
  Quit();

  const std::pair<const char*, QString> expected[] = {
      {"Thumbnails", Dir.path() + QLatin1Char('/')},
      {"Open", Dir.path() + QLatin1Char('/')},
      {"Save", QString()},
      {"Maximized", QStringLiteral("0")},
      {"Preview", QStringLiteral("0")},
      {"ThumbSize", QStringLiteral("20")},
      {"CheckSize", QStringLiteral("1")},
      {"Antialias", QStringLiteral("1")},
      {"Unit", QStringLiteral("0")},
  };
  for (const auto& [key, value] : expected) EXPECT_EQ(Read("Params", key), value) << key;
  QFile file(IniPath());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray text = file.readAll();
  EXPECT_EQ(text.count('='), 9);
  EXPECT_FALSE(text.contains("[Files]"));
}

TEST_F(SettingsTest, ReadingRulesOfTheParams) {
  struct Case {
    const char* params;
    int cellSize;
    bool checkSize, antialias, maximized, inch, preview;
  };
  const Case cases[] = {
      {"ThumbSize=abc", 15, true, true, false, false, false},
      {"ThumbSize=99999999999", 15, true, true, false, false, false},
      {"ThumbSize=10", 10, true, true, false, false, false},
      {"ThumbSize=25", 10, true, true, false, false, false},
      {"ThumbSize=40", 40, true, true, false, false, false},
      {"ThumbSize=ERR!", 20, true, true, false, false, false},
      {"CheckSize=\nAntialias=no", 20, true, true, false, false, false},
      {"CheckSize=0\nAntialias=0", 20, false, false, false, false, false},
      {"Maximized=yes\nUnit=2\nPreview=yes", 20, true, true, false, false, false},
      {"maximized=1\nUNIT=1\nPreview=1", 20, true, true, true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.params);
    WriteIni(QByteArray("[params]\n") + c.params + "\n");
    TMainForm& f = Make();
    EXPECT_EQ(f.Mosaic.Options.CellSize, c.cellSize);
    EXPECT_EQ(f.MenuVerifierTaille->isChecked(), c.checkSize);
    EXPECT_EQ(f.MenuLisser->isChecked(), c.antialias);
    EXPECT_EQ(f.isMaximized(), c.maximized);
    EXPECT_EQ(f.MenuUnitPouces->isChecked(), c.inch);
    EXPECT_NE(f.MenuUnitCm->isChecked(), c.inch);
    EXPECT_EQ(f.PictureFiles.PreviewEnabled, c.preview);
    Quit();
  }
}

TEST_F(SettingsTest, FoldersAreTakenOnlyWhenTheyExistAndWrittenWithSlashes) {
  ASSERT_TRUE(QDir(Dir.path()).mkdir(QStringLiteral("photos")));
  WriteIni(
      ("[Params]\nOpen=" + File("photos") + "\nSave=" + File("gone") + "\nThumbnails=" + File("gone") + "\n").toUtf8());
  TMainForm& f = Make();
  const QString thumbnails = f.Mosaic.Options.ThumbnailsFolder;
  EXPECT_EQ(f.OpenFolder, File("photos"));
  EXPECT_TRUE(f.SaveFolder.isEmpty());
  EXPECT_NE(thumbnails, File("gone"));
  Quit();
  EXPECT_EQ(Read("Params", "Open"), File("photos") + QLatin1Char('/'));
  EXPECT_EQ(Read("Params", "Save"), QString());
}

TEST_F(SettingsTest, MaximizedIsTheStateAtTheClose) {
  TMainForm& f = Make();
  f.showMaximized();
  ASSERT_TRUE(f.close());
  f.showNormal();  // after the close: not what is remembered
  Quit();
  EXPECT_EQ(Read("Params", "Maximized"), QStringLiteral("1"));
}

TEST_F(SettingsTest, RecentFilesKeepFourMostRecentFirst) {
  QStringList p;
  for (const char* name : {"a.png", "b.png", "c.png", "d.png", "e.png", "Photo.png", "photo.png"})
    p.append(Picture(QString::fromLatin1(name)));
  TMainForm& f = Make();
  for (int i = 0; i < 5; ++i) Open(p[i]);
  EXPECT_EQ(f.RecentFiles, QStringList({p[4], p[3], p[2], p[1]}));
  // Reopening moves the entry up without repeating it.
  Open(p[2]);
  EXPECT_EQ(f.RecentFiles, QStringList({p[2], p[4], p[3], p[1]}));
  // Letter case makes another file here.
  Open(p[5]);
  Open(p[6]);
  EXPECT_EQ(f.RecentFiles, QStringList({p[6], p[5], p[2], p[4]}));
  // A recent item opens its file; one that has gone fails and stays.
  f.MenuFichierClick();
  f.MenuFichierN[3]->trigger();
  EXPECT_EQ(f.CurrentFile(), p[4]);
  EXPECT_EQ(f.RecentFiles.front(), p[4]);
  ASSERT_TRUE(QFile::remove(p[6]));
  Messages.clear();
  f.MenuFichierN[1]->trigger();
  EXPECT_EQ(Messages.size(), 1u);
  EXPECT_EQ(f.CurrentFile(), p[4]);
  EXPECT_TRUE(f.RecentFiles.contains(p[6]));
  Quit();
  EXPECT_EQ(Read("Files", "File1"), p[4]);
  EXPECT_EQ(Read("Files", "File4"), p[2]);
  // The next start lists them all again, both names that differ in case.
  EXPECT_EQ(Make().RecentFiles, QStringList({p[4], p[6], p[5], p[2]}));
}

TEST_F(SettingsTest, APathWithALineBreakIsNeverStored) {
  const QString odd = Picture(QStringLiteral("two\nlines.png"));
  const QString plain = Picture(QStringLiteral("plain.png"));
  TMainForm& f = Make();
  Open(plain);
  Open(odd);
  EXPECT_EQ(f.CurrentFile(), odd);
  EXPECT_EQ(f.RecentFiles, QStringList{plain});
  f.RecentFiles.prepend(odd);  // however it got there
  Quit();
  EXPECT_EQ(Read("Files", "File1"), plain);
  EXPECT_EQ(Read("Files", "File2"), QStringLiteral("ERR!"));
  QFile file(IniPath());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_FALSE(file.readAll().contains("lines.png"));
}

// Gaps, empty values and repeated names do not come back as extra entries.
TEST_F(SettingsTest, StaleRecentEntriesDoNotComeBack) {
  WriteIni("[Files]\nFile1=/p/a.png\nFile2=/p/a.png\nFile3=\nFile4=/p/b.png\n");
  TMainForm& f = Make();
  EXPECT_EQ(f.RecentFiles, QStringList({"/p/a.png", "/p/b.png"}));
  Quit();
  EXPECT_EQ(Read("Files", "File1"), QStringLiteral("/p/a.png"));
  EXPECT_EQ(Read("Files", "File2"), QStringLiteral("/p/b.png"));
  EXPECT_EQ(Read("Files", "File3"), QStringLiteral("ERR!"));
  EXPECT_EQ(Read("Files", "File4"), QStringLiteral("ERR!"));
  EXPECT_EQ(Make().RecentFiles, QStringList({"/p/a.png", "/p/b.png"}));
}

TEST_F(SettingsTest, OtherSectionsAndKeysSurviveAWrite) {
  WriteIni("; mine\n[Other]\nx = 1\n[Params]\nCheckSize=0\nColour=blue\n");
  Make();
  Quit();
  EXPECT_EQ(Read("Other", "x"), QStringLiteral("1"));
  EXPECT_EQ(Read("Params", "Colour"), QStringLiteral("blue"));
  EXPECT_EQ(Read("Params", "CheckSize"), QStringLiteral("0"));
  QFile file(IniPath());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(file.readAll().startsWith("; mine\n"));
}

TEST_F(SettingsTest, DamagedFileStartsCleanly) {
  QByteArray binary;
  for (int i = 0; i < 4096; ++i) binary.append(char((i * 37) % 256));
  QByteArray huge("[Params]\nCheckSize=0\n");
  huge.append(QByteArray(2 << 20, 'x'));
  const std::pair<const char*, QByteArray> cases[] = {
      {"binary", binary},
      {"no equals signs", "[Params]\nThumbSize\nUnit\n[Files\nFile1\n"},
      {"larger than 1 MiB", huge},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    WriteIni(bytes);
    TMainForm& f = Make();
    EXPECT_EQ(f.Mosaic.Options.CellSize, 20);
    EXPECT_TRUE(f.MenuUnitCm->isChecked());
    EXPECT_TRUE(f.RecentFiles.isEmpty());
    Quit();
    EXPECT_EQ(Read("Params", "ThumbSize"), QStringLiteral("20"));
    ASSERT_TRUE(QFile::remove(IniPath()));
  }
}

TEST_F(SettingsTest, FileMenuShowsTheRecentFilesBetweenSeparators) {
  const QString name30 = QString(30, QLatin1Char('n'));
  const QString name31 = QString(31, QLatin1Char('n'));
  struct Case {
    QStringList recent;
    QStringList shown;
  };
  const Case cases[] = {
      {{}, {"Open...", "Save as...", "Close", "-", "Exit"}},
      {{"/p/beach.jpg"}, {"Open...", "Save as...", "Close", "-", "1 beach.jpg", "-", "Exit"}},
      {{"/p/" + name31, "/p/" + name30},
       {"Open...", "Save as...", "Close", "-", "1 " + name30 + "...", "2 " + name30, "-", "Exit"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.recent.join(',').toStdString());
    TMainForm& f = Make();
    f.RecentFiles = c.recent;
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    QMenuBar* bar = f.menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(f.MenuFichier->menuAction()).center());
    ASSERT_TRUE(f.MenuFichier->isVisible());
    QStringList shown;
    for (QAction* a : f.MenuFichier->actions())
      if (a->isVisible())
        shown.append(a->isSeparator() ? QStringLiteral("-") : a->text().section(QLatin1Char('\t'), 0, 0));
    EXPECT_EQ(shown, c.shown);
    f.MenuFichier->hide();
    Quit();
  }
}

}  // namespace
