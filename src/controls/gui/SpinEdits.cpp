// Unit Spin2.
#include "controls/gui/SpinEdits.h"

#include <QApplication>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>

namespace {

constexpr int kUpDownWidth = 13;
constexpr int kRepeatDelayMs = 400, kRepeatIntervalMs = 100;

bool InIntRange(double v) { return v >= double(INT_MIN) && v <= double(INT_MAX); }

std::optional<int> ParseInt(const QString& text) {
  bool ok = false;
  const qlonglong v = text.toLongLong(&ok);
  if (!ok || v < INT_MIN || v > INT_MAX) return std::nullopt;
  return int(v);
}

std::optional<double> ParseDouble(const QString& text, const QLocale& locale) {
  bool ok = false;
  const double v = locale.toDouble(text, &ok);
  if (!ok || !std::isfinite(v) || !InIntRange(v)) return std::nullopt;
  return v;
}

}  // namespace

// The up-down button: the upper half steps up, the lower half down; held
// down, it repeats like a scroll-bar arrow.
class TSpinButtons : public QWidget {
 public:
  explicit TSpinButtons(TCustomSpinEdit* edit) : QWidget(edit), m_edit(edit) {
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    m_repeat.setInterval(kRepeatIntervalMs);
    QObject::connect(&m_repeat, &QTimer::timeout, this, [this] { Step(); });
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter p(this);
    const int half = height() / 2;
    const QRect halves[2] = {QRect(0, 0, width(), half), QRect(0, half, width(), height() - half)};
    for (int i = 0; i < 2; ++i) {
      QStyleOptionButton face;
      face.initFrom(this);
      face.rect = halves[i];
      face.state |= (m_pressed == i + 1) ? QStyle::State_Sunken : QStyle::State_Raised;
      p.drawPrimitive(QStyle::PE_PanelButtonBevel, face);
      QStyleOption arrow;
      arrow.initFrom(this);
      arrow.rect = halves[i].adjusted(2, 1, -2, -1);
      p.drawPrimitive(i == 0 ? QStyle::PE_IndicatorArrowUp : QStyle::PE_IndicatorArrowDown, arrow);
    }
  }
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    m_pressed = event->position().y() < height() / 2 ? 1 : 2;
    update();
    m_edit->setFocus(Qt::MouseFocusReason);
    Step();
    m_repeat.start(kRepeatDelayMs);
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    m_repeat.stop();
    m_pressed = 0;
    update();
  }
  void changeEvent(QEvent* event) override {
    if (event->type() == QEvent::EnabledChange && !isEnabled()) {
      m_repeat.stop();
      m_pressed = 0;
    }
    QWidget::changeEvent(event);
  }

 private:
  void Step() {
    m_repeat.setInterval(kRepeatIntervalMs);
    if (m_pressed == 1) m_edit->StepUp();
    if (m_pressed == 2) m_edit->StepDown();
  }

  TCustomSpinEdit* m_edit;
  int m_pressed = 0;  // 1 upper half, 2 lower half
  QTimer m_repeat;
};

QString FormatFloat(const QString& format, double value, const QLocale& locale) {
  const QString f = format.isEmpty() ? QStringLiteral("0.00") : format;
  const qsizetype dot = f.indexOf(u'.');
  int decimals = 0, required = 0;
  if (dot >= 0) {
    for (qsizetype i = dot + 1; i < f.size(); ++i) {
      if (f[i] == u'0')
        ++decimals, ++required;
      else if (f[i] == u'#')
        ++decimals;
    }
  }
  QLocale plain = locale;
  plain.setNumberOptions(QLocale::OmitGroupSeparator);
  QString text = plain.toString(value, 'f', decimals);
  if (decimals > required) {
    const QString sep = plain.decimalPoint();
    const qsizetype at = text.indexOf(sep);
    if (at >= 0) {
      qsizetype keep = text.size();
      while (keep > at + sep.size() + required && text[keep - 1] == u'0') --keep;
      if (keep == at + sep.size()) keep = at;
      text.truncate(keep);
    }
  }
  // "-0.00" reads as a value below zero; a value that rounds to zero is 0.
  if (text.startsWith(plain.negativeSign())) {
    bool allZero = true;
    for (QChar c : text)
      if (c.isDigit() && c != u'0') allZero = false;
    if (allZero) text.remove(0, plain.negativeSign().size());
  }
  return text;
}

