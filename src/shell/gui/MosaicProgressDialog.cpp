#include "shell/gui/MosaicProgressDialog.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "mosaic/MatchedMosaic.h"

namespace {

TMosaicProgressDialog::TTiming& Timing() {
  static TMosaicProgressDialog::TTiming timing;
  return timing;
}

enum TPhase { LoadingPhase, BuildingPhase, WritingPhase };

// Below this share of a phase, or this time into it, the rate says little.
constexpr double MeaningfulShare = 0.05;
constexpr qint64 MeaningfulMs = 1000;

}  // namespace

TMosaicProgressDialog::TTiming TMosaicProgressDialog::SetTiming(TTiming timing) {
  const TTiming previous = Timing();
  Timing() = timing;
  return previous;
}

TMosaicProgressDialog::TMosaicProgressDialog(QWidget* parent, bool matched)
    : QDialog(parent), m_matched(matched), m_timing(Timing()) {
  setWindowTitle(QStringLiteral("Create the mosaic"));
  setWindowModality(Qt::ApplicationModal);
  m_stage = new QLabel(QStringLiteral("Processing..."), this);
  m_bar = new QProgressBar(this);
  m_bar->setRange(0, 100);
  m_bar->setValue(0);
  m_bar->setMinimumWidth(320);
  m_time = new QLabel(this);
  // The line is there before the estimate is: the dialog does not jump.
  m_time->setMinimumHeight(m_stage->sizeHint().height());
  m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
  connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(m_cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_stage);
  layout->addWidget(m_bar);
  layout->addWidget(m_time);
  layout->addLayout(buttons);
  setFixedSize(sizeHint());
  m_clock.start();
}

TMosaicProgressDialog::~TMosaicProgressDialog() = default;

void TMosaicProgressDialog::reject() {
  if (m_cancelled) return;
  m_cancelled = true;
  m_stage->setText(QStringLiteral("Cancelling..."));
  m_time->clear();
  m_cancel->setEnabled(false);
}

TMosaicProgress TMosaicProgressDialog::Sink(const TMosaicProgress& inner) {
  TMosaicProgress sink;
  sink.ShowFileProgress = [this, inner](int done, int found) {
    if (inner.ShowFileProgress) inner.ShowFileProgress(done, found);
    Update(QStringLiteral("Photo %1 of %2").arg(done).arg(found), LoadingPhase, done, found);
  };
  sink.ShowThumbnailCount = [inner](int count) {
    if (inner.ShowThumbnailCount) inner.ShowThumbnailCount(count);
  };
  sink.ShowThumbnailFiles = [this, inner](int done, int found) {
    if (inner.ShowThumbnailFiles) inner.ShowThumbnailFiles(done, found);
    Update(QStringLiteral("Thumbnail %1 of %2").arg(done).arg(found), LoadingPhase, done, found);
  };
  sink.ShowProgress = [this, inner](int percent) {
    if (inner.ShowProgress) inner.ShowProgress(percent);
    const bool searching = m_matched && percent < MatchSearchPercent;
    Update(searching ? QStringLiteral("Matching...") : QStringLiteral("Drawing..."), BuildingPhase, percent, 100);
  };
  sink.ShowOutputProgress = [this, inner](int percent) {
    if (inner.ShowOutputProgress) inner.ShowOutputProgress(percent);
    Update(QStringLiteral("Writing..."), WritingPhase, percent, 100);
  };
  sink.Cancelled = [this] {
    Step();
    return m_cancelled;
  };
  return sink;
}

void TMosaicProgressDialog::Update(const QString& text, int phase, int value, int maximum) {
  if (phase != m_phase) {
    m_phase = phase;
    m_phaseStart = m_clock.elapsed();
  }
  if (!m_cancelled) {
    m_stage->setText(text);
    m_time->setText(TimeLeftText(m_clock.elapsed() - m_phaseStart, value, maximum));
  }
  if (m_bar->maximum() != maximum) m_bar->setRange(0, maximum);
  m_bar->setValue(value);
  Step();
}

QString TMosaicProgressDialog::TimeLeftText(qint64 spentMs, int value, int maximum) {
  const double share = maximum > 0 ? double(value) / maximum : 0;
  if (share < MeaningfulShare || share >= 1 || spentMs < MeaningfulMs) return {};
  const double seconds = std::ceil(double(spentMs) * (1 - share) / share / 1000);
  return seconds < 60 ? QStringLiteral("About %1 s left").arg(int(seconds))
                      : QStringLiteral("About %1 min left").arg(int(std::ceil(seconds / 60)));
}

void TMosaicProgressDialog::Step() {
  const qint64 now = m_clock.elapsed();
  if (!isVisible()) {
    if (now < m_timing.ShowAfterMs) return;
    show();
    // Busy, but the dialog answers: the arrow with the hourglass.
    QGuiApplication::changeOverrideCursor(QCursor(Qt::BusyCursor));
  } else if (m_lastEvents >= 0 && now - m_lastEvents < m_timing.RefreshMs) {
    return;
  }
  m_lastEvents = now;
  QCoreApplication::processEvents();
}
