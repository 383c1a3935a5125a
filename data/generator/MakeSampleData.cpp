// Writes the bundled sample: a target picture and a folder of thumbnails in
// the four thumbnail formats. Deterministic: the same files on every machine.
//   tesselune-make-sample OUTPUT_DIR   ->  OUTPUT_DIR/sample.jpg, OUTPUT_DIR/Thumbnails/*
#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>

#include "app/InterfaceTexts.h"
#include "imagefiles/PictureFiles.h"
#include "raster/Bitmap.h"

namespace {

// A small fixed generator so that the pictures do not depend on the library.
struct Lcg {
  quint32 state;
  int Next(int bound) {
    state = state * 1664525u + 1013904223u;
    return int((quint64(state >> 8) * quint64(bound)) >> 24);
  }
};

QColor Hue(int h, int s, int v) { return QColor::fromHsv(((h % 360) + 360) % 360, s, v); }

void Save(const QImage& image, const QString& path) {
  TBitmap bitmap;
  bitmap.SetImage(image.convertToFormat(QImage::Format_RGB32), pf24bit);
  TPictureFileContext files;
  if (SavePicture(files, path, bitmap) <= 0) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    std::exit(1);
  }
}

QImage Thumbnail(int index) {
  Lcg rnd{quint32(index * 2654435761u + 12345u)};
  const int w = 72 + rnd.Next(90), h = 60 + rnd.Next(90);
  const int hue = index * 137;
  const int light = 90 + (index * 53) % 166;
  QImage img(w, h, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  switch (index % 8) {
    case 0: {  // sunset: radial glow over a horizon
      QRadialGradient g(w * 0.5, h * 0.7, w * 0.8);
      g.setColorAt(0, Hue(hue + 40, 200, 255));
      g.setColorAt(1, Hue(hue, 230, light / 2));
      p.fillRect(img.rect(), g);
      p.fillRect(QRectF(0, h * 0.72, w, h), Hue(hue + 200, 180, light / 3));
      break;
    }
    case 1: {  // concentric rings
      for (int r = std::max(w, h); r > 0; r -= 8)
        p.setBrush(Hue(hue + r * 3, 180, (r / 8) % 2 ? light : 255 - light / 2)), p.setPen(Qt::NoPen),
            p.drawEllipse(QPointF(w / 2.0, h / 2.0), r, r);
      break;
    }
    case 2: {  // slanted stripes
      p.fillRect(img.rect(), Hue(hue, 120, light));
      p.rotate(15 + rnd.Next(60));
      for (int x = -2 * w; x < 2 * w; x += 14)
        p.fillRect(QRectF(x, -2 * h, 7, 4 * h), Hue(hue + 30, 220, 255 - light / 3));
      break;
    }
    case 3: {  // checkerboard in two shades
      const int c = 8 + rnd.Next(10);
      for (int y = 0; y < h; y += c)
        for (int x = 0; x < w; x += c)
          p.fillRect(x, y, c, c, ((x + y) / c) % 2 ? Hue(hue, 200, light) : Hue(hue + 180, 60, 255 - light / 2));
      break;
    }
    case 4: {  // flower
      p.fillRect(img.rect(), Hue(hue + 120, 150, light / 2 + 40));
      p.translate(w / 2.0, h / 2.0);
      for (int k = 0; k < 8; ++k) {
        p.rotate(45);
        p.setBrush(Hue(hue, 200, 255));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(4, -6, std::min(w, h) * 0.42, 12));
      }
      p.setBrush(Hue(hue + 60, 255, 220));
      p.drawEllipse(QPointF(0, 0), 8, 8);
      break;
    }
    case 5: {  // hills under a sky
      QLinearGradient sky(0, 0, 0, h);
      sky.setColorAt(0, Hue(210 + index, 160, 255));
      sky.setColorAt(1, Hue(hue, 40, light));
      p.fillRect(img.rect(), sky);
      for (int k = 0; k < 3; ++k) {
        QPainterPath path;
        path.moveTo(0, h);
        for (int x = 0; x <= w; x += 6) path.lineTo(x, h * (0.5 + 0.15 * k) + 10 * std::sin(x * 0.05 + k + index));
        path.lineTo(w, h);
        p.fillPath(path, Hue(hue + 90 + 20 * k, 150, light - 25 * k));
      }
      break;
    }
    case 6: {  // soft blobs
      p.fillRect(img.rect(), Hue(hue, 80, light));
      for (int k = 0; k < 12; ++k) {
        QRadialGradient g(rnd.Next(w), rnd.Next(h), 10 + rnd.Next(30));
        g.setColorAt(0, Hue(hue + rnd.Next(120), 220, 255));
        g.setColorAt(1, QColor(0, 0, 0, 0));
        p.fillRect(img.rect(), g);
      }
      break;
    }
    default: {  // linear sweep with a bright bar
      QLinearGradient g(0, 0, w, h);
      g.setColorAt(0, Hue(hue, 230, light));
      g.setColorAt(1, Hue(hue + 90, 230, 255 - light / 2));
      p.fillRect(img.rect(), g);
      p.fillRect(QRectF(0, h * 0.4, w, h * 0.15), Hue(hue + 180, 100, 240));
    }
  }
  return img;
}

