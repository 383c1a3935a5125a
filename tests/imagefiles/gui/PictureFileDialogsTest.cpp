#include "imagefiles/gui/PictureFileDialogs.h"

#include <gtest/gtest.h>
#include <tiffio.h>
#include <zlib.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <vector>

#include "TestBitmaps.h"
#include "app/InterfaceTexts.h"
#include "app/MyMsgDlg.h"
#include "app/PathAndTextHelpers.h"

using namespace testing_bitmaps;

namespace {

// A grey PNG of 1 bit per pixel whose rows are all zero, stored without
// compression so that its data is as large as the picture it announces.
void WriteBlackPng(const QString& name, quint32 width, quint32 height) {
  auto be32 = [](QByteArray& out, quint32 v) {
    for (int s = 24; s >= 0; s -= 8) out.append(char((v >> s) & 0xFF));
  };
  auto chunk = [&be32](QByteArray& out, const char* type, const QByteArray& body) {
    be32(out, quint32(body.size()));
    QByteArray typed = QByteArray(type) + body;
    out.append(typed);
    be32(out, quint32(crc32(0, reinterpret_cast<const Bytef*>(typed.constData()), uInt(typed.size()))));
  };
  QByteArray png("\x89PNG\r\n\x1a\n", 8), ihdr;
  be32(ihdr, width);
  be32(ihdr, height);
  ihdr.append(char(1)).append(char(0)).append(char(0)).append(char(0)).append(char(0));
  chunk(png, "IHDR", ihdr);
  const std::vector<Bytef> raw(size_t(height) * (1 + (width + 7) / 8), 0);
  std::vector<Bytef> packed(compressBound(uLong(raw.size())));
  uLongf packedSize = uLongf(packed.size());
  ASSERT_EQ(compress2(packed.data(), &packedSize, raw.data(), uLong(raw.size()), 0), Z_OK);
  chunk(png, "IDAT", QByteArray(reinterpret_cast<const char*>(packed.data()), qsizetype(packedSize)));
  chunk(png, "IEND", QByteArray());
  QFile f(name);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(png);
}

void WriteGreyTiff(const QString& name, int width, int height) {
  TIFF* tif = TIFFOpen(QFile::encodeName(name).constData(), "w");
  ASSERT_NE(tif, nullptr);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
  std::vector<uint8_t> row(static_cast<size_t>(width));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) row[size_t(x)] = uint8_t((x + y) * 4);
    TIFFWriteScanline(tif, row.data(), uint32_t(y), 0);
  }
  TIFFClose(tif);
}

// The open dialog's fixtures, made once: they take a moment.
class MyDlgsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SetEnglishTexts();
    s_dir = new QTemporaryDir;
    TPictureFileContext files;
    ASSERT_EQ(SavePicture(files, Path("big.jpg"), Solid(4000, 3000, kPhotoColour)), 1);
    ASSERT_EQ(SavePicture(files, Path("small.jpg"), Solid(40, 30, kPhotoColour)), 1);
    WriteGreyTiff(Path("grey.tif"), 64, 48);
    WriteBlackPng(Path("huge.png"), 8193, 8192);
    WriteBlackPng(Path("line.png"), 300, 2);
    QFile notes(Path("notes.jpg"));
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write("not a picture at all\n");
  }
  static void TearDownTestSuite() {
    delete s_dir;
    SetFrenchTexts();
  }
  void SetUp() override {
    m_previous = SetMsgPresenter([this](const TMsgRequest&) {
      ++messages;
      return int(idOk);
    });
  }
  void TearDown() override { SetMsgPresenter(m_previous); }

  static QString Path(const char* name) { return s_dir->filePath(QString::fromLatin1(name)); }
  static QStringList Lines(const TOpenPictureDialog& d) {
    return d.PictureLabel->text().split(u'\n', Qt::SkipEmptyParts);
  }
  // The middle of the framed box, as shown on screen.
  static QColor Centre(TOpenPictureDialog& d) {
    return d.PaintBox->grab().toImage().pixelColor(d.PaintBox->width() / 2 - 2, d.PaintBox->height() / 2 - 2);
  }
  static void Select(TOpenPictureDialog& d, const QString& name) {
    emit d.currentChanged(name);
    QApplication::processEvents();
  }

  static constexpr TColor kPhotoColour = RGBColor(40, 90, 200);
  static QTemporaryDir* s_dir;
  int messages = 0;

 private:
  TMsgPresenter m_previous;
};
QTemporaryDir* MyDlgsTest::s_dir = nullptr;

