// "Image size...": the dialog driven from the window.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTimer>
#include <functional>
#include <new>

#include "controls/gui/SpinEdits.h"
#include "dialogs/gui/ImageSizeDialog.h"
#include "shell/gui/WindowFixture.h"

namespace {

class ImageSizeTest : public WindowFixture {
 protected:
  // Opens a w x h picture: a gradient, or a two-colour checkerboard.
  TMainForm& OpenPicture(int w, int h, bool checker = false) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        image.setPixel(x, y,
                       checker ? ((x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0))
                               : qRgb(x * 255 / w, y * 255 / h, (x + y) % 256));
    const QString path = File(QStringLiteral("picture.png"));
    EXPECT_TRUE(image.save(path));
    TMainForm& f = Make();
    f.show();
    Open(path);
    EXPECT_EQ(f.WorkingImage().Width(), w);
    return f;
  }

  // Runs "Image size..." with act working the dialog; a dialog still open
  // afterwards is cancelled (StillOpen says it was).
  void Run(const std::function<void(TRedimForm&)>& act) {
    StillOpen = false;
    QTimer::singleShot(0, Form.get(), [this, act] {
      TRedimForm& d = *Form->RedimForm;
      act(d);
      StillOpen = d.isVisible();
      if (StillOpen) d.reject();
    });
    Form->MenuActionRedim->trigger();
  }

  static void Type(TFloatSpinEdit* field, const char* text) {
    field->selectAll();
    QTest::keyClicks(field, QString::fromLatin1(text));
  }
  static void Ok(TRedimForm& d) { QTest::mouseClick(d.BOk, Qt::LeftButton); }

  bool StillOpen = false;
};

TEST_F(ImageSizeTest, NewSizeFromTheFields) {
  struct Case {
    const char* name;
    int w, h;
    std::function<void(TRedimForm&)> act;
    int newW, newH;
  };
  const Case cases[] = {
      {"320 wide keeping the ratio", 640, 480,
       [](TRedimForm& d) {
         Type(d.EdiL, "320");
         EXPECT_EQ(d.EdiH->text(), QStringLiteral("240"));
         Ok(d);
       },
       320, 240},
      {"50 % of 641, half to even", 641, 480,
       [](TRedimForm& d) {
         d.CBProportions->setChecked(false);
         d.CmbL->setCurrentIndex(1);
         Type(d.EdiL, "50");
         Ok(d);
       },
       320, 480},
      {"1 becomes 2", 40, 30,
       [](TRedimForm& d) {
         Type(d.EdiL, "1");
         Ok(d);
       },
       2, 2},
      // Enter keeps the focus in the field: its range is applied first.
      {"9000 with Enter is 5000", 64, 48,
       [](TRedimForm& d) {
         d.CBProportions->setChecked(false);
         d.CBOptimiser->setChecked(false);
         Type(d.EdiL, "9000");
         QTest::keyClick(d.EdiL, Qt::Key_Return);
       },
       5000, 48},
      {"9000 with the Ok button is 5000", 64, 48,
       [](TRedimForm& d) {
         d.CBProportions->setChecked(false);
         d.CBOptimiser->setChecked(false);
         Type(d.EdiL, "9000");
         EXPECT_EQ(d.EdiL->text(), QStringLiteral("9000"));
         Ok(d);
       },
       5000, 48},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TMainForm& f = OpenPicture(c.w, c.h);
    Run(c.act);
    EXPECT_FALSE(StillOpen);
    EXPECT_EQ(f.WorkingImage().Width(), c.newW);
    EXPECT_EQ(f.WorkingImage().Height(), c.newH);
    EXPECT_EQ(f.WorkingImage().PixelFormat(), pf24bit);
    EXPECT_EQ(f.ChangeCount(), 1);
    EXPECT_EQ(f.Document.UndoCopy().Width(), c.w);
    EXPECT_TRUE(Messages.empty());
    Quit();
  }
}

TEST_F(ImageSizeTest, UnitSwitchKeepsTheSize) {
  TMainForm& f = OpenPicture(640, 480);
  Run([](TRedimForm& d) {
    d.CmbL->setCurrentIndex(1);
    EXPECT_EQ(d.EdiL->text(), QStringLiteral("100.00"));
    d.CmbL->setCurrentIndex(0);
    EXPECT_EQ(d.EdiL->text(), QStringLiteral("640"));
    EXPECT_EQ(d.EdiH->text(), QStringLiteral("480"));
  });
  EXPECT_EQ(f.WorkingImage().Width(), 640);
  // The unit stays for the next showing.
  Run([](TRedimForm& d) {
    d.CmbH->setCurrentIndex(1);
    d.reject();
  });
  Run([](TRedimForm& d) { EXPECT_EQ(d.EdiH->text(), QStringLiteral("100.00")); });
}

