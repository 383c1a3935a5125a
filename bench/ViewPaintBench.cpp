// Repaint of a 900 x 700 view of a 12000 x 9000 picture against the same view
// of a 900 x 700 picture, at zoom 1 and 0.1, with the application's settings
// (smooth stretching, black border, shadow 4). Three measures:
//   Uncovered   the whole client area repainted, zoom unchanged;
//   Scroll      one line step of scrolling and the repaint of the uncovered strip;
//   ZoomChange  the first repaint after a zoom change.
// Compare Large against Small of the same measure and zoom:
//   ./bench_view_paint --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <cstdint>

#include "display/gui/ImageView.h"

namespace {

TBitmap Photo(int w, int h) {
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* p = b.ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3) {
      p[0] = std::uint8_t((x * 255) / w);
      p[1] = std::uint8_t((y * 255) / h);
      p[2] = std::uint8_t((x ^ y) & 0xFF);
    }
  }
  return b;
}

const TBitmap& Picture(bool large) {
  static const TBitmap big = Photo(12000, 9000);
  static const TBitmap small = Photo(900, 700);
  return large ? big : small;
}

// A view as the main window sets it up, with a 900 x 700 client area.
struct TView {
  TMyImage View;
  explicit TView(bool large, double zoom) {
    View.SetBorderStyle(bsNone);
    View.SetOptimizeMode(omSystem);
    View.SetBorderColor(clBlack);
    View.SetShadowSize(4);
    View.SetColor(0x808080);
    View.resize(900, 700);
    View.show();
    View.Bitmap().Assign(&Picture(large));
    View.SetZoom(zoom);
    QApplication::processEvents();
    View.viewport()->repaint();  // the first paint after the zoom change is measured separately
  }
};

void SetLabels(benchmark::State& state) {
  state.SetLabel((state.range(0) ? "Large 12000x9000" : "Small 900x700") +
                 std::string(state.range(1) == 10 ? " zoom 0.1" : " zoom 1"));
}

double ZoomOf(const benchmark::State& state) { return state.range(1) == 10 ? 0.1 : 1.0; }

void BM_Uncovered(benchmark::State& state) {
  TView v(state.range(0) != 0, ZoomOf(state));
  for (auto _ : state) v.View.viewport()->repaint();
  SetLabels(state);
}

void BM_Scroll(benchmark::State& state) {
  TView v(state.range(0) != 0, ZoomOf(state));
  QScrollBar* bar = v.View.horizontalScrollBar();
  if (bar->maximum() < 16) {
    state.SkipWithError("nothing to scroll");
    return;
  }
  int step = 8;
  for (auto _ : state) {
    if (bar->value() + step > bar->maximum() || bar->value() + step < 0) step = -step;
    bar->setValue(bar->value() + step);
    QApplication::processEvents();  // the repaint of the uncovered strip
  }
  SetLabels(state);
}

void BM_ZoomChange(benchmark::State& state) {
  TView v(state.range(0) != 0, ZoomOf(state));
  const double zoom = ZoomOf(state);
  bool odd = false;
  for (auto _ : state) {
    // Two factors close enough to show the same part of the picture.
    odd = !odd;
    v.View.SetZoom(odd ? zoom * 1.001 : zoom);
    v.View.viewport()->repaint();
  }
  SetLabels(state);
}

// Arguments: {large picture, 10 for zoom 0.1 or 1 for zoom 1}.
#define VIEW_CASES ->Args({0, 1})->Args({1, 1})->Args({0, 10})->Args({1, 10})->Unit(benchmark::kMillisecond)
BENCHMARK(BM_Uncovered) VIEW_CASES;
BENCHMARK(BM_Scroll)->Args({0, 1})->Args({1, 1})->Args({1, 10})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZoomChange) VIEW_CASES;

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