TEST_F(MyDlgsTest, PanelBesideTheFileList) {
  TOpenPictureDialog d;
  d.SetFilter(BuildOpenFilter());
  d.setDirectory(s_dir->path());
  d.show();
  EXPECT_TRUE(d.testOption(QFileDialog::DontUseNativeDialog));
  EXPECT_EQ(d.PreviewCheck->text(), "Preview");
  EXPECT_EQ(d.InfoLabel->text(), "Image properties");
  EXPECT_TRUE(d.InfoLabel->font().bold());
  EXPECT_EQ(d.PaintBox->size(), QSize(165, 130));
  EXPECT_EQ(d.SepPanel->size(), QSize(161, 2));
  EXPECT_TRUE(d.PicturePanel->isVisible());
  // Right of the folder and file lists, over the dialog's height.
  auto* lists = d.findChild<QWidget*>(QStringLiteral("splitter"));
  ASSERT_NE(lists, nullptr);
  EXPECT_GE(d.PicturePanel->x(), lists->geometry().right());
  EXPECT_GE(d.PicturePanel->height(), lists->height());
  // The empty frame: white face, nothing in it.
  EXPECT_EQ(Centre(d), QColor(Qt::white));
  EXPECT_EQ(d.PictureLabel->text(), "");
  EXPECT_TRUE(d.Showing);
  d.reject();
  EXPECT_FALSE(d.Showing);
}

TEST_F(MyDlgsTest, LargeJpegShowsReducedWithItsFullSize) {
  TOpenPictureDialog d;
  d.SetPreview(true);
  d.show();
  Select(d, Path("big.jpg"));
  const QStringList lines = Lines(d);
  ASSERT_EQ(lines.size(), 4) << d.PictureLabel->text().toStdString();
  EXPECT_EQ(lines[0], "4000x3000 pixels");
  EXPECT_EQ(lines[1], "24 bits");
  EXPECT_EQ(lines[2], SizeToText(QFileInfo(Path("big.jpg")).size(), false));
  const QColor c = Centre(d);
  EXPECT_NEAR(c.red(), 40, 6);
  EXPECT_NEAR(c.green(), 90, 6);
  EXPECT_NEAR(c.blue(), 200, 6);
  EXPECT_EQ(messages, 0);
}

TEST_F(MyDlgsTest, GreyTiffReportsItsStoredDepth) {
  TOpenPictureDialog d;
  d.SetPreview(true);
  d.show();
  Select(d, Path("grey.tif"));
  const QStringList lines = Lines(d);
  ASSERT_EQ(lines.size(), 4);
  EXPECT_EQ(lines[0], "64x48 pixels");
  EXPECT_EQ(lines[1], "8 bits");
  EXPECT_EQ(d.PreviewBitmap.PixelFormat(), pf24bit);
}

TEST_F(MyDlgsTest, CheckBoxClearsAndReloads) {
  TOpenPictureDialog d;
  d.SetPreview(true);
  d.show();
  Select(d, Path("small.jpg"));
  ASSERT_EQ(Lines(d).size(), 4);
  EXPECT_NE(Centre(d), QColor(Qt::white));
  QTest::mouseClick(d.PreviewCheck, Qt::LeftButton, {}, QPoint(6, d.PreviewCheck->height() / 2));
  EXPECT_FALSE(d.Preview());
  EXPECT_EQ(d.PictureLabel->text(), "");
  EXPECT_EQ(Centre(d), QColor(Qt::white));
  QTest::mouseClick(d.PreviewCheck, Qt::LeftButton, {}, QPoint(6, d.PreviewCheck->height() / 2));
  EXPECT_EQ(Lines(d).value(0), "40x30 pixels");
  EXPECT_NE(Centre(d), QColor(Qt::white));
}

