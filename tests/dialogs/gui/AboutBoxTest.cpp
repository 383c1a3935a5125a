#include "dialogs/gui/AboutBox.h"

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include "app/Version.h"

namespace {

// Catches the addresses the links open instead of starting a browser.
class UrlCatcher : public QObject {
  Q_OBJECT

 public:
  UrlCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "Open"); }
  ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
  QList<QUrl> opened;

 public slots:
  void Open(const QUrl& url) { opened.append(url); }
};

TEST(Apropos, LayoutVersionAndArtwork) {
  TAProposForm box;
  box.show();
  EXPECT_EQ(box.windowTitle(), "About Tesselune");
  EXPECT_GE(box.width(), 337);
  EXPECT_EQ(box.height(), 292);
  // Every text fits inside the panel, whatever the font.
  const QWidget* panel = box.ProductName->parentWidget();
  for (const QLabel* label : {box.ProductName, box.Version, box.URL, box.Label2})
    EXPECT_LE(label->geometry().right(), panel->width() - 12) << label->text().toStdString();
  EXPECT_EQ(box.ProductName->text(), "Tesselune");
  EXPECT_TRUE(box.ProductName->font().bold());
  EXPECT_EQ(box.Version->text(), VersionText());
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^Version \\d+\\.\\d+ \\([A-Z][a-z]+ \\d{4}\\)$"))
                  .match(box.Version->text())
                  .hasMatch())
      << box.Version->text().toStdString();
  EXPECT_TRUE(box.Version->text().startsWith(QStringLiteral("Version " TESSELUNE_VERSION_TEXT " (")));
  EXPECT_EQ(box.Button1->geometry(), QRect(box.width() - 91, 252, 75, 25));

  // The artwork: 96 x 200, tiles of many colours in dark joints.
  const QImage art = AproposArtwork();
  EXPECT_EQ(art.size(), QSize(96, 200));
  EXPECT_EQ(box.Image1->pixmap().size(), QSize(96, 200));
  QSet<QRgb> colours;
  for (int y = 0; y < 200; y += 3)
    for (int x = 0; x < 96; x += 3) colours.insert(art.pixel(x, y));
  EXPECT_GT(colours.size(), 40);
  EXPECT_EQ(art.pixel(7, 3), art.pixel(15, 50));  // joints share one colour

  QTest::mouseClick(box.Button1, Qt::LeftButton);
  EXPECT_EQ(box.result(), 1);
}

TEST(Apropos, LinksOpenTheInformationPageAndTheSamples) {
  UrlCatcher catcher;
  TAProposForm box;
  box.show();
  EXPECT_TRUE(box.URL->font().underline());
  EXPECT_EQ(box.URL->palette().color(QPalette::WindowText), QColor(Qt::blue));
  EXPECT_EQ(box.URL->cursor().shape(), Qt::PointingHandCursor);
  QTest::mouseClick(box.URL, Qt::LeftButton);
  QTest::mouseClick(box.Label2, Qt::LeftButton);
  ASSERT_EQ(catcher.opened.size(), 2);
  EXPECT_TRUE(catcher.opened[0].toLocalFile().endsWith(QStringLiteral(".htm")));
  EXPECT_EQ(QFileInfo(catcher.opened[1].toLocalFile()).fileName(), "Thumbnails");
  EXPECT_EQ(catcher.opened[0], box.InfoPageUrl());
  EXPECT_EQ(box.URL->text(), QFileInfo(box.InfoPageUrl().toLocalFile()).fileName());
}

}  // namespace

#include "AboutBoxTest.moc"
