// The colour-matched mosaic against metapixel and against the default mosaic,
// on the 120 photographs of bench/MosaicJobBench.cpp, at cell 20.
//   (1) fidelity at two distances (mosaic/MosaicQuality.h): CIEDE2000
//       between the target and the mosaic seen from afar (each cell's
//       average: far, far95 = mean and 95th percentile) and up close (each
//       quarter-cell block's: near, near95); MAD = mean absolute difference,
//       per byte, between each placed tile and the tile before tinting (for
//       metapixel: its output at --cheat=0, whose tiles are untinted and
//       which picks the same tiles). Modes: matched at tint 0 and 25 %
//       (square crops), the default random mosaic (tint 77 %, squashed
//       squares), metapixel --metapixel at --cheat=0 and 25 with
//       --distance=3 (our default repeat distance). Libraries: the 120
//       generated photographs and 400 generated two-field scenes on three
//       generated 1600 x 1200 targets (portrait-like, landscape, fine
//       detail); 300 crops of 20 real photographs (Debian's
//       mate-backgrounds and plasma-workspace-wallpapers) on three other
//       real photographs of those packages, brought to 1600 x 1200.
//   (2) the repeat distance: dE2000 of matched tint 0 for distances 0 to 5.
//   (3) the search: the K nearest (K = 49, what distance 3 needs) of the
//       19,200 cells of a 1600 x 1200 target at cell 10, one thread, by our
//       blocked scan and by a nanoflann k-d tree, for 100 to 20,000 synthetic
//       descriptors; and the whole match (search on every core, then the
//       placement) against 20,000; and the same on 2,000 with the rules
//       on reuse (every photo, a cap), then 20,000 on 96,000 cells.
//   (4) the whole matched job on the 120 photographs (load with crops,
//       build, save PNG, in process; fast: JPEG files decoded at a reduced
//       scale) against metapixel-prepare + metapixel; and the load alone,
//       squashed or cropped.
// Run: bench_mosaic_match --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>
#include <nanoflann.hpp>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "JobInputs.h"
#include "ValueNoise.h"
#include "app/InterfaceTexts.h"
#include "imagefiles/PictureFiles.h"
#include "mosaic/LabColor.h"
#include "mosaic/MatchedMosaic.h"
#include "mosaic/MosaicBuilder.h"
#include "mosaic/MosaicQuality.h"
#include "mosaic/SquareCrop.h"
#include "mosaic/ThumbnailLibrary.h"
#include "raster/RectUtils.h"

using namespace bench_job;
using bench_noise::Fractal;

namespace {

constexpr int kCell = 20;
constexpr int kW = 1600, kH = 1200;

std::uint8_t Byte(double v) { return std::uint8_t(std::clamp(int(std::lround(v)), 0, 255)); }

void Put(TBitmap& b, int x, int y, double r, double g, double bl) {
  std::uint8_t* p = b.ScanLine(y) + 3 * x;
  p[0] = Byte(bl);
  p[1] = Byte(g);
  p[2] = Byte(r);
}

bool InEllipse(double x, double y, double cx, double cy, double rx, double ry) {
  const double dx = (x - cx) / rx, dy = (y - cy) / ry;
  return dx * dx + dy * dy <= 1;
}

// A head and shoulders before a dark backdrop.
TBitmap Portrait() {
  TBitmap b(kW, kH, pf24bit);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const double n = Fractal(x / 90.0, y / 90.0, 11) - 0.5;
      double r = 40 + 40.0 * y / kH + 30 * n, g = 50 + 40.0 * y / kH + 30 * n, bl = 70 + 45.0 * y / kH + 30 * n;
      if (InEllipse(x, y, 800, 1380, 650, 430)) {  // sweater
        const double shade = 1 - 0.3 * std::abs(x - 800) / 650.0 + 0.25 * n;
        r = 160 * shade, g = 35 * shade, bl = 45 * shade;
      } else if (x > 700 && x < 900 && y > 850 && y < 1000) {  // neck
        r = 190 + 20 * n, g = 140 + 20 * n, bl = 115 + 20 * n;
      }
      const bool face = InEllipse(x, y, 800, 620, 250, 330);
      if (InEllipse(x, y, 800, 500, 310, 300) && !(face && y > 430)) {  // hair
        const double strand = Fractal(x / 8.0, y / 60.0, 5);
        r = 55 + 50 * strand, g = 35 + 35 * strand, bl = 20 + 20 * strand;
      } else if (face) {
        const double dx = (x - 800) / 250.0;
        const double shade = 1 - 0.3 * dx * dx - 0.12 * dx + 0.1 * n;
        r = 230 * shade, g = 182 * shade, bl = 150 * shade;
        if (InEllipse(x, y, 700, 580, 45, 20) || InEllipse(x, y, 900, 580, 45, 20)) r = 240, g = 240, bl = 235;
        if (InEllipse(x, y, 700, 580, 16, 16) || InEllipse(x, y, 900, 580, 16, 16)) r = 60, g = 90, bl = 120;
        if (InEllipse(x, y, 800, 800, 85, 24)) r = 175, g = 70, bl = 80;
      }
      Put(b, x, y, r, g, bl);
    }
  return b;
}

