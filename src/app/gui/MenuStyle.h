#pragma once
// The application's flat menu look, painted over the toolkit's own style: a
// gradient band down the left of every drop-down item, a gradient selection
// bar, shortcut texts in a colour of their own, item widths measured from the
// caption and shortcut texts. Set on the menu bar and on chosen drop-down
// menus only (OwnerDrawMenu); other menus keep the standard look.
#include <QProxyStyle>

class QMenu;
class QMenuBar;

class TMenuStyle : public QProxyStyle {
 public:
  TMenuStyle();

  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget = nullptr) const override;
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                         const QWidget* widget) const override;
  int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr) const override;
  int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                QStyleHintReturn* returnData = nullptr) const override;

 private:
  void DrawMenuItem(const QStyleOption* option, QPainter* painter, const QWidget* widget) const;
  void DrawMenuBarItem(const QStyleOption* option, QPainter* painter, const QWidget* widget) const;
};

// The style shared by every owner-drawn menu of the run.
TMenuStyle& MenuStyle();

// Switches a menu bar or a drop-down menu, with all its sub-menus, to the
// flat look.
void OwnerDrawMenu(QMenuBar* menuBar);
void OwnerDrawMenu(QMenu* menu);
