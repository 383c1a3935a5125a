#pragma once
// The progress of "Create the mosaic" in a modal dialog: the photo being
// loaded, then the build's stage, then the writing of an output (a poster,
// a zoomable page), a bar, the time left and Cancel. The
// command runs on the window's thread (it asks questions through message
// boxes and draws into the document), so the dialog lets the events through
// from the command's progress calls, at most every few tens of
// milliseconds; being modal, it keeps the window's input away meanwhile.
#include <QDialog>
#include <QElapsedTimer>
#include <QString>

#include "mosaic/MosaicCommand.h"

class QLabel;
class QProgressBar;
class QPushButton;

class TMosaicProgressDialog : public QDialog {
 public:
  // How long the work runs before the dialog appears, and how often the
  // events are let through once it is shown.
  struct TTiming {
    int ShowAfterMs = 500;
    int RefreshMs = 50;
  };
  // Sets the timing of the dialogs made from now on; returns the previous.
  static TTiming SetTiming(TTiming timing);

  // matched: the build is the colour-matched one (searching, then drawing).
  TMosaicProgressDialog(QWidget* parent, bool matched);
  ~TMosaicProgressDialog() override;

  // A sink that feeds `inner` (the status bar's) and this dialog, and asks
  // the dialog whether Cancel was pressed.
  TMosaicProgress Sink(const TMosaicProgress& inner);
  bool WasCancelled() const { return m_cancelled; }
  // The time left of a phase `spentMs` into it at value of maximum, from the
  // rate so far; empty while that rate says little.
  static QString TimeLeftText(qint64 spentMs, int value, int maximum);

  QProgressBar* Bar() const { return m_bar; }
  QLabel* StageLabel() const { return m_stage; }
  QLabel* TimeLabel() const { return m_time; }
  QPushButton* CancelButton() const { return m_cancel; }

 protected:
  // Escape and the close button cancel, as Cancel does.
  void reject() override;

 private:
  // The stage's text and where the bar stands; a new phase (the library's
  // load, then the build) starts the time estimate again.
  void Update(const QString& text, int phase, int value, int maximum);
  // Shows the dialog when due and lets the events through when due.
  void Step();

  bool m_matched;
  bool m_cancelled = false;
  TTiming m_timing;
  QElapsedTimer m_clock;
  qint64 m_phaseStart = 0, m_lastEvents = -1;
  int m_phase = -1;
  QLabel* m_stage;
  QProgressBar* m_bar;
  QLabel* m_time;
  QPushButton* m_cancel;
};
