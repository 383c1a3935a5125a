#pragma once
// A picture too large to hold whole, passed on band by band: full-width runs
// of 24-bit rows, top to bottom. A file writer, a tile pyramid or several of
// them at once take the bands as they come, so only one band is in memory.
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "raster/Bitmap.h"

class TBandSink {
 public:
  virtual ~TBandSink() = default;
  // Before the first band: the whole picture's size. False refuses it
  // (Error() says why) and nothing more is sent but Abandon.
  virtual bool Begin(int width, int height) = 0;
  // The next band, pf24bit, band.Width() the picture's width: rows top to
  // top + band.Height() - 1, in order and without gaps. False stops the work.
  virtual bool Write(const TBitmap& band, int top) = 0;
  // After the last band: completes the output. False: it failed and what was
  // written is removed.
  virtual bool Finish() = 0;
  // The work stopped before Finish (a cancel, or an error here or in another
  // sink): what was written is removed. Harmless when called again, or after
  // a failed call.
  virtual void Abandon() = 0;
  virtual QString Error() const = 0;
};

// Passes each band to every sink in turn; the first failure stops all of them.
class TBandTee : public TBandSink {
 public:
  explicit TBandTee(std::vector<TBandSink*> sinks) : m_sinks(std::move(sinks)) {}
  bool Begin(int width, int height) override;
  bool Write(const TBitmap& band, int top) override;
  bool Finish() override;
  void Abandon() override;
  QString Error() const override { return m_error; }

 private:
  bool Failed(TBandSink* sink);
  std::vector<TBandSink*> m_sinks;
  QString m_error;
};

// Sends a picture held whole to a sink in bands of bandRows rows (the last
// may be shorter), then finishes it; on a failure the sink is abandoned.
// proceed, when given, is told the rows sent after each band and may stop
// the work by returning false: the sink is then abandoned too.
bool WriteInBands(const TBitmap& picture, TBandSink& sink, int bandRows,
                  const std::function<bool(int rowsDone, int rows)>& proceed = {});
