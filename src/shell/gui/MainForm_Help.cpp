// The "?" menu: the information page and the about box; the units of print.
#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include "app/MyMsgDlg.h"
#include "dialogs/gui/Apropos.h"
#include "dialogs/gui/Impr.h"
#include "shell/gui/MainForm.h"

QString TMainForm::InformationPagePath() {
  // Named like the executable, beside it or in the installed data folder.
  return BundledPath(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + QStringLiteral(".htm"));
}

void TMainForm::MenuInformationsClick() {
  const QString page = InformationPagePath();
  if (QFileInfo(page).isFile())
    QDesktopServices::openUrl(QUrl::fromLocalFile(page));
  else
    MyMessageDlg(QStringLiteral("File not found !"), mkInformation, btOk);
}

void TMainForm::MenuWebClick() {
  // The program has no web site of its own: its pages are the information
  // page it ships.
  MenuInformationsClick();
}

void TMainForm::MenuAProposClick() {
  if (!m_aproposForm) m_aproposForm = std::make_unique<TAProposForm>(this);
  m_aproposForm->exec();
}

void TMainForm::MenuUnitCmClick(QAction* sender) {
  // The two units are one choice (the action group keeps one checked); the
  // print layout dialog reads the unit when it is made, so it goes and is
  // made again with the new unit at the next "Print...".
  sender->setChecked(true);
  delete ImprForm.data();
}
