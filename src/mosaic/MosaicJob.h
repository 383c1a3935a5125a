#pragma once
// The mosaic job: what happens to a mosaic once the user has chosen, for the
// window and the tool alike. It checks the outputs before any work, plans
// the mosaic against memory (held whole, or drawn band by band straight
// into its file), runs the command with progress and cancel, and writes the
// outputs: the picture file, the zoomable page (pyramid and page), the tile
// map and the report. It shows nothing: the result says what happened.
#include <QByteArray>
#include <QString>
#include <cstdint>

#include "mosaic/MosaicCommand.h"
#include "mosaic/MosaicResult.h"
#include "mosaic/TileMap.h"

// Past this many pixels an enlarged mosaic is drawn in bands when its file's
// format allows: held whole, with the enlarged target, it would take more
// than a gigabyte.
inline constexpr std::int64_t BandPixels = 200'000'000;

// What the job writes; an empty name is an output not wanted.
struct TMosaicOutputs {
  QString PictureFile;     // the mosaic, its format by the extension
  QString DeepZoomFolder;  // index.html, mosaic.dzi and mosaic_files/, tilemap.json
  QString TileMapFile;     // .json or .csv; a matched mosaic's only
  QString ReportFile;      // .json; a matched mosaic's only
};

// The first output that cannot be written where it is named (its folder
// missing or not writable, a folder where a file should be...), checked
// before any work.
TOutputFailure CheckOutputs(const TMosaicOutputs& outputs);

enum class TMosaicFit {
  Whole,             // built in memory
  InBands,           // drawn band by band into the picture file
  TooLargeToHold,    // beyond a picture held whole, and no file that takes bands
  BeyondFormatSide,  // beyond the largest side the file's format takes
  NoDiskRoom,        // the file would not fit on its disk
};

struct TMosaicPlan {
  std::int64_t Width = 0, Height = 0;  // the mosaic's size
  TMosaicFit Fit = TMosaicFit::Whole;
  std::int64_t SideLimit = 0;  // BeyondFormatSide: the largest side of the format
  TOutputFailure Failure;      // NoDiskRoom: the file and why
  bool Feasible() const { return Fit == TMosaicFit::Whole || Fit == TMosaicFit::InBands; }
};

// How the mosaic of a width x height picture, with the command's options,
// is to be made into outputs.PictureFile: whole, or in bands when it is
// beyond a picture held whole or, enlarged, beyond BandPixels, and the
// file's format can be written in bands; the disk's room is checked for a
// file drawn in bands (a file saved whole reports a full disk itself).
TMosaicPlan PlanMosaic(const TMosaicCommand& command, int width, int height, const TMosaicOutputs& outputs);

// Makes the mosaic of target as planned and writes the outputs. Held whole,
// target becomes the mosaic (built in place, never copied); in bands it
// stays as it was. Built is false when no mosaic was made (see the notes,
// Cancelled) or an output failed (Failure).
TMosaicResult RunMosaicJob(TMosaicCommand& command, TBitmap& target, const TMosaicPlan& plan,
                           const TMosaicOutputs& outputs, const TMosaicProgress& progress = {});

// The same on the document's picture, as one undoable change (see
// TMosaicCommand::Execute), the outputs written from the mosaic held whole.
TMosaicResult RunMosaicJob(TMosaicCommand& command, TDocument& document, const TMosaicOutputs& outputs = {},
                           const TMosaicProgress& progress = {});

// What writing an output of a finished mosaic came to.
struct TOutputResult {
  bool Written = false;
  bool Cancelled = false;  // nothing left behind
  TOutputFailure Failure;
};

// Why the disk of folder has no room for the zoomable page of a width x
// height mosaic (the pyramid's upper bound, the viewer, the tile map);
// none when it has.
TOutputFailure DeepZoomRoomProblem(const QString& folder, std::int64_t width, std::int64_t height,
                                   const TMosaicResult& result);

// The zoomable page of a mosaic held whole (the pyramid, its page and, for
// a matched mosaic, its tile map) into an existing folder; progress through
// ShowOutputProgress, stopped by Cancelled; refused first when the disk has
// no room for it. A cancelled or failed page leaves the folder as it was.
TOutputResult ExportDeepZoom(const TBitmap& mosaic, const TMosaicResult& result, const QString& folder,
                             const TMosaicProgress& progress = {});

// The tile map of a matched mosaic of width x height pixels, JSON or CSV
// by the extension.
TOutputResult SaveTileMap(const QString& file, const TMosaicResult& result, int width, int height);

// The quality report of a matched mosaic as JSON: its figures, the photos'
// use and the rules that shaped it.
QByteArray MosaicReportJson(const TMosaicResult& result);
TOutputResult SaveReport(const QString& file, const TMosaicResult& result);