TEST_F(MyDlgsTest, FilesThatCannotBePreviewedShowNothingAndSayNothing) {
  TOpenPictureDialog d;
  d.SetPreview(true);
  d.show();
  // A picture of more than 2^26 pixels is not decoded for a click; a smaller
  // one written the same way is.
  Select(d, Path("line.png"));
  EXPECT_EQ(Lines(d).value(0), "300x2 pixels");
  for (const char* name : {"huge.png", "notes.jpg", "missing.png", ""}) {
    SCOPED_TRACE(name);
    Select(d, Path("small.jpg"));
    ASSERT_FALSE(d.PictureLabel->text().isEmpty());
    Select(d, QString::fromLatin1(name).isEmpty() ? s_dir->path() : Path(name));
    EXPECT_EQ(d.PictureLabel->text(), "");
    EXPECT_EQ(Centre(d), QColor(Qt::white));
  }
  EXPECT_EQ(messages, 0);
  const TPicturePreview huge = LoadPicturePreview(Path("huge.png"));
  EXPECT_FALSE(huge.Ok);
  EXPECT_TRUE(huge.Picture.Empty());
}

// Answers the open and save steps' dialogs as told, recording what they were
// asked.
class ScriptedDialogs : public TPictureFileDialogs {
 public:
  ScriptedDialogs() : m_previous(SetPictureFileDialogs(this)) {}
  ~ScriptedDialogs() override { SetPictureFileDialogs(m_previous); }
  bool RunOpenDialog(QString& fileName, const QString& filter, int& filterIndex, const QString& initialDir,
                     bool& previewEnabled) override {
    ++openRuns;
    openFilter = filter;
    openFilterIndex = filterIndex;
    openDir = initialDir;
    previewEnabled = !previewEnabled;
    fileName = answer;
    return !answer.isEmpty();
  }
  bool RunSaveDialog(QString& fileName, const QString& filter, int index, const QString& initialDir,
                     const QString& defaultExt) override {
    ++saveRuns;
    suggested = fileName;
    saveFilter = filter;
    filterIndex = index;
    saveDir = initialDir;
    ext = defaultExt;
    fileName = answer;
    return !answer.isEmpty();
  }
  QString answer, openFilter, openDir, suggested, saveFilter, saveDir, ext;
  int filterIndex = 0, openFilterIndex = 0, openRuns = 0, saveRuns = 0;

 private:
  TPictureFileDialogs* m_previous;
};

// The open and save steps run their dialog only without a name, start it as
// the caller's context and suggestion say, and load or save what was chosen.
TEST_F(MyDlgsTest, DialogsWhenNoNameIsGiven) {
  ScriptedDialogs dialogs;
  TPictureFileContext files;
  TBitmap b;
  QString name = Path("small.jpg");
  EXPECT_EQ(OpenPictureDialog(files, name, b, QStringLiteral("/start")), 1);
  EXPECT_EQ(dialogs.openRuns, 0);
  EXPECT_EQ(b.Width(), 40);

  dialogs.answer = Path("grey.tif");
  name.clear();
  EXPECT_EQ(OpenPictureDialog(files, name, b, QStringLiteral("/start")), 1);
  EXPECT_EQ(name, dialogs.answer);
  EXPECT_EQ(dialogs.openDir, "/start");
  EXPECT_EQ(dialogs.openFilter, BuildOpenFilter());
  EXPECT_EQ(dialogs.openFilterIndex, 1);
  EXPECT_TRUE(files.PreviewEnabled);  // the dialog's final switch state is kept
  EXPECT_EQ(b.Width(), 64);
  dialogs.answer.clear();  // cancelled: nothing loaded, the switch kept all the same
  name.clear();
  EXPECT_EQ(OpenPictureDialog(files, name, b, QString()), 0);
  EXPECT_TRUE(name.isEmpty());
  EXPECT_FALSE(files.PreviewEnabled);
  EXPECT_EQ(b.Width(), 64);
  EXPECT_EQ(dialogs.openRuns, 2);

  struct Case {
    QString suggestion;
    int filterIndex;
    QString suggested, initialDir;
  } cases[] = {
      {s_dir->path(), 1, QString(), s_dir->path()},
      {Path("photo.pcx"), 1, Path("photo"), QString()},
      {Path("photo.jpe"), 3, Path("photo.jpe"), QString()},
      {Path("photo.tif"), 7, Path("photo.tif"), QString()},
  };
  dialogs.answer.clear();  // cancelled
  for (const Case& c : cases) {
    SCOPED_TRACE(c.suggestion.toStdString());
    QString out;
    EXPECT_EQ(SavePictureDialog(files, out, Numbered(2, 2), c.suggestion), 0);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_EQ(dialogs.saveFilter, BuildSaveFilter());
    EXPECT_EQ(dialogs.filterIndex, c.filterIndex);
    EXPECT_EQ(dialogs.suggested, c.suggested);
    EXPECT_EQ(dialogs.saveDir, c.initialDir);
    EXPECT_EQ(dialogs.ext, ".bmp");
  }
  dialogs.answer = Path("chosen.png");
  QString out;
  EXPECT_EQ(SavePictureDialog(files, out, Numbered(2, 2), QString()), 1);
  EXPECT_EQ(out, dialogs.answer);
  EXPECT_TRUE(QFileInfo::exists(dialogs.answer));
  EXPECT_EQ(dialogs.saveRuns, 5);
  EXPECT_EQ(messages, 0);
}

