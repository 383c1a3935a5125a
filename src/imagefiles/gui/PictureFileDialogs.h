#pragma once
// Unit MyDlgs.
// The picture file dialogs of the load and save dispatch: the toolkit's own
// (non-native) file dialog, which filters without regard to letter case and
// can take a panel beside its file list.
//  - TOpenPictureDialog adds a "Preview" switch, the chosen picture drawn in
//    a framed box with a shadow, and four lines about the file (size in
//    pixels, colour depth, file size, date).
//  - TMySaveDialog keeps the extension of the typed name in step with the
//    chosen file type.
// OpenPictureDialog and SavePictureDialog are the program's open and save
// steps: they run these dialogs when no file name is given, then call the
// load and save dispatch with the name chosen.
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

  // The dispatch's filter ("desc|pattern|...") and the 1-based entry to
  // start on (the first when out of range).
  void SetFilter(const QString& filter, int filterIndex = 1);
  // 1-based index of the chosen entry.
  int FilterIndex() const;

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
  // The full size and the colour depth of the file previewed last.
  int PictureWidth = 0;
  int PictureHeight = 0;
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
  bool m_settingFilter = false;  // the program, not the user, is choosing the type
};

// What the open and save steps ask of their dialogs. Each returns true when
// the user confirmed and fills fileName.
class TPictureFileDialogs {
 public:
  virtual ~TPictureFileDialogs() = default;
  // filterIndex (1-based) and previewEnabled: the entry to start on and the
  // preview switch in, their final states out.
  virtual bool RunOpenDialog(QString& fileName, const QString& filter, int& filterIndex, const QString& initialDir,
                             bool& previewEnabled) = 0;
  // filterIndex is 1-based; initialDir may be empty; fileName holds the
  // suggested name (possibly empty) on the way in.
  virtual bool RunSaveDialog(QString& fileName, const QString& filter, int filterIndex, const QString& initialDir,
                             const QString& defaultExt) = 0;
};

// The program's own: TOpenPictureDialog and TMySaveDialog.
class TGuiPictureFileDialogs : public TPictureFileDialogs {
 public:
  bool RunOpenDialog(QString& fileName, const QString& filter, int& filterIndex, const QString& initialDir,
                     bool& previewEnabled) override;
  bool RunSaveDialog(QString& fileName, const QString& filter, int filterIndex, const QString& initialDir,
                     const QString& defaultExt) override;
};

// The dialogs the open and save steps run from now on (nullptr: the
// program's own, the default); returns the previous ones. Tests answer the
// dialogs from a script through it.
TPictureFileDialogs* SetPictureFileDialogs(TPictureFileDialogs* dialogs);

// The save dialog of the open and save steps for another kind of file (a
// poster, a tile map, a report): the dialogs set above answer it as they
// answer those steps. filter as the dispatch's ("desc|pattern|..."); true
// with fileName when the user confirmed.
bool ChooseSaveFile(QString& fileName, const QString& filter, const QString& initialDir, const QString& defaultExt);

// Opens the file fileName names, or when it is empty the one the user
// chooses in the open dialog (started in initialDir, on the filter entry and
// with the preview switch the context kept from the last one, and keeping
// theirs in turn); fileName becomes the name chosen. Results as LoadPicture: > 0 loaded, 0 nothing
// done (cancelled or vetoed), < 0 failed and reported.
int OpenPictureDialog(TPictureFileContext& context, QString& fileName, TBitmap& bitmap, const QString& initialDir);

// Saves as fileName, or when it is empty as the name the user chooses in the
// save dialog. suggestion: a folder to start in, or a file name offered in
// the dialog whose extension chooses the first file type (a name whose
// extension is no save format's loses it); may be empty. Results as
// SavePicture.
int SavePictureDialog(TPictureFileContext& context, QString& fileName, const TBitmap& bitmap,
                      const QString& suggestion);
