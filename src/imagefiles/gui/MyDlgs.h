#pragma once
// The picture file dialogs of the load and save dispatch: the toolkit's own
// (non-native) file dialog, which filters without regard to letter case and
// can take a panel beside its file list.
//  - TOpenPictureDialog adds a "Preview" switch, the chosen picture drawn in
//    a framed box with a shadow, and four lines about the file (size in
//    pixels, colour depth, file size, date).
//  - TMySaveDialog keeps the extension of the typed name in step with the
//    chosen file type.
#include <QFileDialog>
#include <QString>
#include <QStringList>

#include "imagefiles/PictureFiles.h"
#include "raster/Bitmap.h"

class QCheckBox;
class QFrame;
class QLabel;

// "desc|pattern|desc|pattern" (patterns separated by ";") as the toolkit's
// name filters "desc (p1 p2)"; a description that already ends with its
// patterns in brackets is not given them twice.
QStringList NameFiltersOf(const QString& filter);

// The typed name with the extension of its file-name part replaced by ext
// (appended when it has none). A dot in a folder name is not an extension;
// an empty name stays empty, and so does everything when ext is empty or
// a wildcard.
QString ReplaceTypedExtension(const QString& typed, const QString& ext);

class TOpenPictureDialog : public QFileDialog {
 public:
  explicit TOpenPictureDialog(QWidget* parent = nullptr);

  // The dispatch's filter ("desc|pattern|...").
  void SetFilter(const QString& filter);

  bool Preview() const;
  void SetPreview(bool preview);

  // Runs the dialog with the ordinary cursor; true when a file was chosen.
  bool Execute();

  // Loads the preview and the information lines of name (the current file).
  void UpdatePreview(const QString& name);
  const QString& CurrentFile() const { return m_currentFile; }

  QWidget* PicturePanel = nullptr;
  QCheckBox* PreviewCheck = nullptr;
  QWidget* PaintBox = nullptr;
  QLabel* InfoLabel = nullptr;
  QFrame* SepPanel = nullptr;
  QLabel* PictureLabel = nullptr;
  // After drawing: the whole preview area as painted.
  TBitmap PreviewBitmap;
  // The colour depth the previewed file was stored in.
  TPixelFormat PreviewFormat = pf24bit;
  // True while the dialog is on screen.
  bool Showing = false;

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  void DrawPreview(bool ok, TBitmap& picture);
  QString InfoText(bool ok, const QString& name) const;

  QString m_currentFile;
};

class TMySaveDialog : public QFileDialog {
 public:
  explicit TMySaveDialog(QWidget* parent = nullptr);

  // The dispatch's filter and the 1-based entry to start on.
  void SetFilter(const QString& filter, int filterIndex);
  // 1-based index of the chosen type.
  int FilterIndex() const;

  // The text of the file-name box.
  QString TypedName() const;
  void SetTypedName(const QString& name);

  // The chosen type changed: the typed name takes its first extension.
  void DoTypeChange();

 private:
  QString m_filter;
};

// The dialogs as the dispatch runs them (TPictureFileDialogs).
class TGuiPictureFileDialogs : public TPictureFileDialogs {
 public:
  bool RunOpenDialog(QString& fileName, const QString& filter, const QString& initialDir,
                     bool& previewEnabled) override;
  bool RunSaveDialog(QString& fileName, const QString& filter, int filterIndex, const QString& initialDir,
                     const QString& defaultExt) override;
};

// Makes the dispatch use these dialogs (PictureFileDialogs).
void InstallPictureFileDialogs();
