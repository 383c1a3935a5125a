#include "app/MyMsgDlg.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <utility>

#include "app/InterfaceTexts.h"

namespace {

TMsgPresenter& Presenter() {
  static TMsgPresenter presenter;
  return presenter;
}

QString ExecutableFileName() {
  // applicationFilePath needs the application object; tests and early
  // start-up have none, so ask the system directly then.
  const QString path = QCoreApplication::instance() ? QCoreApplication::applicationFilePath()
                                                    : QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
  const QString name = QFileInfo(path).fileName();
  return name.isEmpty() ? QStringLiteral("Tesselune") : name;
}

// The designed positions of the dialog's parts.
constexpr int CaptionTop = 12;
constexpr int SeparatorLeft = 12;
constexpr int IconLeft = 12, IconTop = 44, IconSize = 32;
constexpr int MessageLeft = 56, MessageTop = 44;
constexpr int ButtonWidth = 75, ButtonHeight = 25, ButtonGap = 6;
constexpr int MinClientWidth = 300;

}  // namespace

TMsgPresenter SetMsgPresenter(TMsgPresenter presenter) { return std::exchange(Presenter(), std::move(presenter)); }

QString MsgHeading(TMsgKind kind, const QString& heading) {
  if (!heading.isEmpty()) return heading;
  switch (kind) {
    case mkWarning: return LangText(lsWarning);
    case mkError: return LangText(lsError);
    case mkInformation: return LangText(lsInformation);
    case mkConfirmation: return LangText(lsConfirmation);
    case mkApplication: break;
  }
  return ExecutableFileName();
}

int MyMessageDlg(const QString& text, TMsgKind kind, TMsgButtons buttons, const QString& heading) {
  const TMsgRequest request{text, kind, buttons, MsgHeading(kind, heading)};
  // A copy, so a presenter that installs another one while it runs stays alive.
  const TMsgPresenter presenter = Presenter();
  if (presenter) return presenter(request);
  return StderrMsgPresenter(request);
}

int StderrMsgPresenter(const TMsgRequest& request) {
  const QByteArray line = (request.Heading + QStringLiteral(": ") + request.Text + QLatin1Char('\n')).toLocal8Bit();
  std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
  std::fflush(stderr);
  return MsgUnattendedResult(request.Buttons);
}

int MsgDefaultResult(TMsgButtons buttons) {
  if (buttons & btOk) return idOk;
  if (buttons & btYes) return idYes;
  return 0;
}

int MsgCancelResult(TMsgButtons buttons) {
  if (buttons & btCancel) return idCancel;
  if (buttons & btNo) return idNo;
  return 0;
}

int MsgUnattendedResult(TMsgButtons buttons) {
  if (const int escape = MsgCancelResult(buttons)) return escape;
  if (buttons & btOk) return idOk;
  return idCancel;
}

QChar AcceleratorChar(const QString& caption) {
  for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != QLatin1Char('&')) continue;
    if (caption[i + 1] != QLatin1Char('&')) return caption[i + 1];
    ++i;  // "&&" stands for the ampersand itself
  }
  return QChar();
}

int MsgKeyResult(QChar key, TMsgButtons buttons) {
  if (key.isNull()) return 0;
  const auto matches = [key](TLangText caption) {
    const QChar accel = AcceleratorChar(LangText(caption));
    return !accel.isNull() && accel.toCaseFolded() == key.toCaseFolded();
  };
  if ((buttons & btYes) && matches(lsYes)) return idYes;
  if ((buttons & btNo) && matches(lsNo)) return idNo;
  return 0;
}

TMsgDlgLayout MsgDlgLayout(int textWidth, int textHeight, TMsgButtons buttons) {
  TMsgDlgLayout layout;
  layout.ClientWidth = std::max(MinClientWidth, MessageLeft + textWidth + IconLeft);
  layout.SeparatorWidth = layout.ClientWidth - 2 * SeparatorLeft;
  layout.ButtonTop = std::max(MessageTop + textHeight + 2 * CaptionTop, 2 * CaptionTop + IconTop + IconSize);
  layout.ClientHeight = ButtonHeight + layout.ButtonTop + CaptionTop;

  const TMsgButtons order[4] = {btYes, btNo, btOk, btCancel};
  int shown = 0;
  for (TMsgButtons b : order) shown += (buttons & b) ? 1 : 0;
  const int rowWidth = shown > 0 ? ButtonWidth * shown + ButtonGap * (shown - 1) : 0;
  int left = layout.ClientWidth - rowWidth - IconLeft + 1;
  for (int i = 0; i < 4; ++i) {
    if (!(buttons & order[i])) continue;
    layout.ButtonLeft[i] = left;
    left += ButtonWidth + ButtonGap;
  }
  return layout;
}