// Sky and sun, snow-capped mountains, a lake and fields.
TBitmap Landscape() {
  TBitmap b(kW, kH, pf24bit);
  for (int x = 0; x < kW; ++x) {
    const double ridge = 380 + 260 * Fractal(x / 320.0, 0.5, 21);
    for (int y = 0; y < kH; ++y) {
      const double n = Fractal(x / 60.0, y / 60.0, 3) - 0.5;
      double r, g, bl;
      if (y < ridge && y < 760) {
        const double t = y / 760.0;
        r = 80 + 130 * t, g = 140 + 90 * t, bl = 225 + 25 * t;
        const double sun = std::hypot(x - 1250.0, y - 220.0);
        if (sun < 80)
          r = 255, g = 245, bl = 210;
        else if (sun < 200) {
          const double glow = (200 - sun) / 120;
          r += (255 - r) * glow * 0.6, g += (240 - g) * glow * 0.6, bl += (200 - bl) * glow * 0.4;
        }
      } else if (y < 760) {
        const double depth = (y - ridge) / 200;
        const bool snow = ridge < 560 && y < ridge + 50 + 30 * n;
        r = snow ? 240 : 95 + 40 * n - 20 * depth, g = snow ? 242 : 100 + 40 * n - 15 * depth,
        bl = snow ? 250 : 120 + 40 * n - 10 * depth;
      } else if (y < 900) {
        const double ripple = std::sin(y * 0.9 + 20 * n);
        r = 50 + 20 * ripple, g = 100 + 25 * ripple, bl = 165 + 30 * ripple;
      } else {
        const double patch = Fractal(x / 250.0, y / 120.0, 8);
        const double grass = Fractal(x / 6.0, y / 3.0, 9);
        if (patch > 0.55)
          r = 205 + 40 * (grass - 0.5), g = 180 + 40 * (grass - 0.5), bl = 60;
        else
          r = 60 + 50 * (grass - 0.5), g = 125 + 60 * (grass - 0.5), bl = 45;
      }
      Put(b, x, y, r, g, bl);
    }
  }
  return b;
}

// Detail below the cell size: a colour zone plate, thin stripes and a fine
// checkerboard of saturated colours.
TBitmap FineDetail() {
  TBitmap b(kW, kH, pf24bit);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      double r, g, bl;
      if (y < 600) {
        const double d2 = (x - 800.0) * (x - 800.0) + (y - 300.0) * (y - 300.0);
        r = 128 + 127 * std::cos(d2 / 2200.0), g = 128 + 127 * std::cos(d2 / 3100.0 + 1),
        bl = 128 + 127 * std::sin(x / 7.0);
      } else if (x < 800) {
        const int stripe = (x / 3 + y / 5) % 4;
        const double n = Fractal(x / 200.0, y / 200.0, 4);
        r = stripe == 0 ? 230 : 40 + 150 * n, g = stripe == 1 ? 220 : 60, bl = stripe == 2 ? 210 : 90 * n;
      } else {
        const int c = ((x / 4) + (y / 4)) % 3;
        const double n = Fractal(x / 150.0, y / 150.0, 6);
        r = c == 0 ? 250 * n : 20, g = c == 1 ? 240 * n : 30, bl = c == 2 ? 255 : 60 * n;
      }
      Put(b, x, y, r, g, bl);
    }
  return b;
}