// ---------------------------------------------------------------------------

TCustomSpinEdit::TCustomSpinEdit(QWidget* parent) : QLineEdit(parent), OnBeep([] { QApplication::beep(); }) {
  m_upDown = new TSpinButtons(this);
  resize(65, MinimumHeight());
  setMinimumHeight(MinimumHeight());
  PositionUpDown();
}

QWidget* TCustomSpinEdit::UpDown() const { return m_upDown; }

int TCustomSpinEdit::MinimumHeight() const { return fontMetrics().height() + 8; }

void TCustomSpinEdit::Beep() {
  if (OnBeep) OnBeep();
}

void TCustomSpinEdit::SetEditorEnabled(bool enabled) {
  m_editorEnabled = enabled;
  UpdateEditable();
}

void TCustomSpinEdit::SetReadOnly(bool readOnly) {
  m_readOnly = readOnly;
  UpdateEditable();
}

void TCustomSpinEdit::UpdateEditable() {
  // The line edit's own read-only state closes every way text can come in:
  // typing, the context menu, Shift+Insert, the selection's middle-button
  // paste, dropped text and input methods. The value is still written
  // through setText by stepping.
  setReadOnly(m_readOnly || !m_editorEnabled);
}

bool TCustomSpinEdit::ShowUpDown() const { return !m_upDown->isHidden(); }

void TCustomSpinEdit::SetShowUpDown(bool show) {
  if (show == ShowUpDown()) return;
  m_upDown->setVisible(show);
  PositionUpDown();
}

void TCustomSpinEdit::PositionUpDown() {
  const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
  const QRect client = rect().adjusted(frame, frame, -frame, -frame);
  m_upDown->setGeometry(client.right() + 1 - kUpDownWidth, client.top(), kUpDownWidth, client.height());
  // The text keeps clear of the button.
  setTextMargins(0, 0, ShowUpDown() ? kUpDownWidth + 1 : 0, 0);
}

void TCustomSpinEdit::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  PositionUpDown();
}

int TCustomSpinEdit::InsertPosition() const { return hasSelectedText() ? selectionStart() : cursorPosition(); }

bool TCustomSpinEdit::IsValidKey(QChar key) const {
  const char16_t c = key.unicode();
  bool ok = c == u'+' || c == u'-' || (c >= u'0' && c <= u'9') || (c < 32 && c != 13);
  if ((c == u'+' || c == u'-') && InsertPosition() != 0) ok = false;
  if (ok && !m_editorEnabled && (c == 8 || (c >= 32 && c <= 255))) ok = false;
  return ok;
}

void TCustomSpinEdit::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Up:
      StepUp();
      event->accept();
      return;
    case Qt::Key_Down:
      StepDown();
      event->accept();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // Kept from the dialog's auto-default buttons.
      Beep();
      event->accept();
      return;
    default: break;
  }
  // Shortcuts (Ctrl+C, Ctrl+V, ...) are not typing; the line edit's
  // read-only state decides what they may do.
  const bool shortcut = event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier);
  const QString text = event->text();
  if (shortcut || text.isEmpty() || text[0] == u'\x7f') return QLineEdit::keyPressEvent(event);
  QString typed;
  for (QChar c : text) {
    c = TranslateKey(c);
    if (!IsValidKey(c)) {
      Beep();
      event->accept();
      return;
    }
    typed.append(c);
  }
  if (typed == text) return QLineEdit::keyPressEvent(event);
  QKeyEvent translated(event->type(), event->key(), event->modifiers(), typed, event->isAutoRepeat(),
                       ushort(event->count()));
  QLineEdit::keyPressEvent(&translated);
  event->setAccepted(translated.isAccepted());
}

