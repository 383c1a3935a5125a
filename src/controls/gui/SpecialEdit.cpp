#include "controls/gui/SpecialEdit.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

#include "app/PathAndTextHelpers.h"

namespace {

constexpr int kButtonWidth = 15;
constexpr qint64 kReopenGuardMs = 333;

QColor ToQColor(TColor c) {
  c = ColorToRGB(c);
  return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

QString WithoutFirstAmpersand(QString caption) {
  const qsizetype amp = caption.indexOf(u'&');
  if (amp >= 0) caption.remove(amp, 1);
  return caption;
}

}  // namespace

QString MinimizePath(const QString& path, const QFontMetrics& metrics, int width) {
  if (metrics.horizontalAdvance(path) <= width) return path;
  const QString ellipsis = QStringLiteral("...");
  QStringList parts = path.split(u'/');
  if (parts.size() < 2) return path;
  const QString file = parts.takeLast();
  // The root ("" before a leading "/") or a drive stays in front while the
  // folders after it give way one by one.
  const QString root = parts.takeFirst();
  while (!parts.isEmpty()) {
    parts.removeFirst();
    QStringList shown{root, ellipsis};
    shown += parts;
    shown.append(file);
    const QString candidate = shown.join(u'/');
    if (metrics.horizontalAdvance(candidate) <= width) return candidate;
  }
  const QString noRoot = ellipsis + u'/' + file;
  if (metrics.horizontalAdvance(noRoot) <= width) return noRoot;
  return file;
}

TSpecialEdit::TSpecialEdit(QWidget* parent) : QWidget(parent), Clock(SteadyClockMs) {
  m_button = new TPrevNextButton(this);
  m_button->OnClick = [this] {
    if (m_menu) DropDown();
    if (OnBtnClick) OnBtnClick();
  };
  m_button->hide();
  // A click on the arrow, even a disabled one, is never a click on the text.
  m_button->setAttribute(Qt::WA_NoMousePropagation);
  // Shows a value; never a keyboard target.
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(80, MinHeight());
  PlaceButton();
}

QSize TSpecialEdit::sizeHint() const { return {80, MinHeight()}; }
QSize TSpecialEdit::minimumSizeHint() const { return {kButtonWidth + 2 * FrameWidth() + 4, MinHeight()}; }

int TSpecialEdit::MinHeight() const {
  // As a one-line edit box: the font's height and room for a sunken border.
  return fontMetrics().height() + 8;
}

QString TSpecialEdit::Text() const {
  if (!m_menu) return m_text;
  const int pos = ItemToMenuIndex(m_itemIndex);
  if (pos < 0) return QString();
  return WithoutFirstAmpersand(m_menu->actions().at(pos)->text());
}

void TSpecialEdit::SetText(const QString& text) {
  if (m_menu) return;
  m_text = text;
  update();
  Changed();
}

void TSpecialEdit::SetItemIndex(int index) {
  if (index < 0) index = -1;
  if (index == m_itemIndex) return;
  m_itemIndex = index;
  if (!m_menu) return;
  UpdateChecks();
  update();
  Changed();
}

void TSpecialEdit::SetDropDownMenu(QMenu* menu) {
  m_menu = menu;
  UpdateChecks();
  update();
  Changed();
}

void TSpecialEdit::SetBorderStyle(TBorderStyle style) {
  if (style == m_borderStyle) return;
  m_borderStyle = style;
  PlaceButton();
  update();
}

void TSpecialEdit::SetReadOnly(bool readOnly) {
  if (readOnly == m_readOnly) return;
  m_readOnly = readOnly;
  UpdateButtonEnabled();
}

void TSpecialEdit::SetDisabledColor(TColor color) {
  if (color == m_disabledColor) return;
  m_disabledColor = color;
  if (!isEnabled()) update();
}

void TSpecialEdit::SetColor(TColor color) {
  if (color == m_color) return;
  m_color = color;
  update();
}

void TSpecialEdit::SetMinimizeText(bool minimize) {
  if (minimize == m_minimizeText) return;
  m_minimizeText = minimize;
  update();
}

void TSpecialEdit::SetNumGlyphs(int count) {
  if (count < 1 || count == m_numGlyphs) return;
  m_numGlyphs = count;
  update();
}

void TSpecialEdit::SetShowButton(bool show) {
  if (show == m_showButton) return;
  m_showButton = show;
  m_button->setVisible(show);
  PlaceButton();
  update();
}

void TSpecialEdit::Changed() {
  if (OnChange) OnChange();
}

int TSpecialEdit::ItemToMenuIndex(int n) const {
  if (!m_menu || n < 0) return -1;
  const QList<QAction*> items = m_menu->actions();
  if (n > items.size() - 1) return -1;
  int count = -1;
  for (int pos = 0; pos < items.size(); ++pos) {
    if (items[pos]->isSeparator()) continue;
    if (++count == n) return pos;
  }
  return -1;
}

int TSpecialEdit::MenuItemToIndex(const QAction* action) const {
  if (!m_menu || !action) return -1;
  int n = 0;
  for (const QAction* item : m_menu->actions()) {
    if (item == action) return n;
    if (!item->isSeparator()) ++n;
  }
  return -1;
}

void TSpecialEdit::UpdateChecks() {
  if (!m_menu) return;
  const int chosen = ItemToMenuIndex(m_itemIndex);
  const QList<QAction*> items = m_menu->actions();
  for (int pos = 0; pos < items.size(); ++pos) {
    if (items[pos]->isSeparator()) continue;
    // Only the chosen item can show a mark, so the others draw no empty box.
    items[pos]->setCheckable(pos == chosen);
    items[pos]->setChecked(pos == chosen);
  }
}

void TSpecialEdit::DropDown() {
  if (!m_menu) return;
  if (LastDropDown && Clock() - *LastDropDown < kReopenGuardMs) return;
  QPoint at = mapToGlobal(QPoint(0, height()));
  if (ThemesActive) at.ry() -= 1;
  // The chosen item comes back from the menu itself, so the menu's actions
  // keep whatever other handlers they have.
  QAction* chosen = m_menu->exec(at);
  LastDropDown = Clock();
  if (chosen) MenuItemClick(chosen);
}

void TSpecialEdit::MenuItemClick(QAction* action) {
  const int n = MenuItemToIndex(action);
  if (n < 0) return;
  const bool changed = n != m_itemIndex;
  SetItemIndex(n);
  if (OnSelectItem) OnSelectItem(*this, changed);
}

QRect TSpecialEdit::ClientRect() const {
  const int f = FrameWidth();
  return rect().adjusted(f, f, -f, -f);
}

int TSpecialEdit::GlyphWidth() const { return m_glyph.isNull() ? 0 : m_glyph.width() / m_numGlyphs; }

void TSpecialEdit::PlaceButton() {
  if (!m_showButton) {
    m_button->move(-999, m_button->y());
    return;
  }
  const QRect c = ClientRect();
  m_button->setGeometry(c.right() + 1 - kButtonWidth, c.top(), kButtonWidth, c.height());
}

QRect TSpecialEdit::TextRect() const {
  QRect r = ClientRect();
  if (m_showButton) r.setRight(r.right() - m_button->width() - (ThemesActive ? 1 : 0));
  r.setLeft(r.left() + GlyphWidth());
  return r.adjusted(2, 2, -2, -2);
}

QString TSpecialEdit::DisplayText() const {
  QString text = Text();
  if (m_minimizeText) text = MinimizePath(text, fontMetrics(), TextRect().width());
  if (OnDisplayText) OnDisplayText(const_cast<TSpecialEdit&>(*this), text);
  return text;
}

void TSpecialEdit::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const bool enabled = isEnabled();
  const TColor back = (enabled || m_disabledColor == clNone) ? m_color : m_disabledColor;
  p.fillRect(rect(), ToQColor(back));
  if (m_borderStyle == bsSingle) {
    QStyleOptionFrame frame;
    frame.initFrom(this);
    frame.lineWidth = FrameWidth();
    frame.midLineWidth = 0;
    frame.state |= QStyle::State_Sunken;
    style()->drawPrimitive(QStyle::PE_FrameLineEdit, &frame, &p, this);
  }
  p.setPen(ToQColor(enabled ? clWindowText : clGrayText));
  p.setFont(font());
  p.drawText(TextRect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, DisplayText());

