#include "app/MyMenu.h"

#include <QPainter>
#include <new>

#include "app/InterfaceTexts.h"
#include "raster/Bitmap.h"
#include "raster/ColorAdjust.h"

TColor MenuGutterColor = clMenu;
TColor MenuSelStartColor = clHighlight;
TColor MenuSelEndColor = clHighlight;

void InitMenuColors() {
  MenuGutterColor = MixColors(clMenu, 0x00110033, 12);
  MenuSelStartColor = MixColors(clMenu, clHighlight, 77);
  MenuSelEndColor = MixColors(clMenu, clHighlight, 33);
}

namespace {

// Draws a design picture (which may carry its own alpha) over the work
// bitmap at (x, y), as an enabled button picture is drawn.
void DrawPicture(TBitmap& work, const QImage& picture, int x, int y) {
  QPainter p(&work.MutableImage());
  p.drawImage(x, y, picture);
  p.end();
}

// The list's picture: a copy of the 24-bit work bitmap where pixels exactly
// equal to the mask colour are transparent.
QImage MaskedPicture(const TBitmap& work, TColor mask) {
  const QRgb key = QColor(GetRValue(mask), GetGValue(mask), GetBValue(mask)).rgb();
  QImage out = work.Image().convertToFormat(QImage::Format_ARGB32);
  if (out.isNull()) throw std::bad_alloc();
  for (int y = 0; y < out.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x)
      if (row[x] == key) row[x] = 0;
  }
  return out;
}

bool SameSize(const TImageList& list) {
  for (const QImage& image : list)
    if (image.size() != list.front().size()) return false;
  return true;
}

