#include "imagefiles/gui/JPGCompress.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "TestBitmaps.h"
#include "app/InterfaceTexts.h"
#include "app/MyMsgDlg.h"

using namespace testing_bitmaps;

namespace {

// The JPEG markers of a file: SOF2 for progressive, and the first
// quantisation table in the order stored (zig-zag).
struct JpegFacts {
  bool progressive = false;
  bool baseline = false;
  QList<int> firstTable;
};

JpegFacts ReadFacts(const QString& name) {
  QFile f(name);
  JpegFacts facts;
  if (!f.open(QIODevice::ReadOnly)) return facts;
  const QByteArray d = f.readAll();
  auto at = [&d](qsizetype i) { return int(uchar(d[i])); };
  for (qsizetype i = 2; i + 4 < d.size();) {
    if (at(i) != 0xFF) break;
    const int marker = at(i + 1);
    const int length = at(i + 2) * 256 + at(i + 3);
    if (marker == 0xC2) facts.progressive = true;
    if (marker == 0xC0) facts.baseline = true;
    if (marker == 0xDB && facts.firstTable.isEmpty())
      for (int k = 0; k < 8 && i + 5 + k < d.size(); ++k) facts.firstTable.append(at(i + 5 + k));
    if (marker == 0xDA) break;  // image data follows
    i += 2 + length;
  }
  return facts;
}

class JPGCompressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetFrenchTexts();
    files.OnPictureFile = JpegSaveHandler;
    previous = SetMsgPresenter([this](const TMsgRequest&) {
      ++messages;
      return int(idOk);
    });
  }
  void TearDown() override {
    SetMsgPresenter(previous);
    // Back to the first-save state for the next test.
    TJPGCompressForm& form = JpegOptionsForm();
    form.TBN->setValue(18);
    form.RBStandard->setChecked(true);
  }
  // Saves picture as name while `answer` works the dialog once it shows.
  int SaveWith(const QString& name, std::function<void(TJPGCompressForm&)> answer) {
    shown = 0;
    QTimer::singleShot(0, [this, answer] {
      auto* form = dynamic_cast<TJPGCompressForm*>(QApplication::activeModalWidget());
      if (!form) return;
      ++shown;
      answer(*form);
    });
    return SavePicture(files, name, picture);
  }
  QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

  QTemporaryDir dir;
  TPictureFileContext files;  // messages shown, the JPEG options asked
  TBitmap picture = Numbered(40, 30);
  int messages = 0;
  int shown = 0;
  TMsgPresenter previous;
};

TEST_F(JPGCompressTest, FrenchTextsAndTheLevelCaption) {
  TJPGCompressForm form;
  EXPECT_EQ(form.windowTitle(), "Compression JPEG ");
  EXPECT_EQ(form.size(), QSize(298, 234));
  EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(form.LblN->text(), "Compression : 90");
  EXPECT_EQ(form.TBN->value(), 18);
  EXPECT_TRUE(form.RBStandard->isChecked());
  EXPECT_EQ(form.RBProgressif->text(), "Format progressif");
  EXPECT_EQ(form.Label1->text(), "Qualité inférieure");
  EXPECT_EQ(form.Label2->text(), "Qualité supérieure");
  EXPECT_EQ(form.BAnnuler->text(), "Annuler");
  EXPECT_TRUE(form.BOk->isDefault());

  form.show();
  form.TBN->setFocus();
  QTest::keyClick(form.TBN, Qt::Key_Home);
  EXPECT_EQ(form.LblN->text(), "Compression : 5");
  EXPECT_EQ(form.Quality(), 5);
  QTest::keyClick(form.TBN, Qt::Key_End);
  EXPECT_EQ(form.LblN->text(), "Compression : 100");
  QTest::keyClick(form.TBN, Qt::Key_Left);
  EXPECT_EQ(form.LblN->text(), "Compression : 95");
}

TEST_F(JPGCompressTest, ChoicesReachTheFileAndAreOfferedAgain) {
  int firstPosition = 0;
  bool firstStandard = false;
  const int saved = SaveWith(Path("first.jpg"), [&](TJPGCompressForm& f) {
    firstPosition = f.TBN->value();
    firstStandard = f.RBStandard->isChecked();
    f.TBN->setFocus();
    for (int i = 0; i < 8; ++i) QTest::keyClick(f.TBN, Qt::Key_Left);
    QTest::mouseClick(f.RBProgressif, Qt::LeftButton, {}, QPoint(6, f.RBProgressif->height() / 2));
    QTest::mouseClick(f.BOk, Qt::LeftButton);
  });
  EXPECT_EQ(saved, 1);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(firstPosition, 18);
  EXPECT_TRUE(firstStandard);
  const JpegFacts facts = ReadFacts(Path("first.jpg"));
  EXPECT_TRUE(facts.progressive);
  EXPECT_FALSE(facts.baseline);
  // Quality 50: the standard luminance table itself.
  EXPECT_EQ(facts.firstTable, (QList<int>{16, 11, 12, 14, 12, 10, 16, 14}));

  int secondPosition = 0;
  bool secondProgressive = false;
  EXPECT_EQ(SaveWith(Path("second.jpg"),
                     [&](TJPGCompressForm& f) {
                       secondPosition = f.TBN->value();
                       secondProgressive = f.RBProgressif->isChecked();
                       QTest::keyClick(f.focusWidget(), Qt::Key_Return);
                     }),
            1);
  EXPECT_EQ(secondPosition, 10);
  EXPECT_TRUE(secondProgressive);
  EXPECT_TRUE(ReadFacts(Path("second.jpg")).progressive);
  EXPECT_EQ(messages, 0);
}

TEST_F(JPGCompressTest, CancelStopsTheSaveSilently) {
  for (const bool escape : {false, true}) {
    SCOPED_TRACE(escape ? "Escape" : "Annuler");
    const QString name = Path(escape ? "escape.jpg" : "cancel.jpeg");
    EXPECT_EQ(SaveWith(name,
                       [escape](TJPGCompressForm& f) {
                         if (escape)
                           QTest::keyClick(f.focusWidget(), Qt::Key_Escape);
                         else
                           QTest::mouseClick(f.BAnnuler, Qt::LeftButton);
                       }),
              0);
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(QFile::exists(name));
  }
  EXPECT_EQ(messages, 0);
}

TEST_F(JPGCompressTest, OtherFormatsAreNotAsked) {
  EXPECT_EQ(SaveWith(Path("plain.png"), [](TJPGCompressForm& f) { f.reject(); }), 1);
  EXPECT_EQ(shown, 0);
  EXPECT_TRUE(QFile::exists(Path("plain.png")));
}

}  // namespace
