// "Save poster...", "Export zoomable page...", "Save tile map..." and
// "Save report...": the mosaic job's outputs, written from the window. Each
// file or folder is chosen, checked and, for the long ones, written behind
// the progress dialog with Cancel; a refusal or a failure is said in the
// program's save error, and a cancel leaves nothing behind.
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "app/InterfaceTexts.h"
#include "app/MyMsgDlg.h"
#include "imagefiles/gui/PictureFileDialogs.h"
#include "mosaic/MosaicJob.h"
#include "shell/gui/MainForm.h"
#include "shell/gui/MosaicProgressDialog.h"

namespace {

// The formats a poster can be drawn into band by band, whatever its size.
const char* const PosterFilter = "TIFF image|*.tif;*.tiff|PNG image|*.png|JPEG image|*.jpg;*.jpeg";
const char* const TileMapFilter = "JSON file|*.json|CSV file|*.csv";
const char* const ReportFilter = "JSON file|*.json";

QString SaveErrorText(const QString& file, const QString& reason) {
  return QString(LangText(lsSaveError)).replace(QStringLiteral("%s"), file) + QLatin1Char('\n') + reason;
}

// Why a planned poster cannot be made, said before any work.
QString RefusalText(const TMosaicPlan& plan, const QString& file) {
  const QString size = QStringLiteral("The poster would be %1 x %2 pixels").arg(plan.Width).arg(plan.Height);
  const QString format = QFileInfo(file).suffix().toUpper();
  switch (plan.Fit) {
    case TMosaicFit::TooLargeToHold:
      return size + QStringLiteral(
                        ": too large to hold whole, and a %1 file cannot be written in parts.\n"
                        "Save it as a TIFF, PNG or JPEG file.")
                        .arg(format);
    case TMosaicFit::BeyondFormatSide:
      return size + QStringLiteral(
                        ", beyond the %1 pixels a side of a %2 file.\n"
                        "Choose a smaller scale, or a TIFF or PNG file.")
                        .arg(plan.SideLimit)
                        .arg(format);
    case TMosaicFit::NoDiskRoom: return SaveErrorText(plan.Failure.File, plan.Failure.Reason);
    case TMosaicFit::Whole:
    case TMosaicFit::InBands: break;
  }
  return {};
}

// The options' scale for the length of one poster, given back however the
// poster ends.
class TScaleFor {
 public:
  TScaleFor(TMosaicCommand& command, int scale) : m_command(command), m_before(command.Options.Scale) {
    command.Options.Scale = scale;
  }
  ~TScaleFor() { m_command.Options.Scale = m_before; }
  TScaleFor(const TScaleFor&) = delete;
  TScaleFor& operator=(const TScaleFor&) = delete;

 private:
  TMosaicCommand& m_command;
  int m_before;
};

}  // namespace

bool TMainForm::ShowsMosaic() const {
  return m_mosaicPicture != 0 && MosaicResult.Built && !Document.Picture().Empty() &&
         Document.Picture().Image().cacheKey() == m_mosaicPicture;
}

void TMainForm::ShowOutputFailure(const TOutputFailure& failure) {
  if (failure.Failed() && !failure.Reported) MyMessageDlg(SaveErrorText(failure.File, failure.Reason), mkError, btOk);
}

void TMainForm::MenuActionPosterClick() { SavePoster(Mosaic.Options.Scale); }