void TCustomSpinEdit::inputMethodEvent(QInputMethodEvent* event) {
  for (QChar c : event->commitString()) {
    if (!IsValidKey(TranslateKey(c))) {
      Beep();
      event->accept();
      return;
    }
  }
  QLineEdit::inputMethodEvent(event);
}

void TCustomSpinEdit::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  if (AutoSelect && !(QGuiApplication::mouseButtons() & Qt::LeftButton)) selectAll();
}

void TCustomSpinEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  FocusLeft();
}

// ---------------------------------------------------------------------------

TSpinEdit2::TSpinEdit2(QWidget* parent) : TCustomSpinEdit(parent) { setText(QStringLiteral("0")); }

int TSpinEdit2::ClampValue(int value) const {
  if (m_maxValue == m_minValue) return value;
  if (value < m_minValue) return m_minValue;
  if (value > m_maxValue) return m_maxValue;
  return value;
}

int TSpinEdit2::Value() const { return ParseInt(text()).value_or(m_minValue); }

void TSpinEdit2::SetValue(int value) { setText(QString::number(ClampValue(value))); }

void TSpinEdit2::Step(long long delta) {
  if (ReadOnly()) return Beep();
  // Unbounded edits stop at the ends of int rather than wrap around.
  SetValue(int(std::clamp<long long>(Value() + delta, INT_MIN, INT_MAX)));
}

void TSpinEdit2::StepUp() { Step(Increment); }
void TSpinEdit2::StepDown() { Step(-(long long)Increment); }

void TSpinEdit2::FocusLeft() {
  const int v = Value();
  if (ClampValue(v) != v) SetValue(v);
}

// ---------------------------------------------------------------------------

TFloatSpinEdit::TFloatSpinEdit(QWidget* parent) : TCustomSpinEdit(parent) {
  setText(QStringLiteral("0") + DecimalSeparator() + QStringLiteral("00"));
}

QChar TFloatSpinEdit::DecimalSeparator() const {
  const QString point = locale().decimalPoint();
  return point.isEmpty() ? QChar(u'.') : point[0];
}

double TFloatSpinEdit::ClampValue(double value) const {
  if (m_maxValue == m_minValue) return value;
  if (value < m_minValue) return m_minValue;
  if (value > m_maxValue) return m_maxValue;
  return value;
}

double TFloatSpinEdit::Value() const { return ParseDouble(text(), locale()).value_or(m_minValue); }

void TFloatSpinEdit::SetValue(double value) {
  if (!std::isfinite(value)) value = m_minValue;
  // Kept within int, so that the text always reads back as a value.
  value = std::clamp(ClampValue(value), double(INT_MIN), double(INT_MAX));
  setText(FormatFloat(m_format, value, locale()));
}

void TFloatSpinEdit::SetFormat(const QString& format) {
  const QString f = format.isEmpty() ? QStringLiteral("0.00") : format;
  if (f == m_format) return;
  m_format = f;
  SetValue(Value());
}

void TFloatSpinEdit::StepUp() {
  if (ReadOnly()) return Beep();
  SetValue(Value() + Increment);
}

void TFloatSpinEdit::StepDown() {
  if (ReadOnly()) return Beep();
  SetValue(Value() - Increment);
}

QChar TFloatSpinEdit::TranslateKey(QChar key) const { return key == u'.' ? DecimalSeparator() : key; }

bool TFloatSpinEdit::IsValidKey(QChar key) const {
  const QChar sep = DecimalSeparator();
  if (key != sep) return TCustomSpinEdit::IsValidKey(key);
  if (!EditorEnabled()) return false;
  return m_format.contains(u'.') && !text().contains(sep);
}

void TFloatSpinEdit::FocusLeft() {
  if (!text().isEmpty()) SetValue(Value());
}
