#pragma once
// TMainForm: the application's window. It holds the document (the working
// picture, which the view shows, the one-step undo copy, the count of unsaved
// changes, the file it came from), offers every command through the menus,
// the toolbar, the two value edits of the tool panel and the view's context
// menu (one action per command, shared by all three), and shows the state in
// a three-panel status bar.
//
// The class is split by aspect: MainForm.cpp (start-up, shut-down, enabling
// rules, the command guard), MainForm_File.cpp, MainForm_Edit.cpp,
// MainForm_View.cpp (zoom, status, wait and progress), MainForm_Mosaic.cpp,
// MainForm_Report.cpp (the mosaic report), MainForm_Export.cpp (the poster,
// the zoomable page, the tile map and report files), MainForm_Inspect.cpp (a matched
// mosaic's cells under the mouse), MainForm_Image.cpp (the image size
// command), MainForm_Settings.cpp (the settings file and the recent files),
// MainForm_Help.cpp.
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

#include "document/Document.h"
#include "imagefiles/PictureFiles.h"
#include "mosaic/MosaicCommand.h"
#include "raster/Bitmap.h"

class QAction;
class QActionGroup;
class QFrame;
class QLabel;
class QMenu;
class QPainter;
class QToolBar;
class TAProposForm;
class TMyImage;
class TRedimForm;
class TImprForm;
class TMosaicOptionsForm;
class TMosaicReportForm;
class TSkipReportForm;
class TAnnulerForm;
class TSpecialEdit;

// What the window says when a command runs out of memory.
constexpr const char* NotEnoughMemoryText = "Not enough memory.";

