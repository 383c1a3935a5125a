#include "controls/gui/PrevNextBtn.h"

#include <QEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <algorithm>
#include <chrono>

#include "app/PathAndTextHelpers.h"

namespace {
constexpr int kDownClickDelayMs = 100;
}  // namespace

qint64 SteadyClockMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

TPrevNextButton::TPrevNextButton(QWidget* parent) : QWidget(parent), Clock(SteadyClockMs) {
  // Square, as wide as a scroll bar's arrow.
  const int side = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  resize(side, side);
  setFocusPolicy(Qt::NoFocus);
  m_downTimer.setSingleShot(true);
  m_downTimer.setInterval(kDownClickDelayMs);
  QObject::connect(&m_downTimer, &QTimer::timeout, this, [this] {
    // A timer may fire a little early: the delay is the clock's.
    const qint64 left = kDownClickDelayMs - (Clock() - m_pressedAt);
    if (left > 0) {
      m_downTimer.start(int(std::min<qint64>(left, kDownClickDelayMs)));
      return;
    }
    m_pressed = false;
    update();
    Click();
  });
}

QSize TPrevNextButton::sizeHint() const {
  const int side = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  return {side, side};
}

void TPrevNextButton::SetStyle(TPNStyle style) {
  if (style == m_style) return;
  m_style = style;
  update();
}

void TPrevNextButton::SetClickMode(TClickMode mode) { m_clickMode = mode; }

QRect TPrevNextButton::UpDownRect() const {
  const int w = width(), h = height();
  int l = 0, t = 0, r = w, b = h;
  switch (m_style) {
    case stLeft: r = 2 * w + 1; break;
    case stRight: l = -w - 1; break;
    case stUp: b = 2 * h + 1; break;
    case stDown: t = -h - 1; break;
  }
  if (ThemesActive) --l, --t, ++r, ++b;
  return QRect(QPoint(l, t), QSize(r - l, b - t));
}

void TPrevNextButton::Click() {
  if (OnClick) OnClick();
}

void TPrevNextButton::paintEvent(QPaintEvent*) {
  QStylePainter p(this);
  QStyleOptionButton face;
  face.initFrom(this);
  face.features = QStyleOptionButton::None;
  if (m_pressed && isEnabled())
    face.state |= QStyle::State_Sunken;
  else
    face.state |= QStyle::State_Raised;
  p.drawPrimitive(QStyle::PE_PanelButtonBevel, face);

  QStyleOption arrow;
  arrow.initFrom(this);
  // The arrow keeps a small margin inside the bevel, as on a scroll bar.
  const int m = qMax(2, qMin(width(), height()) / 5);
  arrow.rect = rect().adjusted(m, m, -m, -m);
  if (m_pressed) arrow.rect.translate(1, 1);
  static constexpr QStyle::PrimitiveElement kArrows[] = {QStyle::PE_IndicatorArrowDown, QStyle::PE_IndicatorArrowUp,
                                                         QStyle::PE_IndicatorArrowLeft, QStyle::PE_IndicatorArrowRight};
  p.drawPrimitive(kArrows[m_style], arrow);
}

void TPrevNextButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  m_pressed = true;
  update();
  if (m_clickMode == cmDown && !m_downTimer.isActive()) {
    m_pressedAt = Clock();
    m_downTimer.start(kDownClickDelayMs);
  }
}

void TPrevNextButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
  if (m_clickMode == cmDown) {
    // The click belongs to the timer; the release only lifts the face.
    if (!m_downTimer.isActive()) m_pressed = false;
    update();
    return;
  }
  const bool click = m_pressed && UpDownRect().contains(event->position().toPoint());
  m_pressed = false;
  update();
  if (click) Click();
}

void TPrevNextButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange && !isEnabled()) {
    // A disabled button finishes no click that began before.
    m_downTimer.stop();
    m_pressed = false;
  }
  if (event->type() == QEvent::EnabledChange) update();
  QWidget::changeEvent(event);
}