const char* const kTargetNames[] = {"portrait", "landscape", "detail", "boats", "ladybird", "cups"};

// Real photographs of Debian's wallpaper packages: the first three are the
// targets, the others the library's sources.
const char* const kRealPhotos[] = {"wallpapers/EveningGlow",
                                   "backgrounds/mate/nature/LadyBird.jpg",
                                   "wallpapers/ColorfulCups",
                                   "backgrounds/mate/nature/Aqua.jpg",
                                   "backgrounds/mate/nature/Blinds.jpg",
                                   "backgrounds/mate/nature/Dune.jpg",
                                   "backgrounds/mate/nature/FreshFlower.jpg",
                                   "backgrounds/mate/nature/Garden.jpg",
                                   "backgrounds/mate/nature/GreenMeadow.jpg",
                                   "backgrounds/mate/nature/RainDrops.jpg",
                                   "backgrounds/mate/nature/Storm.jpg",
                                   "backgrounds/mate/nature/TwoWings.jpg",
                                   "backgrounds/mate/nature/Wood.jpg",
                                   "backgrounds/mate/nature/YellowFlower.jpg",
                                   "wallpapers/BytheWater",
                                   "wallpapers/ColdRipple",
                                   "wallpapers/DarkestHour",
                                   "wallpapers/FallenLeaf",
                                   "wallpapers/Grey",
                                   "wallpapers/Kite",
                                   "wallpapers/OneStandsOut",
                                   "wallpapers/Path",
                                   "wallpapers/summer_1am"};
constexpr int kRealTargets = 3;
constexpr int kRealSources = int(std::size(kRealPhotos)) - kRealTargets;
constexpr int kCropsPerPhoto = 15;
constexpr int kReal = kRealSources * kCropsPerPhoto;

// The file of a real photograph: a plain file, or the largest JPEG of a
// wallpaper package's folder.
std::string RealPhotoFile(int i) {
  const QString path = QStringLiteral("/usr/share/") + QLatin1String(kRealPhotos[i]);
  if (QFileInfo(path).isFile()) return path.toStdString();
  QDir images(path + QStringLiteral("/contents/images"));
  const QFileInfoList files = images.entryInfoList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Size);
  if (files.isEmpty())
    throw std::runtime_error("missing " + path.toStdString() +
                             ": install mate-backgrounds and plasma-workspace-wallpapers (scripts/install-deps.sh)");
  return files.first().filePath().toStdString();
}

QString TargetFile(int t) { return kRoot + QStringLiteral("/match-%1.png").arg(QLatin1String(kTargetNames[t])); }

const TBitmap& TargetBitmap(int t) {
  static std::map<int, TBitmap> targets;
  auto it = targets.find(t);
  if (it != targets.end()) return it->second;
  const QString file = TargetFile(t);
  TBitmap b;
  if (t >= 3) {
    if (!QFile::exists(file))
      RunCommand({"convert", RealPhotoFile(t - 3), "-resize", "1600x1200^", "-gravity", "center", "-extent",
                  "1600x1200", "-type", "TrueColor", file.toStdString()});
    if (!DecodePictureFile(file, b)) throw std::runtime_error("cannot read target");
    b.SetPixelFormat(pf24bit);
  } else {
    b = t == 0 ? Portrait() : t == 1 ? Landscape() : FineDetail();
    TPictureFileContext files;
    if (!QFile::exists(file) && SavePicture(files, file, b) <= 0) throw std::runtime_error("cannot write target");
  }
  return targets.emplace(t, std::move(b)).first->second;
}