// The open dialog starts on the filter entry it closed on the last time,
// confirmed or not, rather than on the first every time.
TEST_F(MyDlgsTest, OpenDialogStartsOnTheLastFilterUsed) {
  TPictureFileContext files;
  std::vector<int> startedOn;
  const auto cancelAfterChoosing = [&](int entry) {
    QTimer::singleShot(0, [&startedOn, entry] {
      auto* d = dynamic_cast<TOpenPictureDialog*>(QApplication::activeModalWidget());
      if (!d) return;
      startedOn.push_back(d->FilterIndex());
      d->selectNameFilter(d->nameFilters().at(entry - 1));
      d->reject();
    });
    QString name;
    TBitmap b;
    EXPECT_EQ(OpenPictureDialog(files, name, b, s_dir->path()), 0);
  };
  cancelAfterChoosing(12);
  cancelAfterChoosing(3);
  cancelAfterChoosing(3);
  EXPECT_EQ(startedOn, (std::vector<int>{1, 12, 3}));
  EXPECT_EQ(files.OpenFilterIndex, 3);

  TOpenPictureDialog d;
  d.SetFilter(BuildOpenFilter(), 99);  // out of range: the first entry
  EXPECT_EQ(d.FilterIndex(), 1);
  d.SetFilter(BuildOpenFilter(), 21);
  EXPECT_EQ(d.selectedNameFilter(), d.nameFilters().at(20));
  EXPECT_EQ(messages, 0);
}

