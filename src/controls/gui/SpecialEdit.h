#pragma once
// TSpecialEdit: looks like a one-line edit box with an arrow button at its
// right end, but is never typed into. It shows a value and, when its arrow or
// its text area is clicked, drops down a menu of choices under itself; the
// chosen item (counted without separators) becomes its item index and text,
// and that item carries the check mark. Without a menu it shows a plain text,
// optionally shortened like a file path. A small glyph may sit at its left.
#include <QPixmap>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>

#include "controls/gui/PrevNextBtn.h"
#include "raster/Color.h"

class QAction;
class QMenu;

// Shortens a path to fit width pixels of metrics: the leading folders are
// replaced one by one by "...", then the root or drive goes, until the text
// fits or only the file name is left.
QString MinimizePath(const QString& path, const QFontMetrics& metrics, int width);

class TSpecialEdit : public QWidget {
 public:
  enum TBorderStyle : std::uint8_t { bsNone = 0, bsSingle = 1 };

  explicit TSpecialEdit(QWidget* parent = nullptr);

  // Index among the menu's non-separator items; -1 for none (any negative
  // value is stored as -1).
  int ItemIndex() const { return m_itemIndex; }
  void SetItemIndex(int index);

  // With a menu: the chosen item's caption without its first "&" (empty when
  // the index names no item); without one: the stored text. Writes are
  // ignored while a menu is set.
  QString Text() const;
  void SetText(const QString& text);

  // Not owned.
  QMenu* DropDownMenu() const { return m_menu; }
  void SetDropDownMenu(QMenu* menu);

  TPNStyle ButtonStyle() const { return m_button->Style(); }
  void SetButtonStyle(TPNStyle style) { m_button->SetStyle(style); }
  TPrevNextButton* Button() const { return m_button; }

  TBorderStyle BorderStyle() const { return m_borderStyle; }
  void SetBorderStyle(TBorderStyle style);
  bool ReadOnly() const { return m_readOnly; }
  void SetReadOnly(bool readOnly);
  // Background while disabled; clNone keeps Color.
  TColor DisabledColor() const { return m_disabledColor; }
  void SetDisabledColor(TColor color);
  TColor Color() const { return m_color; }
  void SetColor(TColor color);
  bool MinimizeText() const { return m_minimizeText; }
  void SetMinimizeText(bool minimize);
  // Equal-width images side by side; the second one is drawn while disabled
  // when there are two.
  const QPixmap& Glyph() const { return m_glyph; }
  void SetGlyph(const QPixmap& glyph) { m_glyph = glyph; }
  int NumGlyphs() const { return m_numGlyphs; }
  void SetNumGlyphs(int count);
  bool ShowButton() const { return m_showButton; }
  void SetShowButton(bool show);

  // Moment (monotonic clock, milliseconds) the menu last closed; none until
  // it has been shown once, so the first drop-down is never held back.
  std::optional<qint64> LastDropDown;
  // The monotonic clock the 333 ms guard reads; tests inject their own.
  std::function<qint64()> Clock;

  std::function<void(TSpecialEdit& sender, bool changed)> OnSelectItem;
  std::function<void(TSpecialEdit& sender, QString& text)> OnDisplayText;
  std::function<void()> OnBtnClick;
  std::function<void()> OnChange;
  std::function<void()> OnClick;

  // The menu position of item n, skipping separators; -1 when there is none.
  int ItemToMenuIndex(int n) const;
  // The item number of a menu action; -1 when it is not one of the menu's.
  int MenuItemToIndex(const QAction* action) const;

  // Pops the menu up under the control, unless it closed less than 333 ms
  // ago (a click that closes the menu must not reopen it).
  void DropDown();

  QRect TextRect() const;
  QString DisplayText() const;
  int MinHeight() const;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  int FrameWidth() const { return m_borderStyle == bsSingle ? 2 : 0; }
  QRect ClientRect() const;
  int GlyphWidth() const;
  void UpdateChecks();
  void MenuItemClick(QAction* action);
  void PlaceButton();
  void UpdateButtonEnabled();
  void Changed();

  TBorderStyle m_borderStyle = bsSingle;
  TColor m_disabledColor = clNone;
  TColor m_color = clWindow;
  TPrevNextButton* m_button = nullptr;
  QMenu* m_menu = nullptr;
  int m_itemIndex = -1;
  bool m_minimizeText = false;
  bool m_readOnly = false;
  QString m_text;
  QPixmap m_glyph;
  int m_numGlyphs = 1;
  bool m_showButton = false;
};