// The same size again closes as cancelled: no snapshot, so undo still gives
// back the picture before the first resize.
TEST_F(ImageSizeTest, SameSizeTakesNoSnapshot) {
  TMainForm& f = OpenPicture(40, 30);
  const QImage original = f.WorkingImage().Image().copy();
  Run([](TRedimForm& d) {
    Type(d.EdiL, "20");
    Ok(d);
  });
  ASSERT_EQ(f.WorkingImage().Width(), 20);
  Run([](TRedimForm& d) { Ok(d); });
  EXPECT_FALSE(StillOpen);
  EXPECT_EQ(f.ChangeCount(), 1);
  f.MenuEditionAnnuler->trigger();
  EXPECT_EQ(f.WorkingImage().Image(), original);
  EXPECT_EQ(f.ChangeCount(), 0);
}

// Refused at Ok with a warning: the dialog stays and the picture is untouched.
TEST_F(ImageSizeTest, RefusedSizesLeaveThePicture) {
  struct Case {
    const char* name;
    std::function<void(TRedimForm&)> act;
    const char* message;
  };
  const Case cases[] = {
      {"empty field",
       [](TRedimForm& d) {
         d.EdiH->clear();
         Ok(d);
       },
       "Complete all the fields before continuing !"},
      // 5000 % of 1400 is 70000 pixels wide.
      {"5000 %",
       [](TRedimForm& d) {
         d.CmbL->setCurrentIndex(1);
         Type(d.EdiL, "5000");
         Ok(d);
       },
       "The new size 70000 x 1000 is too large !"},
      {"5000 % with Enter",
       [](TRedimForm& d) {
         d.CmbL->setCurrentIndex(1);
         Type(d.EdiL, "9999");
         QTest::keyClick(d.EdiL, Qt::Key_Enter, Qt::KeypadModifier);
       },
       "The new size 70000 x 1000 is too large !"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TMainForm& f = OpenPicture(1400, 20);
    const QImage before = f.WorkingImage().Image().copy();
    Run(c.act);
    EXPECT_TRUE(StillOpen);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, QString::fromLatin1(c.message));
    EXPECT_EQ(Messages[0].Kind, mkWarning);
    EXPECT_EQ(f.WorkingImage().Image(), before);
    EXPECT_EQ(f.ChangeCount(), 0);
    EXPECT_TRUE(f.Document.UndoCopy().Empty());
    Messages.clear();
    Quit();
  }
}

// Without an undo copy to start from, neither path touches the picture.
TEST_F(ImageSizeTest, FailedUndoCopyLeavesThePicture) {
  for (bool smooth : {true, false}) {
    SCOPED_TRACE(smooth);
    TMainForm& f = OpenPicture(40, 30);
    const QImage before = f.WorkingImage().Image().copy();
    f.Document.CopyForUndo = [](const TBitmap&, TBitmap& undo) {
      undo.SetSize(2, 2);
      throw std::bad_alloc();
    };
    Run([smooth](TRedimForm& d) {
      d.CBOptimiser->setChecked(smooth);
      Type(d.EdiL, "20");
      Ok(d);
    });
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, QStringLiteral(" Not enougth memory for undo !"));
    EXPECT_EQ(f.WorkingImage().Image(), before);
    EXPECT_EQ(f.ChangeCount(), 0);
    Messages.clear();
    Quit();
  }
}

// A transparent picture cannot be smoothed: the plain resampling keeps its
// colours, where smoothing blends them.
TEST_F(ImageSizeTest, TransparentPictureUsesThePlainPath) {
  for (bool transparent : {true, false}) {
    SCOPED_TRACE(transparent);
    TMainForm& f = OpenPicture(40, 30, true);
    f.WorkingImage().Transparent = transparent;
    Run([transparent](TRedimForm& d) {
      EXPECT_EQ(d.CBOptimiser->isEnabled(), !transparent);
      EXPECT_EQ(d.CBOptimiser->isChecked(), !transparent);
      Type(d.EdiL, "57");
      Ok(d);
    });
    const QImage result = f.WorkingImage().Image();
    ASSERT_EQ(result.width(), 57);
    QSet<QRgb> colours;
    for (int y = 0; y < result.height(); ++y)
      for (int x = 0; x < result.width(); ++x) colours.insert(result.pixel(x, y));
    EXPECT_EQ(colours.size() == 2, transparent) << colours.size();
    Quit();
  }
}

}  // namespace