  const int g = GlyphWidth();
  if (g <= 0) return;
  const QRect c = ClientRect();
  QRect dest(QPoint(2, 2), QPoint(g - 1, c.height() - 3));
  QRect source = dest.translated(-2, -2).intersected(QRect(0, 0, g, m_glyph.height()));
  if (!enabled && m_numGlyphs == 2) source.translate(g, 0);
  dest.setTop(dest.top() + (dest.height() - source.height()) / 2);
  QPixmap part = m_glyph.copy(source);
  // The bottom-left pixel's colour is the glyph's transparent colour.
  const QImage image = m_glyph.toImage();
  const QColor key = image.pixelColor(0, image.height() - 1);
  part.setMask(part.createMaskFromColor(key, Qt::MaskInColor));
  p.drawPixmap(c.topLeft() + dest.topLeft(), part);
}

void TSpecialEdit::resizeEvent(QResizeEvent*) {
  if (height() < MinHeight()) {
    resize(width(), MinHeight());
    return;
  }
  PlaceButton();
}

void TSpecialEdit::mousePressEvent(QMouseEvent* event) {
  // Taken, so that the release comes back here.
  if (event->button() == Qt::LeftButton)
    event->accept();
  else
    QWidget::mousePressEvent(event);
}

void TSpecialEdit::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint()))
    return QWidget::mouseReleaseEvent(event);
  if (m_menu) DropDown();
  if (OnClick) OnClick();
}

void TSpecialEdit::UpdateButtonEnabled() { m_button->setEnabled(isEnabled() && !m_readOnly); }

void TSpecialEdit::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) {
    UpdateButtonEnabled();
    update();
  }
  QWidget::changeEvent(event);
}
