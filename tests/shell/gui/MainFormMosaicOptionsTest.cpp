// "Mosaic options...": the dialog driven from the window, its agreement with
// the cell-size edit and the check items, and its options in the settings.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

#include "app/Settings.h"
#include "controls/gui/SpecialEdit.h"
#include "dialogs/MosaicOptions.h"
#include "dialogs/gui/MosaicOptions.h"
#include "shell/gui/WindowFixture.h"

namespace {

class MosaicOptionsTest : public WindowFixture {
 protected:
  // Runs "Mosaic options..." with act working the dialog, then OK (or
  // Cancel); the dialog is read before it closes through seen.
  void Run(const std::function<void(TMosaicOptionsForm&)>& act, bool ok = true) {
    QTimer::singleShot(0, Form.get(), [this, act, ok] {
      TMosaicOptionsForm& d = *Form->MosaicOptionsForm;
      act(d);
      QTest::mouseClick(ok ? d.BOk : d.BCancel, Qt::LeftButton);
      if (d.isVisible()) {
        ADD_FAILURE() << "the dialog stayed open";
        d.reject();
      }
    });
    Form->MenuActionOptions->trigger();
  }
  static void Key(QWidget* w, Qt::Key key) {
    w->setFocus();
    QTest::keyClick(w, key);
  }
  static void Press(QAbstractButton* b) { Key(b, Qt::Key_Space); }
  QByteArray ReadIni() const {
    QFile f(IniPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  TMainForm& OpenPicture(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(qRgb(90, 120, 150));
    const QString path = File(QStringLiteral("picture.png"));
    EXPECT_TRUE(image.save(path));
    TMainForm& f = Make();
    f.show();
    Open(path);
    EXPECT_EQ(f.WorkingImage().Width(), w);
    return f;
  }
};

// Each control, worked by the keyboard, changes its own option of the mosaic
// command and no other; the cell size, "Match colours" and "Crop to square"
// show in the window too. Cancel leaves everything as it was.
TEST_F(MosaicOptionsTest, EachControlChangesItsOption) {
  struct Case {
    const char* name;
    std::function<void(TMosaicOptionsForm&)> act;
    std::function<void(TMosaicOptions&)> expect;
  };
  const QString chosen = Dir.path();
  const Case cases[] = {
      {"sub-folders", [](TMosaicOptionsForm& d) { Press(d.CBSubFolders); },
       [](TMosaicOptions& o) { o.Recursive = true; }},
      {"browse",
       [chosen](TMosaicOptionsForm& d) {
         d.ChooseFolder = [chosen](const QString&) { return chosen; };
         QTest::mouseClick(d.BBrowse, Qt::LeftButton);
       },
       [chosen](TMosaicOptions& o) { o.ThumbnailsFolder = chosen; }},
      {"matched", [](TMosaicOptionsForm& d) { Press(d.RBMatched); }, [](TMosaicOptions& o) { o.MatchColours = true; }},
      {"tint limit",
       [](TMosaicOptionsForm& d) {
         Press(d.RBMatched);
         Key(d.SlTint, Qt::Key_End);
         EXPECT_EQ(d.LblTint->text(), QStringLiteral("100 %"));
       },
       [](TMosaicOptions& o) {
         o.MatchColours = true;
         o.TintLimit = 100;
       }},
      {"tint mode",
       [](TMosaicOptionsForm& d) {
         Press(d.RBMatched);
         Key(d.CmbTintMode, Qt::Key_Down);
       },
       [](TMosaicOptions& o) {
         o.MatchColours = true;
         o.TintMode = TTintMode::Whole;
       }},
      {"repeat distance",
       [](TMosaicOptionsForm& d) {
         Press(d.RBMatched);
         Key(d.SpRepeat, Qt::Key_Down);
       },
       [](TMosaicOptions& o) {
         o.MatchColours = true;
         o.RepeatDistance = 2;
       }},
      {"at most",
       [](TMosaicOptionsForm& d) {
         Press(d.RBMatched);
         Press(d.CBMaxUses);
         Key(d.SpMaxUses, Qt::Key_Up);
       },
       [](TMosaicOptions& o) {
         o.MatchColours = true;
         o.MaxUses = 2;
       }},
      {"use all",
       [](TMosaicOptionsForm& d) {
         Press(d.RBMatched);
         Press(d.CBUseAll);
       },
       [](TMosaicOptions& o) {
         o.MatchColours = true;
         o.UseAll = true;
       }},
      {"shape", [](TMosaicOptionsForm& d) { Key(d.CmbShape, Qt::Key_End); },
       [](TMosaicOptions& o) {
         o.TileAspect = {9, 16};
       }},
      {"crop", [](TMosaicOptionsForm& d) { Press(d.CBCrop); }, [](TMosaicOptions& o) { o.CropSquare = true; }},
      {"cell size", [](TMosaicOptionsForm& d) { Key(d.CmbCellSize, Qt::Key_Down); },
       [](TMosaicOptions& o) { o.CellSize = 40; }},
      {"scale", [](TMosaicOptionsForm& d) { Key(d.SpScale, Qt::Key_Up); }, [](TMosaicOptions& o) { o.Scale = 2; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TMainForm& f = Make();
    const TMosaicOptions before = f.Mosaic.Options;
    f.Mosaic.ThumbnailsStale = false;
    Run(c.act, false);
    EXPECT_EQ(f.Mosaic.Options, before);
    EXPECT_FALSE(f.Mosaic.ThumbnailsStale);

    Run(c.act);
    TMosaicOptions expected = before;
    c.expect(expected);
    const TMosaicOptions after = f.Mosaic.Options;
    EXPECT_EQ(after, expected);
    // A new folder or cell size loads the thumbnails again.
    EXPECT_EQ(f.Mosaic.ThumbnailsStale,
              after.ThumbnailsFolder != before.ThumbnailsFolder || after.CellSize != before.CellSize);
    EXPECT_EQ(f.MenuAssortir->isChecked(), expected.MatchColours);
    EXPECT_EQ(f.MenuRecadrer->isChecked(), expected.CropSquare);
    EXPECT_EQ(f.EdiTaille->Text(), QStringLiteral("%1 pixels").arg(expected.CellSize));
    Quit();
    QFile::remove(IniPath());
  }
}

// "Include sub-folders" turned on alone, after a mosaic of a library chosen
// in the dialog, loads the library again: the next mosaic offers the
// sub-folder's photos, and the matched one uses them where they fit. The
// library has a red and a green photo, its sub-folder a blue one; the
// picture is blue.
TEST_F(MosaicOptionsTest, SubFoldersTurnedOnAloneLoadTheLibraryAgain) {
  const QString library = File(QStringLiteral("library"));
  ASSERT_TRUE(QDir().mkpath(library + QStringLiteral("/more")));
  const struct {
    const char* name;
    QRgb colour;
  } photos[] = {{"library/red.png", qRgb(200, 30, 30)},
                {"library/green.png", qRgb(30, 200, 30)},
                {"library/more/blue.png", qRgb(30, 30, 200)}};
  for (const auto& photo : photos) {
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(photo.colour);
    ASSERT_TRUE(image.save(File(QString::fromLatin1(photo.name))));
  }
  const QString blue = File(QString::fromLatin1(photos[2].name));
  // A library is loaded for the matched mosaic and for the cropped one.
  const struct {
    const char* name;
    bool matched;
  } cases[] = {{"matched", true}, {"random, cropped", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TMainForm& f = Make();
    f.Mosaic.CacheFile = File(QStringLiteral("cache/thumbnails.sqlite"));
    f.Mosaic.LoadThreads = 1;
    f.Mosaic.Options.RepeatDistance = 0;
    if (f.MenuVerifierTaille->isChecked()) f.MenuVerifierTaille->trigger();
    f.show();
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(photos[2].colour);
    ASSERT_TRUE(picture.save(File(QStringLiteral("blue.png"))));
    Open(File(QStringLiteral("blue.png")));
    ASSERT_EQ(f.WorkingImage().Width(), 40);
    Run([&](TMosaicOptionsForm& d) {
      d.ChooseFolder = [library](const QString&) { return library; };
      QTest::mouseClick(d.BBrowse, Qt::LeftButton);
      Press(c.matched ? static_cast<QAbstractButton*>(d.RBMatched) : d.CBCrop);
      Key(d.CmbCellSize, Qt::Key_Home);  // 10 pixels
    });
    f.MenuActionMosaique->trigger();
    ASSERT_EQ(f.ChangeCount(), 1);
    EXPECT_EQ(f.MosaicResult.LibraryLoad.Loaded.size(), 2);
    EXPECT_FALSE(f.MosaicResult.LibraryLoad.Loaded.contains(blue));
    f.MenuEditionAnnuler->trigger();

    Run([](TMosaicOptionsForm& d) { Press(d.CBSubFolders); });
    ASSERT_TRUE(f.Mosaic.Options.Recursive);
    f.MenuActionMosaique->trigger();
    ASSERT_EQ(f.ChangeCount(), 1);
    EXPECT_TRUE(f.MosaicResult.Loaded);
    EXPECT_EQ(f.Mosaic.ImgVignettes.Count(), 3);
    const qsizetype offered = f.MosaicResult.LibraryLoad.Loaded.indexOf(blue);
    EXPECT_GE(offered, 0) << "the sub-folder's photo is offered";
    if (c.matched) {
      // Every cell is blue: each takes the blue photo, untinted.
      const std::vector<int>& placed = f.MosaicResult.Placement.Thumbnail;
      ASSERT_EQ(placed.size(), 12u);
      EXPECT_EQ(std::count(placed.begin(), placed.end(), int(offered)), 12);
      EXPECT_EQ(f.WorkingImage().Image().convertToFormat(QImage::Format_RGB32), picture);
    }
    EXPECT_TRUE(Messages.empty());
    Quit();
    QFile::remove(IniPath());
  }
}

// The tint, repeat and fair-use controls are the matched mode's: disabled
// while the random mode is chosen, and a key on them changes nothing.
TEST_F(MosaicOptionsTest, MatchedOnlyControlsAreDisabledInRandomMode) {
  TMainForm& f = Make();
  Run([](TMosaicOptionsForm& d) {
    EXPECT_TRUE(d.RBRandom->isChecked());
    const std::initializer_list<QWidget*> matchedOnly = {d.SlTint,    d.CmbTintMode, d.SpRepeat,
                                                         d.CBMaxUses, d.SpMaxUses,   d.CBUseAll};
    for (QWidget* w : matchedOnly) {
      SCOPED_TRACE(w->metaObject()->className());
      EXPECT_FALSE(w->isEnabled());
      QTest::keyClick(w, Qt::Key_End);
      QTest::keyClick(w, Qt::Key_Space);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{d.CBSubFolders, d.CmbShape, d.CBCrop, d.CmbCellSize, d.SpScale})
      EXPECT_TRUE(w->isEnabled());
    Press(d.RBMatched);
    for (QWidget* w : matchedOnly) EXPECT_EQ(w->isEnabled(), w != d.SpMaxUses);
    Press(d.CBMaxUses);
    EXPECT_TRUE(d.SpMaxUses->isEnabled());
    Press(d.RBRandom);
    for (QWidget* w : matchedOnly) EXPECT_FALSE(w->isEnabled());
  });
  EXPECT_EQ(f.Mosaic.Options.TintLimit, DefaultMatchTintLimit);
  EXPECT_EQ(f.Mosaic.Options.TintMode, DefaultTintMode);
  EXPECT_FALSE(f.Mosaic.Options.UseAll);
  // The cap ticked in the matched mode is kept for it, unused by the random one.
  EXPECT_EQ(f.Mosaic.Options.MaxUses, 1);
  EXPECT_FALSE(f.Mosaic.Options.MatchColours);
}

// The window's cell-size edit and check items show in the dialog as they
// stand, and the dialog's choice shows in them.
TEST_F(MosaicOptionsTest, WindowItemsAndDialogAgreeBothWays) {
  TMainForm& f = Make();
  f.MenuAssortir->trigger();
  f.MenuRecadrer->trigger();
  f.EdiTaille->SetItemIndex(0);
  Run([](TMosaicOptionsForm& d) {
    EXPECT_TRUE(d.RBMatched->isChecked());
    EXPECT_TRUE(d.CBCrop->isChecked());
    EXPECT_EQ(d.CmbCellSize->currentText(), QStringLiteral("10 pixels"));
    Press(d.RBRandom);
    Press(d.CBCrop);
    Key(d.CmbCellSize, Qt::Key_Down);
  });
  EXPECT_FALSE(f.MenuAssortir->isChecked());
  EXPECT_FALSE(f.MenuRecadrer->isChecked());
  EXPECT_EQ(f.EdiTaille->Text(), QStringLiteral("15 pixels"));
  EXPECT_EQ(f.Mosaic.Options.CellSize, 15);
  // "Create the mosaic" takes the check items as they stand.
  f.MenuAssortir->trigger();
  Run([](TMosaicOptionsForm& d) { EXPECT_TRUE(d.RBMatched->isChecked()); });
  EXPECT_TRUE(f.MenuAssortir->isChecked());
}

// A poster in the window's unit sets the scale from the picture "Check size"
// makes, shows the tile's printed size, and warns under 1 cm.
TEST_F(MosaicOptionsTest, PosterSetsTheScaleAndWarnsOfSmallTiles) {
  TMainForm& f = OpenPicture(400, 300);  // "Check size": a 1600 x 1200 mosaic at scale 1
  auto type = [](QAbstractSpinBox* box, const QString& text) {
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, text);
  };
  Run([&](TMosaicOptionsForm& d) {
    EXPECT_TRUE(d.CBPoster->isEnabled());
    EXPECT_FALSE(d.SpPosterWidth->isEnabled());
    Press(d.CBPoster);
    EXPECT_FALSE(d.SpScale->isEnabled());
    EXPECT_EQ(d.SpPosterWidth->suffix(), QStringLiteral(" cm"));
    // 160 x 120 cm: 0.1 cm a pixel, 5.9 pixels at 150 dpi: scale 6; a 2 cm tile.
    type(d.SpPosterWidth, QStringLiteral("160"));
    type(d.SpPosterHeight, QStringLiteral("120"));
    type(d.SpDpi, QStringLiteral("150"));
    EXPECT_EQ(d.SpScale->value(), 6);
    EXPECT_TRUE(d.LblPrint->text().contains(QStringLiteral("2.00 x 2.00 cm"))) << d.LblPrint->text().toStdString();
    EXPECT_TRUE(d.LblWarning->text().isEmpty()) << d.LblWarning->text().toStdString();
    // 60 x 40 cm: a tile of 0.67 cm.
    type(d.SpPosterWidth, QStringLiteral("60"));
    type(d.SpPosterHeight, QStringLiteral("40"));
    EXPECT_TRUE(d.LblWarning->text().contains(QStringLiteral("smaller than 1 cm")));
    EXPECT_EQ(d.SpScale->value(), 2);
  });
  EXPECT_EQ(f.Mosaic.Options.Scale, 2);

  // In inches the poster kept from the last showing is converted, and a
  // poster beyond the largest scale says so.
  f.MenuUnitPouces->trigger();
  Run([&](TMosaicOptionsForm& d) {
    EXPECT_EQ(d.SpPosterWidth->suffix(), QStringLiteral(" in"));
    EXPECT_NEAR(d.SpPosterWidth->value(), 60 / 2.54, 0.05);
    type(d.SpPosterWidth, QStringLiteral("400"));
    type(d.SpPosterHeight, QStringLiteral("300"));
    type(d.SpDpi, QStringLiteral("300"));
    EXPECT_EQ(d.SpScale->value(), 8);
    EXPECT_TRUE(d.LblWarning->text().contains(QStringLiteral("needs a scale of 75")))
        << d.LblWarning->text().toStdString();
    EXPECT_FALSE(d.LblWarning->text().contains(QStringLiteral("1 cm")));
    // At full size the poster is saved straight into a file.
    EXPECT_TRUE(d.BSavePoster->isVisible());
    EXPECT_EQ(d.PosterScale(), 75);
  });
  EXPECT_EQ(f.Mosaic.Options.Scale, 8);
}

// Without a picture the poster cannot be sized: the scale is chosen as is.
TEST_F(MosaicOptionsTest, WithoutAPictureTheScaleIsChosenDirectly) {
  Make();
  Run([](TMosaicOptionsForm& d) {
    EXPECT_FALSE(d.CBPoster->isEnabled());
    EXPECT_TRUE(d.SpScale->isEnabled());
    EXPECT_TRUE(d.LblWarning->text().isEmpty());
  });
}

// The dialog's options survive a restart through the settings file; back at
// their defaults, and left untouched, the file is as the window wrote it
// before.
TEST_F(MosaicOptionsTest, SettingsRoundTripAndUntouchedAtDefaults) {
  Make();
  Quit();
  const QByteArray plain = ReadIni();
  ASSERT_FALSE(plain.isEmpty());
  Make();
  Run([](TMosaicOptionsForm&) {});
  Quit();
  EXPECT_EQ(ReadIni(), plain);

  Make();
  auto away = [](TMosaicOptionsForm& d) {
    Press(d.CBSubFolders);
    Press(d.RBMatched);
    Key(d.SlTint, Qt::Key_Home);
    Key(d.CmbTintMode, Qt::Key_Down);
    Key(d.SpRepeat, Qt::Key_Up);
    Press(d.CBMaxUses);
    Press(d.CBUseAll);
    Key(d.CmbShape, Qt::Key_Down);
    Key(d.SpScale, Qt::Key_Up);
  };
  Run(away);
  const TMosaicOptions chosen = Form->Mosaic.Options;
  Quit();
  const QByteArray text = ReadIni();
  for (const char* line : {"Recursive=1", "MatchColours=1", "TintLimit=0", "TintMode=whole", "RepeatDistance=4",
                           "MaxUses=1", "UseAll=1", "TileAspect=4:3", "Scale=2"})
    EXPECT_TRUE(text.contains(line)) << line << "\n" << text.constData();
  TMainForm& f = Make();
  // "Match colours" comes back in the mosaic's options and on its check item.
  EXPECT_EQ(f.Mosaic.Options, chosen);
  EXPECT_TRUE(f.MenuAssortir->isChecked());

  Run([](TMosaicOptionsForm& d) {
    Press(d.CBSubFolders);
    Key(d.SlTint, Qt::Key_Home);
    for (int i = 0; i < 25; ++i) Key(d.SlTint, Qt::Key_Right);
    Key(d.CmbTintMode, Qt::Key_Up);
    Key(d.SpRepeat, Qt::Key_Down);
    Press(d.CBMaxUses);
    Press(d.CBUseAll);
    Key(d.CmbShape, Qt::Key_Home);
    Key(d.SpScale, Qt::Key_Down);
    Press(d.RBRandom);
  });
  Quit();
  EXPECT_EQ(ReadIni(), plain);
}

// The Options menu's check items write into the mosaic's options as they
// change, each its own option and no other, before any mosaic is made.
TEST_F(MosaicOptionsTest, CheckItemsWriteIntoTheOptions) {
  TMainForm& f = Make();
  const std::pair<QAction*, bool TMosaicOptions::*> items[] = {{f.MenuVerifierTaille, &TMosaicOptions::CheckSize},
                                                               {f.MenuLisser, &TMosaicOptions::Antialias},
                                                               {f.MenuAssortir, &TMosaicOptions::MatchColours},
                                                               {f.MenuRecadrer, &TMosaicOptions::CropSquare}};
  for (const auto& [item, option] : items) {
    SCOPED_TRACE(item->text().toStdString());
    const TMosaicOptions before = f.Mosaic.Options;
    item->trigger();
    TMosaicOptions expected = before;
    expected.*option = !(before.*option);
    EXPECT_EQ(f.Mosaic.Options, expected);
    EXPECT_EQ(item->isChecked(), expected.*option);
    item->trigger();
    EXPECT_EQ(f.Mosaic.Options, before);
  }
}

// A first start, without a settings file, gives the mosaic the options'
// own defaults, and the window's edit and check items show them.
TEST_F(MosaicOptionsTest, AFirstStartHasTheOptionsDefaults) {
  TMainForm& f = Make();
  EXPECT_EQ(f.Mosaic.Options, TMosaicOptions());
  EXPECT_EQ(f.EdiTaille->Text(), QStringLiteral("%1 pixels").arg(TMosaicOptions().CellSize));
  EXPECT_EQ(f.MenuVerifierTaille->isChecked(), TMosaicOptions().CheckSize);
  EXPECT_EQ(f.MenuLisser->isChecked(), TMosaicOptions().Antialias);
  EXPECT_EQ(f.MenuAssortir->isChecked(), TMosaicOptions().MatchColours);
  EXPECT_EQ(f.MenuRecadrer->isChecked(), TMosaicOptions().CropSquare);
}

}  // namespace
