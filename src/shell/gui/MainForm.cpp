// Start-up, shut-down, the enabling rules and the command guard.
#include "shell/gui/MainForm.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPrinterInfo>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <iterator>
#include <new>
#include <utility>

#include "app/IniFile.h"
#include "app/InterfaceTexts.h"
#include "app/MyMenu.h"
#include "app/MyMsgDlg.h"
#include "app/PathAndTextHelpers.h"
#include "app/gui/MenuStyle.h"
#include "app/gui/SelDir.h"
#include "controls/gui/SpecialEdit.h"
#include "dialogs/gui/AboutBox.h"
#include "dialogs/gui/ImageSizeDialog.h"
#include "dialogs/gui/MosaicOptions.h"
#include "dialogs/gui/PrintCancelWindow.h"
#include "dialogs/gui/PrintLayoutDialog.h"
#include "display/gui/ImageView.h"
#include "imagefiles/gui/JPGCompress.h"

namespace {

// Toolbar buttons as laid out: 46 x 40, pictures 39 x 34.
constexpr int ButtonWidth = 46;
constexpr int ButtonHeight = 40;

QFrame* Line(QWidget* parent, QFrame::Shape shape, const QRect& geometry) {
  auto* line = new QFrame(parent);
  line->setFrameShape(shape);
  line->setFrameShadow(QFrame::Sunken);
  line->setGeometry(geometry);
  return line;
}

// "Mosaic options": a block of tiles above a slider, drawn in the buttons'
// picture size (no designed picture for it).
QImage OptionsButtonPicture() {
  QImage image(39, 34, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  const QColor tiles[] = {QColor(200, 70, 60), QColor(230, 180, 60), QColor(70, 140, 200),
                          QColor(90, 170, 90), QColor(150, 90, 170), QColor(220, 120, 50)};
  for (int i = 0; i < 6; ++i) p.fillRect(QRect(8 + (i % 3) * 8, 4 + (i / 3) * 8, 7, 7), tiles[i]);
  p.fillRect(QRect(6, 25, 27, 2), QColor(60, 60, 60));
  p.fillRect(QRect(18, 22, 4, 8), QColor(40, 40, 40));
  return image;
}

QWidget* Gap(QWidget* parent, int width) {
  auto* gap = new QWidget(parent);
  gap->setFixedSize(width, ButtonHeight);
  return gap;
}

// The shortcuts of the menu items: shown through MenuShortCutToText, bound
// as keys of their own.
struct TItemShortCut {
  QAction* TMainForm::*Item;
  TShortCut ShortCut;
};

}  // namespace

TMainForm::TMainForm(const QStringList& arguments, QWidget* parent, const QString& programFolder)
    : QMainWindow(parent), m_arguments(arguments) {
  setWindowTitle(QStringLiteral("Tesselune"));
  resize(617, 447);
  setWindowIcon(QIcon(QStringLiteral(":/icons/tesselune-256.png")));

  // The toolkit's styles are always available and active here.
  ThemesActive = true;

  // The tool panel, the view on the application workspace colour, the menus
  // and the status bar; the window hears of every change to the document.
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  CreateCommands();
  CreateToolPanel();
  PnlOutils->setParent(central);
  column->addWidget(PnlOutils);
  ImageView = new TMyImage(central);
  ImageView->ShowBitmap(&Document.Picture());
  ImageView->SetColor(clAppWorkSpace);
  ImageView->SelectionMode = smNone;
  ImageView->SetOptimizeMode(omSystem);
  ImageView->SetBorderColor(0);
  ImageView->SetShadowSize(4);
  column->addWidget(ImageView, 1);
  setCentralWidget(central);
  CreateMenus();
  ImageView->SetPopupMenu(PopImage);
  CreateStatusBar();
  m_documentNotice = Document.Subscribe([this](const TDocumentChange& change) { DocumentChanged(change); });

  // A window that starts empty: "Ready", the mosaic's options on the edit
  // and the check items, the zoom "<Auto>", and a thumbnail list to load.
  StatusPanel[0]->setText(QStringLiteral("Ready"));
  ShowMosaicOptions();
  EdiZoom->SetItemIndex(0);
  Mosaic.ThumbnailsStale = true;
  UpdateCommands();

  // The open and save commands show their failures, ask the JPEG options
  // before a JPEG is written and hand pictures over as working images.
  PictureFiles.ShowFileErrors = true;
  PictureFiles.OnPictureFile = JpegSaveHandler;
  PictureFiles.WorkingLayout = true;
  ChooseFolder = SelectFolder;
  OpenInBrowser = [](const QUrl& url) { return UrlOpener()(url); };

  // The undo copy starts empty (the document's does); the folders
  // and the settings file sit beside the executable (the mosaic command finds
  // the bundled thumbnails, also in the installed data folder; the settings
  // go to the user's configuration folder when the program's folder cannot
  // be written).
  const QString folder = programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder;
  OpenFolder = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
  IniFileName = LocateSettingsFile(folder, QStringLiteral("Tesselune.ini"));
  RecentFiles.clear();

  // The settings, dropped files, and whether a printer is there to print on.
  LoadSettings();
  setAcceptDrops(true);
  PrinterPresent = !QPrinterInfo::availablePrinters().isEmpty();
  UpdateCommands();

  // The toolbar's pictures and, with the styles active, the owner-drawn
  // menus.
  BuildToolbarImages();
  if (ThemesActive) {
    menuBar()->setNativeMenuBar(false);
    OwnerDrawMenu(menuBar());
    OwnerDrawMenu(PopZoom);
    OwnerDrawMenu(PopTaille);
  }

  // The shortcut texts read the key names as they are now.
  SetEnglishTexts();
  ApplyShortcutTexts();

  connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &TMainForm::UpdatePaste);
  UpdatePaste();
}

