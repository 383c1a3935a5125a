#include "app/gui/MenuStyle.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStyleOptionMenuItem>

#include "app/MyMenu.h"
#include "raster/Color.h"

namespace {

QColor Q(TColor colour) {
  const TColor c = ColorToRGB(colour);
  return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

TRect ToTRect(const QRect& r) { return TRect{r.left(), r.top(), r.right() + 1, r.bottom() + 1}; }

// Pixels between the item's edges and its caption or shortcut.
constexpr int TextInset = 16;
constexpr int SeparatorHeight = 9;

// Caption and shortcut text of a drop-down item ("Open...\tCtrl+O").
void SplitItemText(const QString& text, QString& caption, QString& shortcut) {
  const qsizetype tab = text.indexOf(QLatin1Char('\t'));
  caption = tab < 0 ? text : text.left(tab);
  shortcut = tab < 0 ? QString() : text.mid(tab + 1);
}

// The widest shortcut text of the menu: the menu adds it to the widest item
// on its own, so the measure below takes it off again.
int MenuTabWidth(const QWidget* widget) {
  const auto* menu = qobject_cast<const QMenu*>(widget);
  if (!menu) return 0;
  int width = 0;
  for (const QAction* action : menu->actions()) {
    const QString text = action->text();
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    if (tab >= 0) width = std::max(width, menu->fontMetrics().horizontalAdvance(text.mid(tab + 1)));
  }
  return width;
}

void DrawCheckMark(QPainter* p, const QRect& r, const QColor& colour) {
  // A 7 x 7 tick, centred in the 16 pixels at the item's left.
  const int w = 7, h = 7;
  const int x = r.left() + (TextInset - w) / 2;
  const int y = r.top() + (r.height() - 1 - h) / 2;
  p->save();
  p->setRenderHint(QPainter::Antialiasing, false);
  p->setPen(colour);
  for (int i = 0; i < 3; ++i) {
    p->drawLine(x, y + 2 + i, x + 2, y + 4 + i);
    p->drawLine(x + 2, y + 4 + i, x + 6, y + i);
  }
  p->restore();
}

}  // namespace

TMenuStyle::TMenuStyle() : QProxyStyle() {}

TMenuStyle& MenuStyle() {
  // Owned by the application object, so that it outlives every menu.
  static TMenuStyle* style = [] {
    auto* s = new TMenuStyle;
    s->setParent(qApp);
    return s;
  }();
  return *style;
}

void OwnerDrawMenu(QMenu* menu) {
  if (!menu) return;
  menu->setStyle(&MenuStyle());
  for (QAction* action : menu->actions())
    if (action->menu()) OwnerDrawMenu(action->menu());
}

void OwnerDrawMenu(QMenuBar* menuBar) {
  if (!menuBar) return;
  menuBar->setStyle(&MenuStyle());
  for (QAction* action : menuBar->actions())
    if (action->menu()) OwnerDrawMenu(action->menu());
}

int TMenuStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const {
  switch (metric) {
    case PM_MenuPanelWidth: return 1;
    case PM_MenuHMargin: return 0;
    case PM_MenuVMargin: return 2;
    case PM_MenuBarPanelWidth: return 0;
    case PM_MenuBarItemSpacing: return 0;
    case PM_MenuBarHMargin: return 0;
    case PM_MenuBarVMargin: return 0;
    case PM_MenuDesktopFrameWidth: return 0;
    default: return QProxyStyle::pixelMetric(metric, option, widget);
  }
}

int TMenuStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                          QStyleHintReturn* returnData) const {
  // Disabled items are passed over by the keyboard, as in the platform's menus.
  if (hint == SH_Menu_AllowActiveAndDisabled) return 0;
  return QProxyStyle::styleHint(hint, option, widget, returnData);
}

QSize TMenuStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                   const QWidget* widget) const {
  if (type == CT_Menu) return size;
  if (type != CT_MenuItem || qobject_cast<const QMenuBar*>(widget))
    return QProxyStyle::sizeFromContents(type, option, size, widget);
  const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
  if (!item) return QProxyStyle::sizeFromContents(type, option, size, widget);
  const QSize measured = QProxyStyle::sizeFromContents(type, option, size, widget);
  if (item->menuItemType == QStyleOptionMenuItem::Separator) return QSize(measured.width(), SeparatorHeight);
  QString caption, shortcut;
  SplitItemText(item->text, caption, shortcut);
  const QFontMetrics& fm = item->fontMetrics;
  QString text = caption + QLatin1Char('X');
  if (!shortcut.isEmpty()) text += shortcut + QStringLiteral("XXX");
  const int width = fm.horizontalAdvance(text) + TextInset;
  return QSize(width - MenuTabWidth(widget), measured.height());
}

void TMenuStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                               const QWidget* widget) const {
  switch (element) {
    case PE_PanelMenuBar: painter->fillRect(option->rect, Q(clMenuBar)); return;
    case PE_PanelMenu:
      painter->fillRect(option->rect, Q(clMenu));
      painter->setPen(Q(clBtnShadow));
      painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
      return;
    case PE_FrameMenu:
      painter->setPen(Q(clBtnShadow));
      painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
      return;
    default: QProxyStyle::drawPrimitive(element, option, painter, widget);
  }
}

void TMenuStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                             const QWidget* widget) const {
  switch (element) {
    case CE_MenuItem: DrawMenuItem(option, painter, widget); return;
    case CE_MenuBarItem: DrawMenuBarItem(option, painter, widget); return;
    case CE_MenuBarEmptyArea: painter->fillRect(option->rect, Q(clMenuBar)); return;
    case CE_MenuEmptyArea: painter->fillRect(option->rect, Q(clMenu)); return;
    default: QProxyStyle::drawControl(element, option, painter, widget);
  }
}

void TMenuStyle::DrawMenuItem(const QStyleOption* option, QPainter* p, const QWidget* widget) const {
  const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
  if (!item) return;
  const QRect r = item->rect;
  const TRect band{r.left(), r.top(), r.left() + MenuGutterWidth, r.bottom() + 1};
  p->save();
  if (item->menuItemType == QStyleOptionMenuItem::Separator) {
    p->fillRect(r, Q(clMenu));
    FillGradient(*p, band, MenuGutterColor, clMenu);
    FillGradient(*p, TRect{r.left() + 1, r.top() + 4, r.right(), r.top() + 5}, clBtnShadow, clMenu);
    p->restore();
    return;
  }
  const bool enabled = item->state & State_Enabled;
  const bool selected = item->state & State_Selected;
  if (selected) {
    p->fillRect(r, Q(clHighlight));
    FillGradient(*p, ToTRect(r.adjusted(1, 1, -1, -1)), MenuSelStartColor, MenuSelEndColor);
  } else {
    p->fillRect(r, Q(clMenu));
    FillGradient(*p, band, MenuGutterColor, clMenu);
  }
  QFont font = item->font;
  if (item->menuItemType == QStyleOptionMenuItem::DefaultItem) font.setBold(true);
  p->setFont(font);
  const QColor textColour = !enabled ? Q(clGrayText) : selected ? Q(clHighlightText) : Q(clMenuText);
  if (item->checkType != QStyleOptionMenuItem::NotCheckable && item->checked) DrawCheckMark(p, r, textColour);

  QString caption, shortcut;
  SplitItemText(item->text, caption, shortcut);
  const int mnemonic =
      proxy()->styleHint(SH_UnderlineShortcut, item, widget) ? Qt::TextShowMnemonic : Qt::TextHideMnemonic;
  const int flags = Qt::TextSingleLine | Qt::AlignVCenter | Qt::TextExpandTabs | mnemonic;
  const QRect textRect = r.adjusted(TextInset, 0, -TextInset, -1);
  p->setPen(textColour);
  // The item is as wide as its caption plus an "X" and one inset: the caption
  // may use the right inset, or the widest one would lose its last letters.
  p->drawText(r.adjusted(TextInset, 0, 0, -1), flags | Qt::AlignLeft, caption);
  if (!shortcut.isEmpty()) {
    p->setPen(enabled && !selected ? Q(MenuShortCutColor) : textColour);
    p->drawText(textRect, flags | Qt::AlignRight, shortcut);
  }
  if (item->menuItemType == QStyleOptionMenuItem::SubMenu) {
    QStyleOption arrow(*item);
    arrow.rect = QRect(r.right() - TextInset + 1, r.top(), TextInset - 4, r.height());
    arrow.palette.setColor(QPalette::ButtonText, textColour);
    arrow.palette.setColor(QPalette::WindowText, textColour);
    proxy()->drawPrimitive(PE_IndicatorArrowRight, &arrow, p, widget);
  }
  p->restore();
}

void TMenuStyle::DrawMenuBarItem(const QStyleOption* option, QPainter* p, const QWidget* widget) const {
  const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
  if (!item) return;
  QRect r = item->rect;
  const bool enabled = item->state & State_Enabled;
  const bool selected = enabled && (item->state & (State_Selected | State_Sunken));
  p->save();
  if (selected) {
    p->fillRect(r, Q(clMenuBar));
    r.adjust(1, 1, -1, -1);
    p->fillRect(r, Q(clHighlight));
    FillGradient(*p, ToTRect(r.adjusted(1, 1, -1, -1)), MenuSelStartColor, MenuSelEndColor);
  } else {
    p->fillRect(r, Q(clMenuBar));
  }
  const int mnemonic =
      proxy()->styleHint(SH_UnderlineShortcut, item, widget) ? Qt::TextShowMnemonic : Qt::TextHideMnemonic;
  p->setFont(item->font);
  p->setPen(!enabled ? Q(clGrayText) : selected ? Q(clHighlightText) : Q(clMenuText));
  p->drawText(item->rect.adjusted(0, 0, 0, -1), Qt::TextSingleLine | Qt::AlignCenter | mnemonic, item->text);
  p->restore();
}
