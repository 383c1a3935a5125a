#include "app/gui/MsgDlgForm.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <algorithm>

#include "app/InterfaceTexts.h"

namespace {

// The designed positions; the font here is not the one they were drawn for,
// so heights and widths grow with the font and never fall below them.
constexpr int kCaptionTop = 12, kSepTop = 28, kMessageTop = 44, kIconLeft = 12, kMessageLeft = 56;
constexpr int kButtonWidth = 75, kButtonHeight = 25, kButtonGap = 6, kRightMargin = 11;

QIcon KindIcon(TMsgKind kind, const QStyle* style) {
  switch (kind) {
    case mkWarning: return style->standardIcon(QStyle::SP_MessageBoxWarning);
    case mkError: return style->standardIcon(QStyle::SP_MessageBoxCritical);
    case mkInformation: return style->standardIcon(QStyle::SP_MessageBoxInformation);
    case mkConfirmation: return style->standardIcon(QStyle::SP_MessageBoxQuestion);
    case mkApplication: break;
  }
  const QIcon app = QApplication::windowIcon();
  return app.isNull() ? style->standardIcon(QStyle::SP_DesktopIcon) : app;
}

}  // namespace

TMsgDlgForm::TMsgDlgForm(const TMsgRequest& request, QWidget* parent) : QDialog(parent), m_buttons(request.Buttons) {
  setWindowTitle(QStringLiteral("Tesselune"));
  setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint) & ~Qt::WindowContextHelpButtonHint);

  LblCaption = new QLabel(request.Heading, this);
  QFont bold = LblCaption->font();
  bold.setBold(true);
  LblCaption->setFont(bold);
  LblCaption->setTextFormat(Qt::PlainText);
  LblCaption->adjustSize();
  LblCaption->move(kCaptionTop, kCaptionTop);

  const int sepTop = std::max(kSepTop, kCaptionTop + LblCaption->height() + 3);
  const int extra = std::max(kMessageTop, sepTop + 16) - kMessageTop;
  PnlSep = new QFrame(this);
  PnlSep->setAutoFillBackground(true);
  PnlSep->setPalette(QPalette(Qt::black, Qt::black));
  PnlSep->setFrameShape(QFrame::NoFrame);

  ResIcon = new QLabel(this);
  ResIcon->setGeometry(kIconLeft, kMessageTop + extra, 32, 32);
  ResIcon->setPixmap(KindIcon(request.Kind, style()).pixmap(32, 32));

  LblMsg = new QLabel(request.Text, this);
  LblMsg->setTextFormat(Qt::PlainText);
  LblMsg->setWordWrap(false);
  const QSize text = LblMsg->fontMetrics().size(Qt::TextExpandTabs, request.Text);
  LblMsg->setGeometry(kMessageLeft, kMessageTop + extra, text.width(), text.height());

  EdiInput = new QLineEdit(this);
  EdiInput->setGeometry(kMessageLeft, 62 + extra, 233, EdiInput->sizeHint().height());
  EdiInput->clear();
  EdiInput->hide();

  TMsgDlgLayout layout = MsgDlgLayout(text.width(), text.height(), request.Buttons);
  layout.ButtonTop += extra;
  layout.ClientHeight += extra;

  struct Def {
    QPushButton** button;
    TMsgButtons flag;
    TLangText caption;
    int result;
  };
  const Def defs[4] = {{&BtnYes, btYes, lsYes, idYes},
                       {&BtnNo, btNo, lsNo, idNo},
                       {&BtnOk, btOk, lsOk, idOk},
                       {&BtnCancel, btCancel, lsCancel, idCancel}};
  QList<QPushButton*> shown;
  int buttonWidth = kButtonWidth, buttonHeight = kButtonHeight;
  for (const Def& d : defs) {
    auto* b = new QPushButton(LangText(d.caption), this);
    *d.button = b;
    const int result = d.result;
    connect(b, &QPushButton::clicked, this, [this, result] { done(result); });
    b->setVisible(request.Buttons & d.flag);
    if (!(request.Buttons & d.flag)) continue;
    shown.append(b);
    QString plain = b->text();
    plain.remove(plain.indexOf(u'&'), plain.contains(u'&') ? 1 : 0);
    buttonWidth = std::max(buttonWidth, b->fontMetrics().horizontalAdvance(plain) + 16);
    buttonHeight = std::max(buttonHeight, b->fontMetrics().height() + 10);
  }
  // Wider captions than the designed buttons hold: the row keeps its rule
  // (right-aligned, 6 apart) with wider buttons.
  const int n = int(shown.size());
  const int row = n > 0 ? n * buttonWidth + (n - 1) * kButtonGap : 0;
  const int clientWidth = std::max(layout.ClientWidth, row + kIconLeft + kRightMargin);
  int left = clientWidth - row - kIconLeft + 1;
  for (QPushButton* b : shown) {
    b->setGeometry(left, layout.ButtonTop, buttonWidth, buttonHeight);
    left += buttonWidth + kButtonGap;
  }
  const int clientHeight = layout.ClientHeight + (buttonHeight - kButtonHeight);
  PnlSep->setGeometry(12, sepTop, clientWidth - 2 * 12, 2);

  // Tab order Yes, No, Ok, Cancel. Enter presses the focused button, as in
  // any dialog; the focus starts on Ok, else Yes.
  for (int i = 0; i + 1 < 4; ++i) setTabOrder(*defs[i].button, *defs[i + 1].button);
  QPushButton* def = (request.Buttons & btOk) ? BtnOk : (request.Buttons & btYes) ? BtnYes : nullptr;
  if (def) {
    def->setDefault(true);
    def->setFocus();
  } else if (!shown.isEmpty()) {
    shown.first()->setFocus();
  }
  setFixedSize(clientWidth, clientHeight);
}

void TMsgDlgForm::reject() { done(idCancel); }

void TMsgDlgForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    if (const int answer = MsgCancelResult(m_buttons)) done(answer);
    event->accept();
    return;
  }
  const QString text = event->text();
  if (const int answer = text.size() == 1 ? MsgKeyResult(text[0], m_buttons) : 0) {
    done(answer);
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

int GuiMsgPresenter(const TMsgRequest& request) {
  TMsgDlgForm dialog(request, QApplication::activeWindow());
  return dialog.exec();
}

void InstallGuiMsgPresenter() { SetMsgPresenter(GuiMsgPresenter); }