TMainForm::~TMainForm() {
  // The view goes after the document (it is a child widget): it lets go of
  // the document's picture first.
  ImageView->ShowBitmap(nullptr);
  Mosaic.ImgVignettes.Clear();
  SaveSettings();
  RecentFiles.clear();
}

QAction* TMainForm::Command(const QString& caption, void (TMainForm::*handler)()) {
  auto* action = new QAction(caption, this);
  // The toolbar's pictures are for the toolbar: the menus show captions.
  action->setIconVisibleInMenu(false);
  if (handler)
    connect(action, &QAction::triggered, this, [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
  return action;
}

void TMainForm::CreateCommands() {
  MenuFichierOuvrir = Command(QStringLiteral("Open..."), &TMainForm::MenuFichierOuvrirClick);
  MenuFichierOuvrir->setToolTip(QStringLiteral("Open"));
  MenuFichierEnregistrer = Command(QStringLiteral("Save as..."), nullptr);
  connect(MenuFichierEnregistrer, &QAction::triggered, this,
          [this] { Guarded([this] { MenuFichierEnregistrerClick(); }); });
  MenuFichierEnregistrer->setToolTip(QStringLiteral("Save as"));
  MenuFichierFermer = Command(QStringLiteral("Close"), &TMainForm::MenuFichierFermerClick);
  MenuFichierQuitter = Command(QStringLiteral("Exit"), &TMainForm::MenuFichierQuitterClick);
  MenuEditionAnnuler = Command(QStringLiteral("Cancel"), &TMainForm::MenuEditionAnnulerClick);
  MenuEditionAnnuler->setToolTip(QStringLiteral("Cancel"));
  MenuEditionCopier = Command(QStringLiteral("Copy"), &TMainForm::MenuEditionCopierClick);
  MenuEditionColler = Command(QStringLiteral("Paste"), &TMainForm::MenuEditionCollerClick);
  MenuActionMosaique = Command(QStringLiteral("Create the mosaic"), &TMainForm::MenuActionMosaiqueClick);
  MenuActionMosaique->setToolTip(QStringLiteral("Create the mosaic"));
  MenuActionOptions = Command(QStringLiteral("Mosaic options..."), &TMainForm::MenuActionOptionsClick);
  MenuActionOptions->setToolTip(QStringLiteral("Mosaic options"));
  MenuActionRapport = Command(QStringLiteral("Mosaic report..."), &TMainForm::MenuActionRapportClick);
  MenuActionPoster = Command(QStringLiteral("Save poster..."), &TMainForm::MenuActionPosterClick);
  MenuActionPage = Command(QStringLiteral("Export zoomable page..."), &TMainForm::MenuActionPageClick);
  MenuActionTileMap = Command(QStringLiteral("Save tile map..."), &TMainForm::MenuActionTileMapClick);
  MenuActionReport = Command(QStringLiteral("Save report..."), &TMainForm::MenuActionReportClick);
  PopOuvrirPhoto = Command(QStringLiteral("Open this photo"), &TMainForm::PopOuvrirPhotoClick);
  PopOuvrirPhoto->setVisible(false);
  MenuActionRedim = Command(QStringLiteral("Image size..."), &TMainForm::MenuActionRedimClick);
  MenuActionRedim->setToolTip(QStringLiteral("Image size"));
  MenuFichierImprimer = Command(QStringLiteral("Print..."), &TMainForm::MenuFichierImprimerClick);
  MenuFichierImprimer->setToolTip(QStringLiteral("Print"));
}

void TMainForm::CreateToolPanel() {
  PnlOutils = new QWidget(this);
  PnlOutils->setFixedHeight(47);
  Bevel1 = Line(PnlOutils, QFrame::HLine, QRect(0, 0, 4000, 2));
  ToolBar = new QToolBar(PnlOutils);
  ToolBar->setMovable(false);
  ToolBar->setFloatable(false);
  ToolBar->setIconSize(QSize(39, 34));
  ToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  ToolBar->setStyleSheet(QStringLiteral("QToolBar { border: 0px; padding: 0px; spacing: 0px; }"));
  ToolBar->move(0, 2);
  auto button = [this](QAction* action) {
    ToolBar->addAction(action);
    if (auto* b = qobject_cast<QToolButton*>(ToolBar->widgetForAction(action))) {
      b->setFixedSize(ButtonWidth, ButtonHeight);
      b->setAutoRaise(true);
    }
  };
  button(BtnOuvrir);
  button(BtnEnregistrer);
  button(BtnImprimer);
  ToolBar->addWidget(Gap(ToolBar, 8));
  button(BtnAction);
  button(BtnOptions);
  button(BtnRedim);
  button(BtnAnnuler);
  ToolBar->addWidget(Gap(ToolBar, 8));
  ToolBar->adjustSize();

  PopTaille = new QMenu(this);
  // The largest size set apart.
  for (int size : CellSizes) {
    if (size == CellSizes[std::size(CellSizes) - 1]) PopTaille->addSeparator();
    PopTaille->addAction(QStringLiteral("%1 pixels").arg(size));
  }
  EdiTaille = new TSpecialEdit(PnlOutils);
  // The designed sizes, widened when the desktop's font needs more room for
  // the longest choice.
  const QFontMetrics fm(PnlOutils->font());
  const int sizeWidth = std::max(75, fm.horizontalAdvance(QStringLiteral("40 pixels")) + 15 + 10);
  const int zoomWidth = std::max(70, fm.horizontalAdvance(QStringLiteral("<Auto>")) + 15 + 10);
  const int height = std::max(21, fm.height() + 6);
  // Past the toolbar's seven buttons.
  EdiTaille->setGeometry(302 + ButtonWidth, 13, sizeWidth, height);
  EdiTaille->setToolTip(QStringLiteral("Mosaic cell size"));
  EdiTaille->SetButtonStyle(stDown);
  EdiTaille->SetShowButton(true);
  EdiTaille->SetDisabledColor(clNone);
  EdiTaille->SetDropDownMenu(PopTaille);
  EdiTaille->OnChange = [this] { Guarded([this] { EdiTailleChange(); }); };

  Bevel5 = Line(PnlOutils, QFrame::VLine, QRect(EdiTaille->x() + sizeWidth + 12, 6, 2, 35));

  PopZoom = new QMenu(this);
  for (const char* caption :
       {"<Auto>", "", "33%  (1:3)", "50%  (1:2)", "75%  (3:4)", "", "100%  (1:1)", "", "200%  (2:1)", "400%  (4:1)"}) {
    if (*caption)
      PopZoom->addAction(QString::fromLatin1(caption));
    else
      PopZoom->addSeparator();
  }
  EdiZoom = new TSpecialEdit(PnlOutils);
  EdiZoom->setGeometry(Bevel5->x() + 15, 13, zoomWidth, height);
  EdiZoom->setToolTip(QStringLiteral("Display zoom"));
  EdiZoom->SetButtonStyle(stDown);
  EdiZoom->SetShowButton(true);
  EdiZoom->SetDisabledColor(clNone);
  EdiZoom->SetDropDownMenu(PopZoom);
  EdiZoom->OnSelectItem = [this](TSpecialEdit&, bool changed) {
    Guarded([this, changed] { EdiZoomSelectItem(changed); });
  };
  EdiZoom->OnDisplayText = [this](TSpecialEdit&, QString& text) { EdiZoomDisplayText(text); };
}

void TMainForm::CreateMenus() {
  // A menu item of its own (the options, the units, the help commands).
  auto item = [this](QMenu* menu, const QString& caption, void (TMainForm::*handler)()) {
    QAction* action = Command(caption, handler);
    menu->addAction(action);
    return action;
  };
  QMenuBar* bar = menuBar();
  MenuFichier = bar->addMenu(QStringLiteral("File"));
  connect(MenuFichier, &QMenu::aboutToShow, this, &TMainForm::MenuFichierClick);
  MenuFichier->addActions({MenuFichierOuvrir, MenuFichierEnregistrer, MenuFichierFermer});
  MenuFichier->addSeparator();
  for (int tag = 0; tag < 4; ++tag) {
    // Captions and visibility come from the recent files when the menu opens.
    MenuFichierN[tag] = MenuFichier->addAction(QString());
    MenuFichierN[tag]->setVisible(false);
    connect(MenuFichierN[tag], &QAction::triggered, this,
            [this, tag] { Guarded([this, tag] { MenuFichierNClick(tag); }); });
  }
  MenuFichierSep = MenuFichier->addSeparator();
  MenuFichier->addAction(MenuFichierQuitter);

  MenuEdition = bar->addMenu(QStringLiteral("Edit"));
  connect(MenuEdition, &QMenu::aboutToShow, this, &TMainForm::MenuEditionClick);
  MenuEdition->addAction(MenuEditionAnnuler);
  MenuEdition->addSeparator();
  MenuEdition->addActions({MenuEditionCopier, MenuEditionColler});

  MenuAction = bar->addMenu(QStringLiteral("Action"));
  MenuAction->addAction(MenuActionMosaique);
  MenuAction->addAction(MenuActionOptions);
  MenuAction->addAction(MenuActionRapport);
  MenuAction->addSeparator();
  MenuAction->addActions({MenuActionPoster, MenuActionPage, MenuActionTileMap, MenuActionReport});
  MenuAction->addSeparator();
  MenuAction->addAction(MenuActionRedim);
  MenuAction->addSeparator();
  MenuAction->addAction(MenuFichierImprimer);

  MenuOptions = bar->addMenu(QStringLiteral("Options"));
  MenuVerifierTaille = item(MenuOptions, QStringLiteral("Check size"), nullptr);
  MenuLisser = item(MenuOptions, QStringLiteral("Antialias"), nullptr);
  MenuAssortir = item(MenuOptions, QStringLiteral("Match colours"), nullptr);
  MenuRecadrer = item(MenuOptions, QStringLiteral("Crop to square"), nullptr);
  // The options toggle their check marks, each written into the mosaic's
  // options as it changes; they start as the options do.
  for (const auto& [action, option] :
       {std::pair{MenuVerifierTaille, &TMosaicOptions::CheckSize}, std::pair{MenuLisser, &TMosaicOptions::Antialias},
        std::pair{MenuAssortir, &TMosaicOptions::MatchColours}, std::pair{MenuRecadrer, &TMosaicOptions::CropSquare}}) {
    action->setCheckable(true);
    action->setChecked(Mosaic.Options.*option);
    connect(action, &QAction::toggled, this, [this, option = option](bool on) { Mosaic.Options.*option = on; });
  }
  MenuOptions->addSeparator();
  MenuVignettes = item(MenuOptions, QStringLiteral("Thumbnails folder..."), &TMainForm::MenuVignettesClick);
  MenuUnit = MenuOptions->addMenu(QStringLiteral("Unit"));
  auto* units = new QActionGroup(this);
  MenuUnitCm = MenuUnit->addAction(QStringLiteral("Cm"));
  MenuUnitPouces = MenuUnit->addAction(QStringLiteral("Inch"));
  for (QAction* unit : {MenuUnitCm, MenuUnitPouces}) {
    unit->setCheckable(true);
    units->addAction(unit);
    connect(unit, &QAction::triggered, this, [this, unit] { Guarded([this, unit] { MenuUnitCmClick(unit); }); });
  }
  MenuUnitCm->setChecked(true);

  MenuAide = bar->addMenu(QStringLiteral("?"));
  MenuInformations = item(MenuAide, QStringLiteral("Information"), &TMainForm::MenuInformationsClick);
  MenuAide->addSeparator();
  MenuWeb = item(MenuAide, QStringLiteral("Officiel web site"), &TMainForm::MenuWebClick);
  MenuAide->addSeparator();
  MenuAPropos = item(MenuAide, QStringLiteral("About Tesselune"), &TMainForm::MenuAProposClick);

  // The shortcuts work while the menus are closed: the actions belong to the
  // window as well.
  addActions({MenuFichierOuvrir, MenuFichierEnregistrer, MenuFichierFermer, MenuFichierQuitter, MenuEditionAnnuler,
              MenuEditionCopier, MenuEditionColler, MenuActionMosaique, MenuFichierImprimer});

  PopImage = new QMenu(this);
  connect(PopImage, &QMenu::aboutToShow, this, &TMainForm::PopImagePopup);
  PopImage->addAction(PopMosaique);
  PopImage->addAction(PopOuvrirPhoto);
  PopImage->addSeparator();
  PopImage->addActions({PopOuvrir, PopEnregistrer, PopFermer});
  PopImage->addSeparator();
  PopImage->addActions({PopCopier, PopColler});
  PopImage->addSeparator();
  PopImage->addAction(PopAnnuler);
}

void TMainForm::ApplyShortcutTexts() {
  static const TItemShortCut shortcuts[] = {
      {&TMainForm::MenuFichierOuvrir, TShortCut(scCtrl | 'O')},
      {&TMainForm::MenuFichierEnregistrer, TShortCut(scCtrl | 'S')},
      {&TMainForm::MenuFichierFermer, TShortCut(scCtrl | 'W')},
      {&TMainForm::MenuFichierQuitter, TShortCut(scCtrl | 'Q')},
      {&TMainForm::MenuEditionAnnuler, TShortCut(scCtrl | 'Z')},
      {&TMainForm::MenuEditionCopier, TShortCut(scCtrl | 'C')},
      {&TMainForm::MenuEditionColler, TShortCut(scCtrl | 'V')},
      {&TMainForm::MenuActionMosaique, TShortCut(vkReturn)},
      {&TMainForm::MenuFichierImprimer, TShortCut(scCtrl | 'P')},
  };
  for (const TItemShortCut& s : shortcuts) {
    QAction* action = this->*s.Item;
    QString caption = action->text();
    caption =
        caption.left(caption.indexOf(QLatin1Char('\t')) < 0 ? caption.size() : caption.indexOf(QLatin1Char('\t')));
    const QString text = MenuShortCutToText(s.ShortCut);
    action->setText(text.isEmpty() ? caption : caption + QLatin1Char('\t') + text);
    QList<QKeySequence> keys{KeySequenceOf(s.ShortCut)};
    // "Enter" is both the main Return key and the keypad's Enter.
    if ((s.ShortCut & 0xFF) == vkReturn) keys.append(QKeySequence(Qt::Key_Enter));
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
  }
}

void TMainForm::CreateStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setSizeGripEnabled(true);
  const int widths[3] = {150, 80, 50};
  for (int i = 0; i < 3; ++i) {
    StatusPanel[i] = new QLabel(bar);
    StatusPanel[i]->setFrameShape(QFrame::Panel);
    StatusPanel[i]->setFrameShadow(QFrame::Sunken);
    if (i < 2)
      StatusPanel[i]->setFixedWidth(widths[i]);
    else
      StatusPanel[i]->setMinimumWidth(widths[i]);
    if (i == 1) StatusPanel[i]->setAlignment(Qt::AlignCenter);
    // The last panel takes what is left, as the file name needs it.
    bar->addWidget(StatusPanel[i], i == 2 ? 1 : 0);
  }
}

void TMainForm::BuildToolbarImages() {
  TImageList design;
  for (int i = 0; i < 6; ++i) design.push_back(QImage(QStringLiteral(":/toolbar/button%1.png").arg(i)));
  design.push_back(OptionsButtonPicture());
  const std::optional<TImageList> disabled = MakeDisabledImages(design, clBtnFace, 50);
  const std::optional<TImageList> normal = MakeNormalImages(design, clBtnFace, 33);
  const std::pair<QAction*, int> buttons[] = {{BtnOuvrir, 5}, {BtnEnregistrer, 0}, {BtnImprimer, 1}, {BtnAction, 2},
                                              {BtnRedim, 3},  {BtnAnnuler, 4},     {BtnOptions, 6}};
  // A list that could not be made leaves the buttons without it.
  for (const auto& [action, index] : buttons) {
    QIcon icon;
    if (normal) icon.addPixmap(QPixmap::fromImage((*normal)[index]), QIcon::Normal);
    if (disabled) icon.addPixmap(QPixmap::fromImage((*disabled)[index]), QIcon::Disabled);
    action->setIcon(icon);
  }
}

void TMainForm::UpdateCommands() {
  const bool idle = !Busy();
  const bool e = idle && !WorkingImage().Empty();
  for (QAction* a : {MenuFichierEnregistrer, MenuFichierFermer, MenuEditionCopier, MenuActionMosaique, MenuActionRedim})
    a->setEnabled(e);
  EdiZoom->setEnabled(e);
  CheckInspection();
  // The report is the mosaic's: once the picture is no longer it, it has none.
  MenuActionRapport->setEnabled(e && Inspecting());
  // The exports are the mosaic's too; the poster is made from any picture.
  MenuActionPoster->setEnabled(e);
  MenuActionPage->setEnabled(e && ShowsMosaic());
  for (QAction* a : {MenuActionTileMap, MenuActionReport}) a->setEnabled(e && ShowsMosaic() && MosaicResult.Matched());
  MenuFichierImprimer->setEnabled(e && PrinterPresent);
  MenuEditionAnnuler->setEnabled(e && Document.CanUndo());
  // While a command runs nothing else may start.
  for (QAction* a : {MenuFichierOuvrir, MenuFichierQuitter, MenuVignettes, MenuActionOptions}) a->setEnabled(idle);
  for (QAction* a : MenuFichierN) a->setEnabled(idle);
  EdiTaille->setEnabled(idle);
  if (!idle) MenuEditionColler->setEnabled(false);
  ToolBar->repaint();
}

void TMainForm::UpdatePaste() { MenuEditionColler->setEnabled(!Busy() && ClipboardHasPicture()); }

bool TMainForm::ClipboardHasPicture() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  return data && data->hasImage();
}

void TMainForm::Guarded(const std::function<void()>& command) {
  if (Busy()) return;
  QString error;
  try {
    command();
    return;
  } catch (const std::bad_alloc&) {
    error = QString::fromLatin1(NotEnoughMemoryText);
  } catch (const std::exception& e) {
    error = QString::fromLocal8Bit(e.what());
  } catch (...) {
    error = QStringLiteral("Unexpected error.");
  }
  while (m_waitDepth > 0) EndWait();
  StatusPanel[0]->setText(QStringLiteral("Ready"));
  MyMessageDlg(error, mkError, btOk);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // Never while a command runs, and only once the changes are saved or given up.
  if (Busy() || !ConfirmSave()) {
    event->ignore();
  } else {
    m_maximizedAtClose = isMaximized();
    event->accept();
  }
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (m_argumentHandled) return;
  m_argumentHandled = true;
  // After the window has come up, once.
  QMetaObject::invokeMethod(
      this, [this] { Guarded([this] { OpenCommandLineFile(); }); }, Qt::QueuedConnection);
}

void TMainForm::OpenCommandLineFile() {
  if (m_arguments.isEmpty()) return;
  OpenFile(LongFileName(m_arguments.front()), false);
}