// A second library whose colours cover more of what photographs show: 400
// pictures of 640 x 480, each a scene of two fields (sky and ground, wall
// and floor) in colours drawn from the whole range, with texture.
constexpr int kVaried = 400;
QString VariedPhotos() { return kRoot + QStringLiteral("/match-varied"); }

void MakeVariedLibrary() {
  const QString stamp = VariedPhotos() + QStringLiteral("/complete");
  if (QFile::exists(stamp)) return;
  QDir().mkpath(VariedPhotos());
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(0, 1);
  TPictureFileContext files;
  for (int i = 0; i < kVaried; ++i) {
    const double top[3] = {255 * u(rng), 255 * u(rng), 255 * u(rng)};
    const double bottom[3] = {255 * u(rng), 255 * u(rng), 255 * u(rng)};
    const double horizon = 120 + 240 * u(rng), tilt = 80 * (u(rng) - 0.5), grain = 20 + 60 * u(rng);
    TBitmap b(640, 480, pf24bit);
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x) {
        const double n = Fractal(x / 40.0, y / 40.0, unsigned(i)) - 0.5;
        const double* c = y < horizon + tilt * (x - 320) / 320 ? top : bottom;
        Put(b, x, y, c[0] + grain * n, c[1] + grain * n, c[2] + grain * n);
      }
    const QString name = VariedPhotos() + QStringLiteral("/varied%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
    if (SavePicture(files, name, b) <= 0) throw std::runtime_error("cannot write");
  }
  QFile f(stamp);
  f.open(QIODevice::WriteOnly);
}

// The real library: from each source photograph, 15 crops of 4:3 at random
// places, 20 to 60 % of its width, reduced to 320 x 240.
QString RealPhotos() { return kRoot + QStringLiteral("/match-real"); }

void MakeRealLibrary() {
  const QString stamp = RealPhotos() + QStringLiteral("/complete");
  if (QFile::exists(stamp)) return;
  QDir().mkpath(RealPhotos());
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(0, 1);
  for (int i = 0; i < kRealSources; ++i) {
    const std::string source = RealPhotoFile(kRealTargets + i);
    TBitmap photo;
    if (!DecodePictureFile(QString::fromStdString(source), photo)) throw std::runtime_error("cannot read " + source);
    for (int c = 0; c < kCropsPerPhoto; ++c) {
      const int w = int(photo.Width() * (0.2 + 0.4 * u(rng)));
      const int h = std::min(photo.Height(), w * 3 / 4);
      const int x = int((photo.Width() - w) * u(rng)), y = int((photo.Height() - h) * u(rng));
      const QString name = RealPhotos() + QStringLiteral("/real%1-%2.jpg").arg(i, 2, 10, QLatin1Char('0')).arg(c);
      RunCommand({"convert", source, "-crop",
                  std::to_string(w) + "x" + std::to_string(h) + "+" + std::to_string(x) + "+" + std::to_string(y),
                  "+repage", "-resize", "320x240!", "-quality", "90", name.toStdString()});
    }
  }
  QFile f(stamp);
  f.open(QIODevice::WriteOnly);
}

QString LibraryFolder(int which) { return which == 0 ? Photos() : which == 1 ? VariedPhotos() : RealPhotos(); }
int LibrarySize(int which) { return which == 0 ? kPhotos : which == 1 ? kVaried : kReal; }
void MakeLibrary(int which) {
  if (which == 1) MakeVariedLibrary();
  if (which == 2) MakeRealLibrary();
}

const TThumbnailList& Library(int which, bool crop) {
  static std::map<std::pair<int, bool>, TThumbnailList> lists;
  auto it = lists.find({which, crop});
  if (it != lists.end()) return it->second;
  MakeLibrary(which);
  TThumbnailLoadOptions options;
  options.CellSize = kCell;
  options.CropSquare = crop;
  TThumbnailList list;
  LoadThumbnails(list, LibraryFolder(which), options, nullptr);
  if (list.Count() != LibrarySize(which)) throw std::runtime_error("not every photograph loaded");
  return lists.emplace(std::pair{which, crop}, std::move(list)).first->second;
}