// Runs compose(work, picture) on a fresh W x H work bitmap for every
// picture and collects the results with the colour t as mask; no list for an
// unusable source or when memory runs out.
template <class Compose>
std::optional<TImageList> BuildImageList(const TImageList& source, TColor t, Compose compose) {
  if (source.empty() || !SameSize(source) || source.front().isNull()) return std::nullopt;
  try {
    TImageList result;
    result.reserve(source.size());
    TBitmap work(source.front().width(), source.front().height(), pf24bit);
    for (const QImage& picture : source) {
      compose(work, picture);
      result.push_back(MaskedPicture(work, t));
    }
    return result;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

}  // namespace

std::optional<TImageList> MakeDisabledImages(const TImageList& source, TColor transparent, int percent) {
  const TColor t = ColorToRGB(transparent);
  return BuildImageList(source, t, [&](TBitmap& work, const QImage& picture) {
    ColorizeBitmap(work, ImageKeyColor, 100, FullRect);
    DrawPicture(work, picture, 0, 0);
    GrayTintBitmap(work, ImageKeyColor, t, percent);
  });
}

std::optional<TImageList> MakeNormalImages(const TImageList& source, TColor transparent, int percent) {
  if (percent < 0 || percent > 100) return std::nullopt;
  const TColor t = ColorToRGB(transparent);
  std::optional<TBitmap> shadow;
  return BuildImageList(source, t, [&](TBitmap& work, const QImage& picture) {
    if (!shadow) shadow.emplace(work.Width() + 2, work.Height() + 2, pf24bit);
    ColorizeBitmap(*shadow, ImageKeyColor, 100, FullRect);
    DrawPicture(*shadow, picture, 1, 1);
    MakeColorMask(*shadow, *shadow, ImageKeyColor, 7, true, FullRect);
    BlurBitmap(*shadow, FullRect);
    ColorizeBitmap(work, t, 100, FullRect);
    BlendColorMasked(*shadow, FullRect, work, 0, 0, FullRect, clBlack, percent);
    DrawPicture(work, picture, 0, 0);
  });
}

void FillGradient(QPainter& painter, TRect r, TColor a, TColor b) {
  const int w = r.Right - r.Left;
  if (w <= 0 || r.Bottom <= r.Top) return;
  const TColor ca = ColorToRGB(a), cb = ColorToRGB(b);
  const int ar = GetRValue(ca), ag = GetGValue(ca), ab = GetBValue(ca);
  const int dr = GetRValue(cb) - ar, dg = GetGValue(cb) - ag, db = GetBValue(cb) - ab;
  for (int k = 0; k < w; ++k)
    painter.fillRect(r.Left + k, r.Top, 1, r.Bottom - r.Top, QColor(ar + k * dr / w, ag + k * dg / w, ab + k * db / w));
}

namespace {

// Keys whose name is not in the shortcut table, as the keyboard reports
// them; every other code has no key here.
int QtKeyOfOtherCode(int code) {
  switch (code) {
    case 3: return Qt::Key_Cancel;
    case 12: return Qt::Key_Clear;
    case 16: return Qt::Key_Shift;
    case 17: return Qt::Key_Control;
    case 18: return Qt::Key_Alt;
    case 19: return Qt::Key_Pause;
    case 20: return Qt::Key_CapsLock;
    case 41: return Qt::Key_Select;
    case 42: return Qt::Key_Print;
    case 43: return Qt::Key_Execute;
    case 44: return Qt::Key_SysReq;
    case 47: return Qt::Key_Help;
    case 91: return Qt::Key_Meta;
    case 93: return Qt::Key_Menu;
    case 95: return Qt::Key_Sleep;
    case 106: return Qt::Key_Asterisk;
    case 107: return Qt::Key_Plus;
    case 109: return Qt::Key_Minus;
    case 110: return Qt::Key_Period;
    case 111: return Qt::Key_Slash;
    case 144: return Qt::Key_NumLock;
    case 145: return Qt::Key_ScrollLock;
    case 186: return Qt::Key_Semicolon;
    case 187: return Qt::Key_Equal;
    case 188: return Qt::Key_Comma;
    case 189: return Qt::Key_Minus;
    case 190: return Qt::Key_Period;
    case 191: return Qt::Key_Slash;
    case 192: return Qt::Key_QuoteLeft;
    case 219: return Qt::Key_BracketLeft;
    case 220: return Qt::Key_Backslash;
    case 221: return Qt::Key_BracketRight;
    case 222: return Qt::Key_Apostrophe;
    default: return 0;
  }
}

bool IsKeypadOperator(int code) { return code >= 106 && code <= 111; }

// The key of the codes that have a name of their own in the shortcut texts.
int QtKeyOfNamedCode(int code) {
  switch (code) {
    case vkBack: return Qt::Key_Backspace;
    case vkTab: return Qt::Key_Tab;
    case vkReturn: return Qt::Key_Return;
    case vkEscape: return Qt::Key_Escape;
    case vkSpace: return Qt::Key_Space;
    case vkPrior: return Qt::Key_PageUp;
    case vkNext: return Qt::Key_PageDown;
    case vkEnd: return Qt::Key_End;
    case vkHome: return Qt::Key_Home;
    case vkLeft: return Qt::Key_Left;
    case vkUp: return Qt::Key_Up;
    case vkRight: return Qt::Key_Right;
    case vkDown: return Qt::Key_Down;
    case vkInsert: return Qt::Key_Insert;
    case vkDelete: return Qt::Key_Delete;
    default: break;
  }
  if (code >= 48 && code <= 57) return Qt::Key_0 + (code - 48);
  if (code >= 65 && code <= 90) return Qt::Key_A + (code - 65);
  if (code >= vkNumpad0 && code <= vkNumpad0 + 9) return Qt::Key_0 + (code - vkNumpad0);
  if (code >= vkF1 && code <= vkF1 + 23) return Qt::Key_F1 + (code - vkF1);
  return 0;
}

QString NameOfNamedCode(int code) {
  switch (code) {
    case vkBack: return LangText(lsKeyBackspace);
    case vkTab: return LangText(lsKeyTab);
    case vkReturn: return LangText(lsKeyEnter);
    case vkEscape: return LangText(lsKeyEscape);
    case vkSpace: return LangText(lsKeySpace);
    case vkPrior: return LangText(lsKeyPageUp);
    case vkNext: return LangText(lsKeyPageDown);
    case vkEnd: return LangText(lsKeyEnd);
    case vkHome: return LangText(lsKeyHome);
    case vkLeft: return LangText(lsKeyLeft);
    case vkUp: return LangText(lsKeyUp);
    case vkRight: return LangText(lsKeyRight);
    case vkDown: return LangText(lsKeyDown);
    case vkInsert: return LangText(lsKeyInsert);
    case vkDelete: return LangText(lsKeyDelete);
    default: break;
  }
  if ((code >= 48 && code <= 57) || (code >= 65 && code <= 90)) return QString(QChar(code));
  if (code >= vkNumpad0 && code <= vkNumpad0 + 9) return QString(QChar(code - 48));
  if (code >= vkF1 && code <= vkF1 + 23) return u'F' + QString::number(code - 111);
  return KeyName(code);
}

}  // namespace

QString KeyName(int code) {
  const int key = QtKeyOfOtherCode(code);
  if (key == 0) return {};
  const Qt::KeyboardModifiers mods = IsKeypadOperator(code) ? Qt::KeypadModifier : Qt::NoModifier;
  return QKeySequence(QKeyCombination(mods, Qt::Key(key))).toString(QKeySequence::NativeText);
}

QString MenuShortCutToText(TShortCut shortcut) {
  const QString name = NameOfNamedCode(shortcut & 0xFF);
  if (name.isEmpty()) return {};
  QString text;
  if (shortcut & scShift) text += LangText(lsShiftPrefix);
  if (shortcut & scCtrl) text += LangText(lsCtrlPrefix);
  if (shortcut & scAlt) text += LangText(lsAltPrefix);
  return text + name;
}

QKeySequence KeySequenceOf(TShortCut shortcut) {
  const int code = shortcut & 0xFF;
  int key = QtKeyOfNamedCode(code);
  Qt::KeyboardModifiers mods;
  if (key == 0) {
    key = QtKeyOfOtherCode(code);
    if (IsKeypadOperator(code)) mods |= Qt::KeypadModifier;
  } else if (code >= vkNumpad0 && code <= vkNumpad0 + 9) {
    mods |= Qt::KeypadModifier;
  }
  if (key == 0) return {};
  if (shortcut & scShift) mods |= Qt::ShiftModifier;
  if (shortcut & scCtrl) mods |= Qt::ControlModifier;
  if (shortcut & scAlt) mods |= Qt::AltModifier;
  return QKeySequence(QKeyCombination(mods, Qt::Key(key)));
}