void TMainForm::SavePoster(int scale) {
  if (WorkingImage().Empty()) return;
  // A poster of the mosaic just made would be a mosaic of a mosaic: what
  // the user enlarges is the picture it was made from.
  const TBitmap& source = ShowsMosaic() && Document.CanUndo() ? Document.UndoCopy() : WorkingImage();
  if (SaveFolder.isEmpty()) SaveFolder = OpenFolder;
  const QString base = CurrentFile().isEmpty() ? QStringLiteral("mosaic") : QFileInfo(CurrentFile()).completeBaseName();
  QString file = base + QStringLiteral("-poster.tif");
  if (!ChooseSaveFile(file, QLatin1String(PosterFilter), SaveFolder, QStringLiteral(".tif"))) return;
  TMosaicOutputs outputs;
  outputs.PictureFile = file;
  if (const TOutputFailure f = CheckOutputs(outputs); f.Failed()) return ShowOutputFailure(f);

  // The options as "Create the mosaic" takes them, at the poster's scale.
  const TScaleFor posterScale(Mosaic, scale);
  const TMosaicPlan plan = PlanMosaic(Mosaic, source.Width(), source.Height(), outputs);
  if (!plan.Feasible()) {
    MyMessageDlg(RefusalText(plan, file), mkError, btOk);
    return;
  }
  TMosaicResult result;
  for (bool again = true; again;) {
    // A bare copy: built in place when held whole, it never touches the
    // window's picture or its undo copy.
    TBitmap target(source);
    {
      const TWait wait(*this, QStringLiteral("Processing..."));
      TMosaicProgressDialog dialog(this, Mosaic.Options.MatchColours);
      dialog.setWindowTitle(QStringLiteral("Save poster"));
      result = RunMosaicJob(Mosaic, target, plan, outputs, dialog.Sink(MosaicProgress()));
    }
    const TMosaicNotes& notes = result.Notes;
    again = !notes.SubFolderQuestion.isEmpty() &&
            MyMessageDlg(notes.SubFolderQuestion, mkConfirmation, btYes | btNo) == idYes;
    if (again) Mosaic.Options.Recursive = true;
  }
  if (!result.Notes.NoThumbnail.isEmpty()) MyMessageDlg(result.Notes.NoThumbnail, mkWarning, btOk);
  ShowOutputFailure(result.Failure);
  if (result.Built) SaveFolder = QFileInfo(file).absolutePath() + QLatin1Char('/');
}

void TMainForm::MenuActionPageClick() {
  if (!ShowsMosaic()) return;
  const QString folder =
      ChooseFolder(QStringLiteral("Zoomable page folder :"), SaveFolder.isEmpty() ? OpenFolder : SaveFolder);
  if (folder.isEmpty()) return;
  TMosaicOutputs outputs;
  outputs.DeepZoomFolder = folder;
  if (const TOutputFailure f = CheckOutputs(outputs); f.Failed()) return ShowOutputFailure(f);
  TOutputResult written;
  {
    const TWait wait(*this, QStringLiteral("Processing..."));
    TMosaicProgressDialog dialog(this, false);
    dialog.setWindowTitle(QStringLiteral("Export zoomable page"));
    TMosaicProgress status = MosaicProgress();
    status.ShowOutputProgress = [this](int percent) { ShowProgress(percent); };
    written = ExportDeepZoom(WorkingImage(), MosaicResult, folder, dialog.Sink(status));
  }
  if (!written.Written) return ShowOutputFailure(written.Failure);
  const QString page = QDir(folder).filePath(QStringLiteral("index.html"));
  if (MyMessageDlg(QStringLiteral("The zoomable page is written:\n%1\nOpen it in the browser?").arg(page),
                   mkConfirmation, btYes | btNo) == idYes)
    OpenInBrowser(QUrl::fromLocalFile(page));
}

void TMainForm::MenuActionTileMapClick() {
  if (!ShowsMosaic() || !MosaicResult.Matched()) return;
  if (SaveFolder.isEmpty()) SaveFolder = OpenFolder;
  QString file = QStringLiteral("tilemap.json");
  if (!ChooseSaveFile(file, QLatin1String(TileMapFilter), SaveFolder, QStringLiteral(".json"))) return;
  ShowOutputFailure(SaveTileMap(file, MosaicResult, WorkingImage().Width(), WorkingImage().Height()).Failure);
}

void TMainForm::MenuActionReportClick() {
  if (!ShowsMosaic() || !MosaicResult.Matched()) return;
  if (SaveFolder.isEmpty()) SaveFolder = OpenFolder;
  QString file = QStringLiteral("report.json");
  if (!ChooseSaveFile(file, QLatin1String(ReportFilter), SaveFolder, QStringLiteral(".json"))) return;
  ShowOutputFailure(SaveReport(file, MosaicResult).Failure);
}