// Mean absolute byte difference between the mosaic and the untinted tiles,
// given by a function of the cell.
template <typename TileOf>
double MeanAbsDiff(const TBitmap& mosaic, TileOf tileOf) {
  double sum = 0, n = 0;
  for (int y = 0; y < mosaic.Height(); y += kCell)
    for (int x = 0; x < mosaic.Width(); x += kCell) {
      const int w = std::min(kCell, mosaic.Width() - x), h = std::min(kCell, mosaic.Height() - y);
      const auto [tile, tx, ty] = tileOf(x, y);
      for (int j = 0; j < h; ++j) {
        const std::uint8_t* a = mosaic.ScanLine(y + j) + 3 * x;
        const std::uint8_t* b = tile->ScanLine(ty + j) + 3 * tx;
        for (int i = 0; i < 3 * w; ++i) sum += std::abs(int(a[i]) - int(b[i]));
      }
      n += 3.0 * w * h;
    }
  return sum / n;
}

TBitmap Load(const QString& file) {
  TBitmap b;
  if (!DecodePictureFile(file, b)) throw std::runtime_error("cannot read " + file.toStdString());
  b.SetPixelFormat(pf24bit);
  return b;
}

std::string MetapixelLibrary(int which) {
  const QString name = QStringLiteral("match-metapixel-library-%1").arg(which);
  const QString dir = kRoot + u'/' + name;
  if (!QFile::exists(dir + QStringLiteral("/complete"))) {
    MakeLibrary(which);
    const std::string fresh = Fresh(name.toLatin1().constData());
    RunCommand({"metapixel-prepare", "--width=20", "--height=20", LibraryFolder(which).toStdString(), fresh});
    QFile f(dir + QStringLiteral("/complete"));
    f.open(QIODevice::WriteOnly);
  }
  return dir.toStdString();
}

QString MetapixelOutput(int which, int t, int cheat) {
  const QString out = kRoot + QStringLiteral("/match-metapixel-%1-%2-%3.png").arg(which).arg(t).arg(cheat);
  if (!QFile::exists(out))
    RunCommand({"metapixel", "--metapixel", "-l", MetapixelLibrary(which), "-w", "20", "-h", "20", "--distance=3",
                "--cheat=" + std::to_string(cheat), TargetFile(t).toStdString(), out.toStdString()});
  return out;
}

void Setup(const benchmark::State&) {
  SetEnglishTexts();
  MakeInputs();
}

enum TMode { MatchedTint0, MatchedTint25, MatchedLight25, Random77, Metapixel0, Metapixel25 };
const char* const kModeNames[] = {"matched tint 0",    "matched tint 25 whole", "matched tint 25 light",
                                  "default random 77", "metapixel cheat 0",     "metapixel cheat 25"};

void Report(benchmark::State& state, const TMosaicQuality& q, double mad) {
  state.counters["far"] = q.Far.Mean;
  state.counters["far95"] = q.Far.P95;
  state.counters["near"] = q.Near.Mean;
  state.counters["near95"] = q.Near.P95;
  state.counters["MAD"] = mad;
}