class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  // arguments: the command line without the program's name; the first one,
  // if any, is a picture opened once the window is shown. programFolder: the
  // folder the open folder and the settings file start from; empty means the
  // executable's (tests give a temporary folder, so that no run touches the
  // user's settings).
  explicit TMainForm(const QStringList& arguments = {}, QWidget* parent = nullptr,
                     const QString& programFolder = QString());
  ~TMainForm() override;

  // The document and the window's state.
  TDocument Document;
  TMyImage* ImageView = nullptr;  // shows the document's picture
  QString IniFileName;
  // Cell size, thumbnails folder and its staleness, the thumbnail list and
  // the mosaic options live with the mosaic command.
  TMosaicCommand Mosaic;
  // What the last mosaic run returned: its load, and for a matched mosaic
  // where each photo went (the inspection, the report, the exports).
  TMosaicResult MosaicResult;
  QString OpenFolder;  // with a trailing separator
  QString SaveFolder;
  QStringList RecentFiles;
  bool PrinterPresent = false;
  TPictureFileContext PictureFiles;  // the open and save commands' (errors shown, JPEG options asked)

  // The commands: one action each, shown by the menu, the toolbar and the
  // context menu alike (the toolbar shows the tooltip, the menus the caption
  // with its shortcut).
  QAction* MenuFichierOuvrir = nullptr;       // "Open..."
  QAction* MenuFichierEnregistrer = nullptr;  // "Save as..."
  QAction* MenuFichierFermer = nullptr;       // "Close"
  QAction* MenuFichierQuitter = nullptr;      // "Exit"
  QAction* MenuEditionAnnuler = nullptr;      // "Cancel": the one-step undo
  QAction* MenuEditionCopier = nullptr;       // "Copy"
  QAction* MenuEditionColler = nullptr;       // "Paste"
  QAction* MenuActionMosaique = nullptr;      // "Create the mosaic"
  QAction* MenuActionOptions = nullptr;       // "Mosaic options..."
  QAction* MenuActionRapport = nullptr;       // "Mosaic report...": after a matched mosaic
  QAction* MenuActionPoster = nullptr;        // "Save poster..."
  QAction* MenuActionPage = nullptr;          // "Export zoomable page...": a mosaic on screen
  QAction* MenuActionTileMap = nullptr;       // "Save tile map...": a matched mosaic on screen
  QAction* MenuActionReport = nullptr;        // "Save report...": a matched mosaic on screen
  QAction* PopOuvrirPhoto = nullptr;          // "Open this photo": the one under the mouse
  QAction* MenuActionRedim = nullptr;         // "Image size..."
  QAction* MenuFichierImprimer = nullptr;     // "Print..."
  // The same actions by the names of the toolbar and context menu items.
  QAction*& BtnOuvrir = MenuFichierOuvrir;
  QAction*& BtnEnregistrer = MenuFichierEnregistrer;
  QAction*& BtnImprimer = MenuFichierImprimer;
  QAction*& BtnAction = MenuActionMosaique;
  QAction*& BtnOptions = MenuActionOptions;
  QAction*& BtnRedim = MenuActionRedim;
  QAction*& BtnAnnuler = MenuEditionAnnuler;
  QAction*& PopMosaique = MenuActionMosaique;
  QAction*& PopOuvrir = MenuFichierOuvrir;
  QAction*& PopEnregistrer = MenuFichierEnregistrer;
  QAction*& PopFermer = MenuFichierFermer;
  QAction*& PopCopier = MenuEditionCopier;
  QAction*& PopColler = MenuEditionColler;
  QAction*& PopAnnuler = MenuEditionAnnuler;

  // Tool panel.
  QWidget* PnlOutils = nullptr;
  QFrame* Bevel1 = nullptr;
  QFrame* Bevel5 = nullptr;
  QToolBar* ToolBar = nullptr;
  TSpecialEdit* EdiTaille = nullptr;
  TSpecialEdit* EdiZoom = nullptr;
  QMenu* PopTaille = nullptr;
  QMenu* PopZoom = nullptr;

  // Main menu.
  QMenu* MenuFichier = nullptr;
  QAction* MenuFichierN[4] = {};
  QAction* MenuFichierSep = nullptr;
  QMenu* MenuEdition = nullptr;
  QMenu* MenuAction = nullptr;
  QMenu* MenuOptions = nullptr;
  QAction* MenuVerifierTaille = nullptr;
  QAction* MenuLisser = nullptr;
  QAction* MenuAssortir = nullptr;  // "Match colours"
  QAction* MenuRecadrer = nullptr;  // "Crop to square"
  QAction* MenuVignettes = nullptr;
  QMenu* MenuUnit = nullptr;
  QAction* MenuUnitCm = nullptr;
  QAction* MenuUnitPouces = nullptr;
  QMenu* MenuAide = nullptr;
  QAction* MenuInformations = nullptr;
  QAction* MenuWeb = nullptr;
  QAction* MenuAPropos = nullptr;

  // The view's context menu.
  QMenu* PopImage = nullptr;

  // Status bar panels: state, picture size, file name.
  QLabel* StatusPanel[3] = {};

  // The document by the window's long-standing names.
  TBitmap& WorkingImage() { return Document.Picture(); }
  int ChangeCount() const { return Document.ChangeCount(); }
  const QString& CurrentFile() const { return Document.FileName(); }
  // The snapshot before a change (warns when memory ran out for the copy; the
  // change goes on without one), and dropping the undo copy. The commands
  // follow through the document's notice, as after every change.
  void SaveUndo();
  void ClearUndo();

  // Waits from construction to destruction (hourglass, status text, the
  // commands disabled), however the step leaves.
  class TWait {
   public:
    TWait(TMainForm& form, const QString& text) : m_form(form) { m_form.BeginWait(text); }
    ~TWait() { m_form.EndWait(); }
    TWait(const TWait&) = delete;
    TWait& operator=(const TWait&) = delete;

   private:
    TMainForm& m_form;
  };

  // Operations other parts of the program call.
  void UpdateCommands();
  void BeginWait(const QString& text);
  void EndWait();
  void ShowProgress(int percent);
  void ShowThumbnailCount(int count);
  void ShowFileProgress(int done, int found);
  // The status bar's progress texts as a sink for the mosaic command.
  TMosaicProgress MosaicProgress();
  void ChooseZoomItem();
  // After a command changed the picture's size: the zoom item is chosen
  // again when the program chose the current one (not the user).
  void PictureResized();
  void ApplyZoom();
  // "Ready", then the picture's size and file name.
  void UpdateStatus();
  // The picture's size and file name in the status bar (cleared without one).
  void ShowPictureStatus();
  void RefreshView();
  void OpenFile(const QString& name, bool remember);
  bool ConfirmSave();
  // True from BeginWait to the matching EndWait: the commands are disabled
  // and refuse to start.
  bool Busy() const { return m_waitDepth > 0; }

  // Settings file and recent files.
  void LoadSettings();
  void SaveSettings();
  void AddRecentFile(const QString& fileName);
  QString RecentCaption(int index) const;

  // The image size dialog, made on first use and kept.
  std::unique_ptr<TRedimForm> RedimForm;
  // Made on first use; the print dialog again after a change of unit.
  QPointer<TImprForm> ImprForm;
  QPointer<TAnnulerForm> AnnulerForm;
  // "Mosaic options...", made on first use and kept (the poster stays).
  std::unique_ptr<TMosaicOptionsForm> MosaicOptionsForm;
  // "Mosaic report", made on first use; not modal.
  QPointer<TMosaicReportForm> MosaicReportForm;
  // After "Create the mosaic": a matched mosaic shows its report, any other
  // hides a report left open. A thumbnail load that stopped at a file says
  // so; a library load that skipped files shows "N files skipped" in the
  // status bar, which opens their list.
  void MosaicBuilt();
  QLabel* SkippedLink = nullptr;  // "N files skipped"; hidden when none
  QPointer<TSkipReportForm> SkipReportForm;
  void ShowSkipReport();
  // The inspection of a matched mosaic while the picture is that mosaic: the
  // cell under the mouse is outlined and its photo named in the status bar.
  // The cell (row by row) under a point of the view's viewport, -1 outside
  // the mosaic or when the picture is no longer it.
  int CellAt(QPoint viewportPoint) const;
  int InspectedCell() const { return Inspecting() ? m_inspectedCell : -1; }
  bool Inspecting() const;
  // Ends the inspection once the picture is no longer the mosaic.
  void CheckInspection();
  // While the space bar is held on the view, the view shows the picture as
  // it was before the mosaic (the undo copy) in the mosaic's place.
  bool Comparing() const { return m_comparing && Inspecting() && !Document.UndoCopy().Empty(); }
  void SetComparing(bool comparing);
  // Whether the picture on screen is still the mosaic the last run made
  // here (matched or random): the one MosaicResult describes.
  bool ShowsMosaic() const;
  // The mosaic of the picture in the window at scale, drawn into a file the
  // user chooses (in bands when it is beyond what memory holds); the
  // window's picture and undo stay as they are.
  void SavePoster(int scale);
  // The folder chooser of "Export zoomable page..." (SelectFolder by
  // default): the folder chosen, empty when cancelled.
  std::function<QString(const QString& title, const QString& start)> ChooseFolder;
  // Opens the exported page in the desktop's browser (through UrlOpener by
  // default).
  std::function<bool(const QUrl&)> OpenInBrowser;
  // Resizes the picture to newWidth x newHeight, smoothed or not, as one
  // undoable change (ResizePicture), and shows the result.
  void ResizeImage(int newWidth, int newHeight, bool smooth);

  // Command handlers.
  void MenuFichierOuvrirClick();
  int MenuFichierEnregistrerClick();  // the dispatch's result (> 0: saved)
  void MenuFichierFermerClick();
  void MenuFichierClick();
  void MenuFichierNClick(int tag);
  void MenuFichierQuitterClick();
  void MenuEditionClick();
  void MenuEditionAnnulerClick();
  void MenuEditionCopierClick();
  void MenuEditionCollerClick();
  void MenuActionMosaiqueClick();
  void MenuActionOptionsClick();
  void MenuActionRapportClick();
  void MenuActionPosterClick();
  void MenuActionPageClick();
  void MenuActionTileMapClick();
  void MenuActionReportClick();
  void PopOuvrirPhotoClick();
  void MenuActionRedimClick();
  void MenuFichierImprimerClick();
  void MenuVignettesClick();
  void MenuUnitCmClick(QAction* sender);
  void MenuInformationsClick();
  void MenuWebClick();
  void MenuAProposClick();
  void PopImagePopup();
  void EdiTailleChange();
  void EdiZoomSelectItem(bool changed);
  void EdiZoomDisplayText(QString& text);

  // Where the information page is looked for, and whether the clipboard holds
  // a picture "Paste" can take.
  static QString InformationPagePath();
  // Opens a page in the desktop's browser; false when none could be
  // started. Replaceable, so that a desktop without one can be tried.
  static std::function<bool(const QUrl&)>& UrlOpener();
  static bool ClipboardHasPicture();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // The document's notice: the view, the status bar and the commands follow
  // every change of the picture, its undo and its name.
  void DocumentChanged(const TDocumentChange& change);
  TDocument::TSubscription m_documentNotice;
  void CreateCommands();
  void CreateToolPanel();
  void CreateMenus();
  void CreateStatusBar();
  void BuildToolbarImages();
  void ApplyShortcutTexts();
  void UpdatePaste();
  void OpenCommandLineFile();
  // Runs a command: refused while another one runs; an exception leaving it
  // ends every wait and is shown as an error, never crossing the event loop.
  void Guarded(const std::function<void()>& command);
  QAction* Command(const QString& caption, void (TMainForm::*handler)());
  // The cell size the edit's text names ("20 pixels": its first two
  // characters), 0 when it names none.
  int ChosenCellSize() const;
  // Shows the mosaic's options on the cell-size edit and the check items.
  void ShowMosaicOptions();

  QStringList m_arguments;
  bool m_argumentHandled = false;
  // The window's state as the close was accepted (the settings are written
  // later, as the window is destroyed); unset until then.
  std::optional<bool> m_maximizedAtClose;
  int m_waitDepth = 0;
  std::unique_ptr<TAProposForm> m_aproposForm;
  bool m_zoomChosenByProgram = false;  // the zoom item is ChooseZoomItem's
  void StartInspection();
  void InspectAt(QPoint viewportPoint);
  void PaintInspection(QPainter& canvas);
  qint64 m_inspectedPicture = 0;  // the mosaic's pixels (QImage::cacheKey); 0: none
  qint64 m_mosaicPicture = 0;     // the same for any mosaic the last run made
  // The save error of an output, unless the save dispatch has shown it.
  void ShowOutputFailure(const TOutputFailure& failure);
  int m_inspectedCell = -1;
  bool m_comparing = false;
  QObject* m_compareKey = nullptr;  // the view's space bar
  QString m_inspectStatus, m_statusBeforeInspect;
};