// The target: a small landscape with sky, sun, mountains, lake and trees.
QImage Target() {
  const int w = 640, h = 480;
  QImage img(w, h, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, h * 0.6);
  sky.setColorAt(0, QColor(40, 90, 190));
  sky.setColorAt(1, QColor(250, 180, 120));
  p.fillRect(img.rect(), sky);
  QRadialGradient sun(460, 170, 70);
  sun.setColorAt(0, QColor(255, 250, 210));
  sun.setColorAt(0.6, QColor(255, 210, 90));
  sun.setColorAt(1, QColor(255, 180, 90, 0));
  p.fillRect(img.rect(), sun);
  QPainterPath mountains;
  mountains.moveTo(0, 300);
  const int peaks[][2] = {{80, 180}, {170, 250}, {260, 140}, {360, 260}, {450, 200}, {560, 270}, {640, 210}};
  for (const auto& pk : peaks) mountains.lineTo(pk[0], pk[1]);
  mountains.lineTo(640, 300);
  mountains.closeSubpath();
  QLinearGradient rock(0, 140, 0, 300);
  rock.setColorAt(0, QColor(120, 110, 130));
  rock.setColorAt(1, QColor(60, 70, 80));
  p.fillPath(mountains, rock);
  QLinearGradient lake(0, 300, 0, h);
  lake.setColorAt(0, QColor(90, 140, 200));
  lake.setColorAt(1, QColor(20, 50, 100));
  p.fillRect(QRectF(0, 300, w, h - 300), lake);
  p.fillRect(QRectF(0, 380, w, h - 380), QColor(40, 110, 50));
  for (int k = 0; k < 9; ++k) {
    const double x = 30 + k * 72, base = 400 + (k % 3) * 15;
    QPolygonF tree;
    tree << QPointF(x, base - 90) << QPointF(x - 26, base) << QPointF(x + 26, base);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 80 + k * 8, 40));
    p.drawPolygon(tree);
    p.fillRect(QRectF(x - 4, base, 8, 18), QColor(90, 60, 30));
  }
  return img;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: tesselune-make-sample OUTPUT_DIR\n");
    return 2;
  }
  SetEnglishTexts();
  const QDir out(QString::fromLocal8Bit(argv[1]));
  QDir().mkpath(out.filePath(QStringLiteral("Thumbnails")));
  const char* formats[] = {"png", "jpg", "bmp", "gif"};
  for (int i = 0; i < 64; ++i)
    Save(Thumbnail(i), out.filePath(QStringLiteral("Thumbnails/thumb%1.%2")
                                        .arg(i, 2, 10, QLatin1Char('0'))
                                        .arg(QLatin1String(formats[i % 4]))));
  Save(Target(), out.filePath(QStringLiteral("sample.jpg")));
  return 0;
}
