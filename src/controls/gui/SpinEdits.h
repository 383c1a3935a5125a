#pragma once
// Unit Spin2.
// The numeric edits of the dialogs: TSpinEdit2 for integers and
// TFloatSpinEdit for decimal values shown through a format ("0.00"). Both are
// line edits with a small up-down button inside their right edge. They keep
// their value as their text, let through only keystrokes that can form a
// number, step with the arrow keys and the button, and clamp to their range
// when the focus leaves (a range with MinValue = MaxValue is no range at all).
//
// Text that is not a number, or that names a value that is not finite or
// lies outside the range of int, reads as MinValue: callers never get a value
// they cannot round into an integer.
//
// Enter is never taken by the edit, and never passed on to the dialog either,
// where it would press an auto-default button: a dialog that wants Enter
// catches it before the edit does (an event filter).
#include <QLineEdit>
#include <QLocale>
#include <QString>
#include <functional>

class TSpinButtons;

// FormatFloat's "0", "0.00", "0.##" kinds of formats with the locale's
// decimal separator: the count of "0" and "#" after the "." gives the most
// decimals, the "0"s among them the decimals always shown. No group
// separators. A value that rounds to zero shows no minus sign.
QString FormatFloat(const QString& format, double value, const QLocale& locale = QLocale());

class TCustomSpinEdit : public QLineEdit {
 public:
  explicit TCustomSpinEdit(QWidget* parent = nullptr);

  // False: nothing can be typed, deleted, pasted or dropped; the arrow keys
  // and the button still step.
  bool EditorEnabled() const { return m_editorEnabled; }
  void SetEditorEnabled(bool enabled);
  // The control's own read-only flag: no editing, and stepping beeps.
  bool ReadOnly() const { return m_readOnly; }
  void SetReadOnly(bool readOnly);
  bool ShowUpDown() const;
  void SetShowUpDown(bool show);
  // On entering by keyboard, the whole text is selected.
  bool AutoSelect = true;

  virtual void StepUp() = 0;
  virtual void StepDown() = 0;

  // Sounds for refused keys, Enter and stepping a read-only control; the
  // system beep unless replaced (tests count them).
  std::function<void()> OnBeep;

  QWidget* UpDown() const;
  // The font's height and room for the sunken border.
  int MinimumHeight() const;

 protected:
  virtual bool IsValidKey(QChar key) const;
  // A typed character before it is checked: "." becomes the decimal
  // separator in the decimal edit.
  virtual QChar TranslateKey(QChar key) const { return key; }
  // Called as the focus leaves.
  virtual void FocusLeft() = 0;
  void Beep();
  // Where an inserted character would go.
  int InsertPosition() const;

  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void UpdateEditable();
  void PositionUpDown();

  bool m_editorEnabled = true;
  bool m_readOnly = false;
  TSpinButtons* m_upDown = nullptr;
};

class TSpinEdit2 : public TCustomSpinEdit {
 public:
  explicit TSpinEdit2(QWidget* parent = nullptr);

  int MinValue() const { return m_minValue; }
  void SetMinValue(int v) { m_minValue = v; }
  int MaxValue() const { return m_maxValue; }
  void SetMaxValue(int v) { m_maxValue = v; }
  int Increment = 1;

  // The text's value, MinValue when the text is not an int.
  int Value() const;
  // Clamped, then written as the text.
  void SetValue(int value);
  int ClampValue(int value) const;

  void StepUp() override;
  void StepDown() override;

 protected:
  void FocusLeft() override;

 private:
  void Step(long long delta);

  int m_minValue = 0;
  int m_maxValue = 0;
};

class TFloatSpinEdit : public TCustomSpinEdit {
 public:
  explicit TFloatSpinEdit(QWidget* parent = nullptr);

  double MinValue() const { return m_minValue; }
  void SetMinValue(double v) { m_minValue = v; }
  double MaxValue() const { return m_maxValue; }
  void SetMaxValue(double v) { m_maxValue = v; }
  double Increment = 1.0;

  // The text read with the locale's decimal separator; MinValue when it is
  // not a number, not finite or outside the range of int.
  double Value() const;
  // Clamped (a value that is not finite becomes MinValue), then written
  // through Format.
  void SetValue(double value);
  double ClampValue(double value) const;

  const QString& Format() const { return m_format; }
  // An empty format becomes "0.00"; the text is written again in the new one.
  void SetFormat(const QString& format);

  void StepUp() override;
  void StepDown() override;

 protected:
  bool IsValidKey(QChar key) const override;
  QChar TranslateKey(QChar key) const override;
  void FocusLeft() override;

 private:
  QChar DecimalSeparator() const;

  double m_minValue = 0;
  double m_maxValue = 0;
  QString m_format = QStringLiteral("0.00");
};