// Libraries 0 and 1 on the generated targets, the real library on the real ones.
void BM_Fidelity(benchmark::State& state) {
  const int which = int(state.range(0));
  const int t = int(state.range(1)) + (which == 2 ? 3 : 0);
  const TMode mode = TMode(state.range(2));
  const TBitmap& target = TargetBitmap(t);
  TMosaicQuality q;
  double mad = 0;
  for (auto _ : state) {
    if (mode == MatchedTint0 || mode == MatchedTint25 || mode == MatchedLight25) {
      const TThumbnailList& list = Library(which, true);
      TBitmap mosaic = target;
      TSeededRandom random(1);
      TMatchOptions options;
      options.CellSize = kCell;
      options.TintLimit = mode == MatchedTint0 ? 0 : 25;
      options.Tint = mode == MatchedLight25 ? TTintMode::Light : TTintMode::Whole;
      options.Random = &random;
      TMatchPlacement placement;
      BuildMatchedMosaic(mosaic, list, options, nullptr, &placement);
      q = MeasureMosaic(target, mosaic, kCell, kCell);
      mad = MeanAbsDiff(mosaic, [&](int x, int y) {
        const int i = placement.Thumbnail[size_t((y / kCell) * placement.Columns + x / kCell)];
        return std::tuple{&list.Entry(i), 0, 0};
      });
    } else if (mode == Random77) {
      const TThumbnailList& list = Library(which, false);
      TBitmap mosaic = target;
      TSeededRandom random(1);
      BuildMosaic(mosaic, list, kCell, true, nullptr, &random);
      // The picks depend only on the draws: replay them.
      TSeededRandom replay(1);
      TBitmap scratch(1, 1);
      TMosaicBuilder picker(scratch, list, kCell, true, replay);
      replay.Randomize();
      std::vector<int> picks;
      for (int y = 0; y < kH; y += kCell)
        for (int x = 0; x < kW; x += kCell) {
          picker.PickThumbnail(scratch);
          picks.push_back(picker.PreviousThumbnail);
        }
      q = MeasureMosaic(target, mosaic, kCell, kCell);
      size_t next = 0;
      mad = MeanAbsDiff(mosaic, [&](int, int) { return std::tuple{&list.Entry(picks[next++]), 0, 0}; });
    } else {
      const TBitmap plain = Load(MetapixelOutput(which, t, 0));
      const TBitmap mosaic = mode == Metapixel0 ? plain : Load(MetapixelOutput(which, t, 25));
      if (mosaic.Width() != kW || mosaic.Height() != kH) state.SkipWithError("metapixel changed the size");
      q = MeasureMosaic(target, mosaic, kCell, kCell);
      mad = MeanAbsDiff(mosaic, [&](int x, int y) { return std::tuple{&plain, x, y}; });
    }
  }
  static const char* const kLibraries[] = {"job photos, ", "varied 400, ", "real 300, "};
  state.SetLabel(std::string(kLibraries[which]) + kTargetNames[t] + ", " + kModeNames[mode]);
  Report(state, q, mad);
}

void BM_RepeatDistance(benchmark::State& state) {
  const int t = int(state.range(0));
  const TBitmap& target = TargetBitmap(t);
  const TThumbnailList& list = Library(0, true);
  TMosaicQuality q;
  for (auto _ : state) {
    TBitmap mosaic = target;
    TSeededRandom random(1);
    TMatchOptions options;
    options.CellSize = kCell;
    options.TintLimit = 0;
    options.RepeatDistance = int(state.range(1));
    options.Random = &random;
    BuildMatchedMosaic(mosaic, list, options, nullptr);
    q = MeasureMosaic(target, mosaic, kCell, kCell);
  }
  state.SetLabel(std::string(kTargetNames[t]) + ", distance " + std::to_string(state.range(1)));
  state.counters["far"] = q.Far.Mean;
  state.counters["near"] = q.Near.Mean;
}

// Synthetic library descriptors shaped like photographs': a main colour, a
// gradient across the parts and some texture, described as the engine does.
std::vector<TTileDescriptor> SyntheticLibrary(int count) {
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> u(0, 1);
  std::normal_distribution<double> texture(0, 12);
  std::vector<TTileDescriptor> out;
  out.reserve(size_t(count));
  // One pixel a part, described as every thumbnail is.
  TBitmap parts(MatchGrid, MatchGrid, pf24bit);
  for (int i = 0; i < count; ++i) {
    const double base[3] = {255 * u(rng), 255 * u(rng), 255 * u(rng)};
    const double gx = 60 * (u(rng) - 0.5), gy = 60 * (u(rng) - 0.5);
    for (int y = 0; y < MatchGrid; ++y)
      for (int x = 0; x < MatchGrid; ++x) {
        const double dx = double(x) / (MatchGrid - 1) - 0.5, dy = double(y) / (MatchGrid - 1) - 0.5;
        std::uint8_t* p = parts.ScanLine(y) + 3 * x;
        for (int k = 0; k < 3; ++k) p[2 - k] = Byte(base[k] + 2 * gx * dx + 2 * gy * dy + texture(rng));
      }
    out.push_back(DescribeArea(parts, 0, 0, MatchGrid, MatchGrid));
  }
  return out;
}

