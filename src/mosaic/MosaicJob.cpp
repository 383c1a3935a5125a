#include "mosaic/MosaicJob.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>
#include <exception>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "app/FileNames.h"
#include "imagefiles/BandWriters.h"
#include "imagefiles/DeepZoom.h"
#include "imagefiles/FileBytes.h"
#include "imagefiles/PictureFiles.h"
#include "imagefiles/PictureFormats.h"
#include "mosaic/DeepZoomPage.h"
#include "raster/BandSink.h"
#include "raster/Lanczos.h"

namespace {

// Rows a mosaic held whole is sent in to the outputs that take bands.
constexpr int BandRowsOfWhole = 256;

TOutputFailure Failure(const QString& file, const QString& reason) { return {file, reason, false}; }

TOutputFailure Problem(const QString& file, const std::string& problem) {
  return problem.empty() ? TOutputFailure{} : Failure(file, QString::fromStdString(problem));
}

TOutputResult Written() { return {true, false, {}}; }
TOutputResult Failed(const TOutputFailure& failure) { return {false, false, failure}; }

TOutputResult WriteText(const QString& file, const QByteArray& text) {
  try {
    WriteFileAtomically(file, TBytes(reinterpret_cast<const std::uint8_t*>(text.constData()), size_t(text.size())));
  } catch (const std::exception& e) {
    return Failed(Failure(file, QString::fromUtf8(e.what())));
  }
  return Written();
}

QString DescriptorFile(const QString& folder) {
  return folder + QLatin1Char('/') + QLatin1String(DeepZoomName) + QStringLiteral(".dzi");
}

// Makes the page's folder with the folders missing on its way: it is made
// only once the work starts, so that a run refused before leaves no folder.
TOutputFailure MakeFolder(const QString& folder) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(EncodeFileName(folder).toStdString()), ec);
  return ec ? Failure(folder, QString::fromStdString(SystemErrorReason(ec.value()))) : TOutputFailure{};
}

TOutputFailure WritePage(const QString& folder, std::int64_t width, std::int64_t height, const TTileMap& map) {
  const QString error = WriteDeepZoomPage(folder, int(width), int(height), map);
  return error.isEmpty() ? TOutputFailure{} : Failure(folder + QStringLiteral("/index.html"), error);
}

// The page beside the pyramid: the viewer and its pictures, and the tile
// map twice (as a script and as JSON), each cell's line well under this.
constexpr std::uint64_t PageBytes = 4'000'000;
constexpr std::uint64_t TileMapBytesPerCell = 2 * 512;

// The outputs of a mosaic held whole, in the order the tool has always
// written them: the picture, the page, the tile map, the report.
void WriteOutputs(TMosaicResult& result, const TBitmap& mosaic, const TMosaicOutputs& outputs) {
  // The load and save dispatch reports its own failure.
  if (!outputs.PictureFile.isEmpty()) {
    TPictureFileContext context;
    if (SavePicture(context, outputs.PictureFile, mosaic) <= 0)
      result.Failure = {outputs.PictureFile, context.LastError, true};
  }
  const QString& page = outputs.DeepZoomFolder;
  if (!result.Failure.Failed() && !page.isEmpty()) {
    if (result.Failure = MakeFolder(page); !result.Failure.Failed())
      result.Failure = ExportDeepZoom(mosaic, result, page).Failure;
  }
}

void WriteMapAndReport(TMosaicResult& result, const TMosaicOutputs& outputs) {
  const int width = int(result.Width), height = int(result.Height);
  if (!result.Failure.Failed() && !outputs.TileMapFile.isEmpty())
    result.Failure = SaveTileMap(outputs.TileMapFile, result, width, height).Failure;
  if (!result.Failure.Failed() && !outputs.ReportFile.isEmpty())
    result.Failure = SaveReport(outputs.ReportFile, result).Failure;
  result.Built = !result.Failure.Failed();
}

// Figures to two decimals: more would be noise.
double Rounded(double value) { return std::round(value * 100.0) / 100.0; }

}  // namespace

TOutputFailure CheckOutputs(const TMosaicOutputs& outputs) {
  for (const QString& file : {outputs.PictureFile, outputs.ReportFile, outputs.TileMapFile})
    if (!file.isEmpty())
      if (TOutputFailure f = Problem(file, SaveTargetProblem(file)); f.Failed()) return f;
  if (!outputs.DeepZoomFolder.isEmpty())
    return Problem(outputs.DeepZoomFolder, FolderTargetProblem(outputs.DeepZoomFolder));
  return {};
}

TMosaicPlan PlanMosaic(const TMosaicCommand& command, int width, int height, const TMosaicOutputs& outputs) {
  TMosaicPlan plan;
  const bool held = command.OutputSize(width, height, plan.Width, plan.Height);
  const QString& file = outputs.PictureFile;
  const std::int64_t bandSide = file.isEmpty() ? 0 : BandFileMaxSide(file);
  const bool large = command.Options.Scale > 1 && plan.Width * plan.Height > BandPixels;
  if (held && !(large && bandSide > 0)) return plan;
  if (bandSide == 0) {
    plan.Fit = TMosaicFit::TooLargeToHold;
    return plan;
  }
  plan.SideLimit = std::min(bandSide, MaxBandResampleSide);
  if (plan.Width > plan.SideLimit || plan.Height > plan.SideLimit) {
    plan.Fit = TMosaicFit::BeyondFormatSide;
    return plan;
  }
  plan.Failure = Problem(file, DiskSpaceProblem(file, BandFileBytesNeeded(file, plan.Width, plan.Height)));
  plan.Fit = plan.Failure.Failed() ? TMosaicFit::NoDiskRoom : TMosaicFit::InBands;
  return plan;
}

