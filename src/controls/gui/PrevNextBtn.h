#pragma once
// TPrevNextButton: a small square button showing one arrow (down, up, left or
// right) in the style's own look, that fires one click per press: on release
// over the button (cmUp), or 100 ms after the press whatever the mouse does
// next (cmDown). Holding it down never repeats. The drop-down value edit uses
// it as its arrow.
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>

// Milliseconds on the monotonic clock: what the controls' replaceable clocks
// read unless a test gives its own.
qint64 SteadyClockMs();

enum TPNStyle : std::uint8_t { stDown = 0, stUp = 1, stLeft = 2, stRight = 3 };
enum TClickMode : std::uint8_t { cmUp = 0, cmDown = 1 };

class TPrevNextButton : public QWidget {
 public:
  explicit TPrevNextButton(QWidget* parent = nullptr);

  TPNStyle Style() const { return m_style; }
  void SetStyle(TPNStyle style);
  TClickMode ClickMode() const { return m_clickMode; }
  void SetClickMode(TClickMode mode);

  // Fired once per completed click.
  std::function<void()> OnClick;

  // The monotonic clock (milliseconds) the cmDown delay is measured on; tests
  // inject their own.
  std::function<qint64()> Clock;

  // The area, in the button's coordinates, of a whole two-arrow up-down face
  // of which the button shows one half: a release anywhere inside it still
  // completes a click. For stLeft it is (0, 0) to (2W + 1, H), and so on for
  // the other directions; one pixel larger on every side when ThemesActive.
  QRect UpDownRect() const;

  // The left button went down on the button and has not come up yet.
  bool Pressed() const { return m_pressed; }

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void Click();

  TPNStyle m_style = stDown;
  TClickMode m_clickMode = cmUp;
  bool m_pressed = false;
  // cmDown: the click waits for this timer instead of blocking the thread,
  // so the window keeps painting; a release before it fires changes nothing.
  QTimer m_downTimer;
  qint64 m_pressedAt = 0;
};
