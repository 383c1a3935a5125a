#pragma once
// Unit Apropos.
// The about box: the product's name and artwork, the build's version, a
// short notice and two links, to the information page and to the bundled
// sample pictures (the program has no web address of its own).
#include <QDialog>
#include <QImage>
#include <QUrl>

class QLabel;
class QPushButton;

// The 96 x 200 artwork: a moon over the sea laid as a mosaic of small tiles,
// drawn here so that the program carries no picture from elsewhere.
QImage AproposArtwork();

class TAProposForm : public QDialog {
 public:
  explicit TAProposForm(QWidget* parent = nullptr);

  QLabel* Image1 = nullptr;
  QLabel* ProductName = nullptr;
  QLabel* Version = nullptr;
  QLabel* URL = nullptr;
  QLabel* Label2 = nullptr;
  QPushButton* Button1 = nullptr;

  // The addresses the two links open.
  QUrl InfoPageUrl() const { return m_infoUrl; }
  QUrl SampleFolderUrl() const { return m_sampleUrl; }

  // Opens the address of the clicked link.
  void URLClick(QLabel* sender);

 private:
  QUrl m_infoUrl;
  QUrl m_sampleUrl;
};

// "Version X.Y (Month YYYY)" of this build.
QString VersionText();
