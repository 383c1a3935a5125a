#include "raster/BandSink.h"

#include <algorithm>
#include <cstring>
#include <utility>

bool TBandTee::Failed(TBandSink* sink) {
  m_error = sink->Error();
  for (TBandSink* s : m_sinks) s->Abandon();
  return false;
}

bool TBandTee::Begin(int width, int height) {
  for (TBandSink* s : m_sinks)
    if (!s->Begin(width, height)) return Failed(s);
  return true;
}

bool TBandTee::Write(const TBitmap& band, int top) {
  for (TBandSink* s : m_sinks)
    if (!s->Write(band, top)) return Failed(s);
  return true;
}

bool TBandTee::Finish() {
  for (TBandSink* s : m_sinks)
    if (!s->Finish()) return Failed(s);
  return true;
}

void TBandTee::Abandon() {
  for (TBandSink* s : m_sinks) s->Abandon();
}

bool WriteInBands(const TBitmap& picture, TBandSink& sink, int bandRows,
                  const std::function<bool(int rowsDone, int rows)>& proceed) {
  if (picture.Empty() || bandRows <= 0) return false;
  TBitmap source(picture);
  if (source.PixelFormat() != pf24bit) source.SetPixelFormat(pf24bit);
  if (!sink.Begin(source.Width(), source.Height())) {
    sink.Abandon();
    return false;
  }
  const size_t rowBytes = size_t(source.Width()) * 3;
  for (int top = 0; top < source.Height(); top += bandRows) {
    const int rows = std::min(bandRows, source.Height() - top);
    TBitmap band(source.Width(), rows, pf24bit);
    // Read as const: writable rows would copy the caller's whole picture.
    for (int y = 0; y < rows; ++y) std::memcpy(band.ScanLine(y), std::as_const(source).ScanLine(top + y), rowBytes);
    if (!sink.Write(band, top) || (proceed && !proceed(top + rows, source.Height()))) {
      sink.Abandon();
      return false;
    }
  }
  if (sink.Finish()) return true;
  sink.Abandon();
  return false;
}