// The cells of the landscape at cell 10: 160 x 120.
const std::vector<TTileDescriptor>& MatchCellsAt10() {
  static const std::vector<TTileDescriptor> cells = [] {
    const TBitmap& target = TargetBitmap(1);
    std::vector<TTileDescriptor> c;
    for (int y = 0; y < kH; y += 10)
      for (int x = 0; x < kW; x += 10) c.push_back(DescribeArea(target, x, y, 10, 10));
    return c;
  }();
  return cells;
}

constexpr int kCandidates = 49;

void BM_NearestScan(benchmark::State& state) {
  const TMatchLibrary library(SyntheticLibrary(int(state.range(0))));
  const auto& cells = MatchCellsAt10();
  const int k = std::min(kCandidates, library.Count());
  std::vector<TMatchCandidate> out(cells.size() * size_t(k));
  for (auto _ : state) {
    library.Nearest(cells.data(), int(cells.size()), k, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["cells"] = double(cells.size());
}

struct TDescriptorCloud {
  std::vector<TTileDescriptor> points;
  size_t kdtree_get_point_count() const { return points.size(); }
  float kdtree_get_pt(size_t i, size_t d) const { return points[i][d]; }
  template <class BBox>
  bool kdtree_get_bbox(BBox&) const {
    return false;
  }
};
using TKdTree = nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<float, TDescriptorCloud>,
                                                    TDescriptorCloud, MatchDescriptorSize>;

void BM_NearestKdTree(benchmark::State& state) {
  TDescriptorCloud cloud{SyntheticLibrary(int(state.range(0)))};
  const auto& cells = MatchCellsAt10();
  const size_t k = size_t(std::min<int>(kCandidates, int(cloud.points.size())));
  std::vector<std::uint32_t> index(k);
  std::vector<float> dist(k);
  for (auto _ : state) {
    TKdTree tree(MatchDescriptorSize, cloud, nanoflann::KDTreeSingleIndexAdaptorParams(10));
    tree.buildIndex();
    for (const TTileDescriptor& c : cells) {
      tree.knnSearch(c.data(), k, index.data(), dist.data());
      benchmark::DoNotOptimize(index.data());
    }
  }
  state.counters["cells"] = double(cells.size());
}

void BM_MatchCells(benchmark::State& state) {
  const TMatchLibrary library(SyntheticLibrary(int(state.range(0))));
  const auto& cells = MatchCellsAt10();
  for (auto _ : state) {
    TSeededRandom random(1);
    TMatchOptions options;
    options.CellSize = 10;
    options.Random = &random;
    benchmark::DoNotOptimize(MatchCells(library, cells, kW / 10, kH / 10, options));
  }
  state.counters["cores"] = double(std::max(1u, std::thread::hardware_concurrency()));
}

// The rules on reuse at their scale of use: 19,200 cells at cell 10 and a
// library of 2,000 synthetic photos; and at the largest, the cells of five
// such pictures (96,000) and 20,000 photos. Modes: no rule, every photo, a cap of
// about the average use, both. The counters give the cost in fit: the mean
// distance between cell and photo descriptors, and what became of the rules.
const char* const kFairModes[] = {"no rule", "use all", "max uses 10", "max uses 10, use all"};

void BM_FairUse(benchmark::State& state) {
  const TMatchLibrary library(SyntheticLibrary(int(state.range(0))));
  const int copies = int(state.range(2));
  std::vector<TTileDescriptor> cells;
  for (int i = 0; i < copies; ++i) cells.insert(cells.end(), MatchCellsAt10().begin(), MatchCellsAt10().end());
  const int mode = int(state.range(1));
  TMatchUses uses;
  std::vector<int> chosen;
  for (auto _ : state) {
    TSeededRandom random(1);
    TMatchOptions options;
    options.CellSize = 10;
    options.Random = &random;
    options.UseAll = mode == 1 || mode == 3;
    options.MaxUses = mode >= 2 ? 10 : 0;
    chosen = MatchCells(library, cells, kW / 10, copies * kH / 10, options, nullptr, &uses);
  }
  double error = 0;
  for (size_t i = 0; i < cells.size(); ++i) error += std::sqrt(library.Distance(cells[i], chosen[i]));
  state.SetLabel(kFairModes[mode]);
  state.counters["distance"] = error / double(cells.size());
  state.counters["used"] = uses.PhotosUsed;
  state.counters["most"] = uses.MostUses;
  state.counters["tooClose"] = uses.TooClose;
  state.counters["overCap"] = uses.OverCap;
  state.counters["cores"] = double(std::max(1u, std::thread::hardware_concurrency()));
}

void BM_WholeMatchedJob(benchmark::State& state) {
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    TThumbnailLoadOptions load;
    load.CellSize = kCell;
    load.CropSquare = true;
    load.FastJpeg = state.range(0) != 0;
    TThumbnailList list;
    LoadThumbnails(list, Photos(), load, nullptr);
    TBitmap picture = Load(Target());
    TMatchOptions options;
    options.CellSize = kCell;
    TSeededRandom random(1);
    options.Random = &random;
    BuildMatchedMosaic(picture, list, options, nullptr);
    TPictureFileContext files;
    if (SavePicture(files, kRoot + QStringLiteral("/match-ours.png"), picture) <= 0) state.SkipWithError("cannot save");
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
}

// One photograph squared: the nearest-pixel squash against the crop.
void BM_SquareOne(benchmark::State& state) {
  const TBitmap photo = Photo(2000, 1500, 3);
  for (auto _ : state) {
    if (state.range(0)) {
      benchmark::DoNotOptimize(CropToSquare(photo, kCell));
    } else {
      TBitmap b = photo;
      ScaleBitmap(kCell, kCell, b);
      benchmark::DoNotOptimize(b);
    }
  }
}

// The thumbnail load alone, squashed or cropped, full-size decoding.
void BM_LoadThumbnails(benchmark::State& state) {
  TThumbnailLoadOptions options;
  options.CellSize = kCell;
  options.CropSquare = state.range(0) != 0;
  for (auto _ : state) {
    TThumbnailList list;
    LoadThumbnails(list, Photos(), options, nullptr);
    if (list.Count() != kPhotos) state.SkipWithError("not every photograph loaded");
  }
}

void BM_WholeJobMetapixel(benchmark::State& state) {
  for (auto _ : state) {
    const double seconds =
        MetapixelJobSeconds("match-metapixel-job-library", kRoot + QStringLiteral("/match-metapixel.png"));
    state.SetIterationTime(seconds);
  }
}

}  // namespace

BENCHMARK(BM_Fidelity)->Setup(Setup)->ArgsProduct({{0, 1, 2}, {0, 1, 2}, {0, 1, 2, 3, 4, 5}})->Iterations(1);
BENCHMARK(BM_RepeatDistance)->Setup(Setup)->ArgsProduct({{0, 1}, {0, 1, 2, 3, 4, 5}})->Iterations(1);
BENCHMARK(BM_NearestScan)
    ->Setup(Setup)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(5000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_NearestKdTree)
    ->Setup(Setup)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(5000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_MatchCells)->Setup(Setup)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_FairUse)
    ->Setup(Setup)
    ->ArgNames({"photos", "mode", "copies"})
    ->ArgsProduct({{2000}, {0, 1, 2, 3}, {1}})
    ->ArgsProduct({{20000}, {0, 1, 2, 3}, {5}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_WholeMatchedJob)
    ->Setup(Setup)
    ->ArgName("fast")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_SquareOne)->ArgName("crop")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadThumbnails)
    ->Setup(Setup)
    ->ArgName("crop")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(BM_WholeJobMetapixel)->Setup(Setup)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_MAIN();
