#include "raster/Color.h"

#include <QGuiApplication>
#include <QPalette>

namespace {

// Values of the classic desktop scheme, used when no application (and so no
// palette) exists: the tests and the command-line tool.
constexpr TColor kClassic[31] = {0xC8C8C8, 0x000000, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF, 0x000000, 0x000000,
                                 0x000000, 0xFFFFFF, 0xC8D0D4, 0xC8D0D4, 0x808080, 0x6A240A, 0xFFFFFF, 0xC8D0D4,
                                 0x808080, 0x808080, 0x000000, 0xC8D0D4, 0xFFFFFF, 0x404040, 0xC8D0D4, 0x000000,
                                 0xE1FFFF, 0xB5B5B5, 0x800000, 0xF0CAA6, 0xC0C0C0, 0x6A240A, 0xC8D0D4};

TColor FromQColor(const QColor& c) { return RGBColor(c.red(), c.green(), c.blue()); }

TColor FromPalette(const QPalette& p, unsigned index) {
  using R = QPalette::ColorRole;
  switch (index) {
    case 0: return FromQColor(p.color(R::Button));  // scroll bar
    case 1: return FromQColor(p.color(R::Dark));    // desktop
    case 2:
    case 13:
    case 29: return FromQColor(p.color(R::Highlight));
    case 3:
    case 17: return FromQColor(p.color(QPalette::Disabled, R::Text));
    case 4:
    case 30: return FromQColor(p.color(R::Window));  // menu
    case 5: return FromQColor(p.color(R::Base));
    case 6:
    case 21: return FromQColor(p.color(R::Shadow));
    case 7:
    case 8: return FromQColor(p.color(R::Text));
    case 9:
    case 14: return FromQColor(p.color(R::HighlightedText));
    case 10:
    case 11:
    case 15: return FromQColor(p.color(R::Button));
    case 12: return FromQColor(p.color(R::Dark));  // application workspace
    case 16: return FromQColor(p.color(R::Mid));
    case 18: return FromQColor(p.color(R::ButtonText));
    case 19: return FromQColor(p.color(QPalette::Inactive, R::HighlightedText));
    case 20: return FromQColor(p.color(R::Light));
    case 22: return FromQColor(p.color(R::Midlight));
    case 23: return FromQColor(p.color(R::ToolTipText));
    case 24: return FromQColor(p.color(R::ToolTipBase));
    case 26: return FromQColor(p.color(R::Link));
    default: return kClassic[index];
  }
}

}  // namespace

TColor ColorToRGB(TColor color) {
  if ((color & clSystemColor) == 0) return color;
  const unsigned index = color & 0xFF;
  if (index > 30) return clBlack;
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    return FromPalette(QGuiApplication::palette(), index);
  return kClassic[index];
}