TEST(MySaveDialog, ExtensionRules) {
  const QString longName = QString(200, u'n');
  const struct {
    QString typed, ext, expected;
  } cases[] = {
      {QStringLiteral("photo.bmp"), QStringLiteral(".jpg"), QStringLiteral("photo.jpg")},
      {QStringLiteral("photo"), QStringLiteral(".jpg"), QStringLiteral("photo.jpg")},
      {QString(), QStringLiteral(".jpg"), QString()},
      {QStringLiteral("my.photos/mosaic"), QStringLiteral(".png"), QStringLiteral("my.photos/mosaic.png")},
      {QStringLiteral("my.photos/mosaic.bmp"), QStringLiteral(".png"), QStringLiteral("my.photos/mosaic.png")},
      {QStringLiteral("/home/a.b/c.d/e.tar.gz"), QStringLiteral(".tif"), QStringLiteral("/home/a.b/c.d/e.tar.tif")},
      {longName + QStringLiteral(".bmp"), QStringLiteral(".jpg"), longName + QStringLiteral(".jpg")},
      {QStringLiteral("photo.bmp"), QStringLiteral(".*"), QStringLiteral("photo.bmp")},
      // A name that starts with its only dot has no extension to lose.
      {QStringLiteral(".hidden"), QStringLiteral(".jpg"), QStringLiteral(".hidden.jpg")},
      {QStringLiteral("dir/.hidden"), QStringLiteral(".png"), QStringLiteral("dir/.hidden.png")},
      {QStringLiteral("my.photos/.hidden"), QStringLiteral(".png"), QStringLiteral("my.photos/.hidden.png")},
      {QStringLiteral(".hidden.bmp"), QStringLiteral(".jpg"), QStringLiteral(".hidden.jpg")},
      {QStringLiteral("dir/.hidden.bmp"), QStringLiteral(".tif"), QStringLiteral("dir/.hidden.tif")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed.left(40).toStdString());
    EXPECT_EQ(ReplaceTypedExtension(c.typed, c.ext), c.expected);
  }
  EXPECT_EQ(NameFiltersOf(QStringLiteral("BMP (*.bmp)|*.bmp|JPEG (*.jpg;*.jpeg)|*.jpg;*.jpeg|All images|*.*")),
            (QStringList{QStringLiteral("BMP (*.bmp)"), QStringLiteral("JPEG (*.jpg *.jpeg)"),
                         QStringLiteral("All images (*.*)")}));
}

TEST(MySaveDialog, ChoosingATypeChangesTheTypedExtension) {
  SetFrenchTexts();
  QTemporaryDir dir;
  for (const char* name : {"a.JPG", "b.jpg", "c.png"}) {
    QFile f(dir.filePath(QString::fromLatin1(name)));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  TMySaveDialog d;
  d.SetFilter(BuildSaveFilter(), 1);
  d.setDirectory(dir.path());
  d.show();
  EXPECT_EQ(d.FilterIndex(), 1);
  auto* types = d.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
  ASSERT_NE(types, nullptr);

  const QString longName = QStringLiteral("my.photos/") + QString(200, u'x');
  const struct {
    QString typed;
    int downs;  // entries to move down from BMP: 2 to JPEG, 3 to PNG
    QString expected;
  } cases[] = {
      {QStringLiteral("mosaic.bmp"), 2, QStringLiteral("mosaic.jpg")},
      {QStringLiteral("mosaic"), 2, QStringLiteral("mosaic.jpg")},
      {QString(), 2, QString()},
      {QStringLiteral("my.photos/mosaic"), 3, QStringLiteral("my.photos/mosaic.png")},
      {longName + QStringLiteral(".bmp"), 2, longName + QStringLiteral(".jpg")},
      {QStringLiteral(".hidden"), 2, QStringLiteral(".hidden.jpg")},
      {QStringLiteral("dir/.hidden"), 3, QStringLiteral("dir/.hidden.png")},
      {QStringLiteral(".hidden.bmp"), 3, QStringLiteral(".hidden.png")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed.left(40).toStdString());
    d.selectNameFilter(d.nameFilters().first());
    d.SetTypedName(c.typed);
    types->setFocus();
    for (int i = 0; i < c.downs; ++i) QTest::keyClick(types, Qt::Key_Down);
    EXPECT_EQ(d.FilterIndex(), 1 + c.downs);
    EXPECT_EQ(d.TypedName(), c.expected);
  }

  // The JPEG entry lists the files in either letter case.
  d.selectNameFilter(d.nameFilters().at(2));
  auto* list = d.findChild<QAbstractItemView*>(QStringLiteral("listView"));
  ASSERT_NE(list, nullptr);
  auto shownFiles = [&] {
    QStringList names;
    const QAbstractItemModel* model = list->model();
    for (int r = 0; r < model->rowCount(list->rootIndex()); ++r) {
      const QModelIndex i = model->index(r, 0, list->rootIndex());
      if (model->flags(i) & Qt::ItemIsEnabled) names.append(i.data().toString());
    }
    names.sort();
    return names;
  };
  QTRY_COMPARE(shownFiles(), (QStringList{QStringLiteral("a.JPG"), QStringLiteral("b.jpg")}));
}

}  // namespace
