#pragma once
// The program's message box. Core code (the load and save dispatch, the
// thumbnail library) and the shell call MyMessageDlg; what the user actually
// sees is up to the installed presenter: the GUI installs its dialog, the
// command-line tool a printer to standard error, tests a recorder. Without a
// presenter the message goes to standard error and the dialog's dismissing
// answer comes back (see MsgUnattendedResult).
#include <QChar>
#include <QString>
#include <cstdint>
#include <functional>

enum TMsgKind : std::uint8_t {
  mkWarning = 0,
  mkError = 1,
  mkInformation = 2,
  mkConfirmation = 3,
  mkApplication = 4,
};

// A set of buttons; the dialog shows them in the order Yes, No, Ok, Cancel.
using TMsgButtons = std::uint16_t;
constexpr TMsgButtons btYes = 1;
constexpr TMsgButtons btNo = 2;
constexpr TMsgButtons btOk = 4;
constexpr TMsgButtons btCancel = 8;

// The answer: the button that closed the dialog. Closing the window without
// a button also answers idCancel.
enum TMsgResult : int {
  idOk = 1,
  idCancel = 2,
  idYes = 6,
  idNo = 7,
};

// One message as a presenter receives it. Heading is final: never empty for
// the kinds above, already resolved from the kind when the caller gave none.
struct TMsgRequest {
  QString Text;
  TMsgKind Kind = mkWarning;
  TMsgButtons Buttons = btOk;
  QString Heading;
};

// Shows the message and returns the answer (a TMsgResult value).
using TMsgPresenter = std::function<int(const TMsgRequest&)>;

// Installs the presenter used by every later message (an empty function
// restores the standard-error fallback) and returns the previous one.
TMsgPresenter SetMsgPresenter(TMsgPresenter presenter);

// Shows text with the heading, or the kind's heading when heading is empty,
// and returns the answer.
int MyMessageDlg(const QString& text, TMsgKind kind, TMsgButtons buttons, const QString& heading = QString());

// The heading a message shows: heading itself when not empty, otherwise the
// kind's interface string as it reads now (Avertissement, Erreur, ...), or
// for mkApplication (and any unknown kind) the executable's file name.
QString MsgHeading(TMsgKind kind, const QString& heading);

// The presenter of the command-line tool, also used when none is installed:
// writes "heading: text" to standard error and returns
// MsgUnattendedResult(request.Buttons).
int StderrMsgPresenter(const TMsgRequest& request);

// The dialog's rules, for any presenter that draws it.

// The button pressed by Enter: Ok when shown, otherwise Yes when shown; 0
// when neither is shown.
int MsgDefaultResult(TMsgButtons buttons);
// The button pressed by Escape: Cancel when shown, otherwise No when shown;
// 0 when neither is shown (Escape then does nothing).
int MsgCancelResult(TMsgButtons buttons);
// The answer when nobody can answer: what Escape would press, otherwise Ok
// when it is the choice offered, otherwise what closing the window gives
// (idCancel). Never Yes: an unattended run must not agree to anything.
int MsgUnattendedResult(TMsgButtons buttons);

// The accelerator letter of a caption ("&Oui" -> 'O'; "&&" is a literal
// ampersand); a null QChar when there is none.
QChar AcceleratorChar(const QString& caption);
// A plain key press in the dialog: idYes when Yes is shown and key is the
// accelerator of the Yes caption (interface string, compared without regard
// to case), otherwise idNo likewise for No; 0 when the key closes nothing.
int MsgKeyResult(QChar key, TMsgButtons buttons);

// The dialog's geometry for a message text of the given size in pixels, with
// the designed positions: heading at (12, 12), icon 32 x 32 at (12, 44),
// text at (56, 44), buttons 75 x 25 spaced 81 apart and right-aligned 11
// pixels from the right edge.
struct TMsgDlgLayout {
  int ClientWidth = 0;  // at least 300
  int ClientHeight = 0;
  int SeparatorWidth = 0;  // the line under the heading
  int ButtonTop = 0;
  // Left edge of the Yes, No, Ok and Cancel buttons; -1 when not shown.
  int ButtonLeft[4] = {-1, -1, -1, -1};
};
TMsgDlgLayout MsgDlgLayout(int textWidth, int textHeight, TMsgButtons buttons);