TMosaicResult RunMosaicJob(TMosaicCommand& command, TBitmap& target, const TMosaicPlan& plan,
                           const TMosaicOutputs& outputs, const TMosaicProgress& progress) {
  TMosaicResult result;
  if (!plan.Feasible()) return result;
  const QString& page = outputs.DeepZoomFolder;
  if (plan.Fit == TMosaicFit::InBands) {
    // The same bands feed the file and, with a page, its pyramid: the
    // mosaic is never held whole.
    std::unique_ptr<TBandSink> file = MakeBandFileWriter(outputs.PictureFile);
    std::unique_ptr<TDeepZoomWriter> pyramid;
    std::unique_ptr<TBandTee> both;
    TBandSink* bands = file.get();
    if (!page.isEmpty()) {
      if (result.Failure = MakeFolder(page); result.Failure.Failed()) return result;
      pyramid = std::make_unique<TDeepZoomWriter>(page, QLatin1String(DeepZoomName));
      both = std::make_unique<TBandTee>(std::vector<TBandSink*>{file.get(), pyramid.get()});
      bands = both.get();
    }
    result = command.ExecuteInBands(target, *bands, progress);
    if (!result.Built) {
      if (!bands->Error().isEmpty()) result.Failure = Failure(outputs.PictureFile, bands->Error());
      return result;
    }
    if (!page.isEmpty())
      result.Failure =
          WritePage(page, result.Width, result.Height, TileMapOf(result, int(result.Width), int(result.Height)));
  } else {
    result = command.Execute(target, progress);
    if (!result.Built) return result;
    WriteOutputs(result, target, outputs);
  }
  WriteMapAndReport(result, outputs);
  return result;
}

TMosaicResult RunMosaicJob(TMosaicCommand& command, TDocument& document, const TMosaicOutputs& outputs,
                           const TMosaicProgress& progress) {
  TMosaicResult result = command.Execute(document, progress);
  if (!result.Built) return result;
  WriteOutputs(result, document.Picture(), outputs);
  WriteMapAndReport(result, outputs);
  return result;
}

TOutputFailure DeepZoomRoomProblem(const QString& folder, std::int64_t width, std::int64_t height,
                                   const TMosaicResult& result) {
  const std::uint64_t bytes = DeepZoomBytesNeeded(width, height) + PageBytes +
                              std::uint64_t(result.Placement.Thumbnail.size()) * TileMapBytesPerCell;
  return Problem(DescriptorFile(folder), DiskSpaceProblem(DescriptorFile(folder), bytes));
}

TOutputResult ExportDeepZoom(const TBitmap& mosaic, const TMosaicResult& result, const QString& folder,
                             const TMosaicProgress& progress) {
  // Refused before the first tile: a disk that fills half way through
  // would have had all that work for nothing.
  if (TOutputFailure f = DeepZoomRoomProblem(folder, mosaic.Width(), mosaic.Height(), result); f.Failed())
    return Failed(f);
  TDeepZoomWriter pyramid(folder, QLatin1String(DeepZoomName));
  bool cancelled = false;
  const auto proceed = [&](int done, int rows) {
    if (progress.ShowOutputProgress) progress.ShowOutputProgress(int(std::int64_t(done) * 100 / std::max(rows, 1)));
    cancelled = progress.Cancelled && progress.Cancelled();
    return !cancelled;
  };
  if (!WriteInBands(mosaic, pyramid, BandRowsOfWhole, proceed)) {
    if (cancelled) return {false, true, {}};
    return Failed(Failure(DescriptorFile(folder), pyramid.Error()));
  }
  if (TOutputFailure f =
          WritePage(folder, mosaic.Width(), mosaic.Height(), TileMapOf(result, mosaic.Width(), mosaic.Height()));
      f.Failed())
    return Failed(f);
  return Written();
}

TOutputResult SaveTileMap(const QString& file, const TMosaicResult& result, int width, int height) {
  const TTileMap map = TileMapOf(result, width, height);
  return WriteText(file, LowerExtension(file) == QStringLiteral(".csv") ? TileMapCsv(map) : TileMapJson(map));
}

QByteArray MosaicReportJson(const TMosaicResult& result) {
  const TMosaicQuality& q = result.Quality;
  const auto figures = [](const TDistanceFigures& f) {
    return QJsonObject{{QStringLiteral("mean"), Rounded(f.Mean)}, {QStringLiteral("p95"), Rounded(f.P95)}};
  };
  const QJsonObject report{
      {QStringLiteral("cells"), q.Cells},
      {QStringLiteral("columns"), result.Placement.Columns},
      {QStringLiteral("rows"), result.Placement.Rows},
      {QStringLiteral("deltaE2000Far"), figures(q.Far)},
      {QStringLiteral("deltaE2000Near"), figures(q.Near)},
      {QStringLiteral("photosInLibrary"), result.Photos},
      {QStringLiteral("photosUsed"), q.PhotosUsed},
      {QStringLiteral("mostUses"), q.MostUses},
      {QStringLiteral("meanTintPercent"), Rounded(q.MeanTint)},
      {QStringLiteral("tintLimitPercent"), result.TintLimit},
      {QStringLiteral("tintMode"),
       result.TintMode == TTintMode::Light ? QStringLiteral("light") : QStringLiteral("whole")},
      {QStringLiteral("repeatDistance"), result.RepeatDistance},
  };
  return QJsonDocument(report).toJson(QJsonDocument::Indented);
}

TOutputResult SaveReport(const QString& file, const TMosaicResult& result) {
  return WriteText(file, MosaicReportJson(result));
}
