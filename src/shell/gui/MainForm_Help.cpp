// The "?" menu: the information page and the about box; the units of print.
#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "app/MyMsgDlg.h"
#include "dialogs/gui/AboutBox.h"
#include "dialogs/gui/PrintLayoutDialog.h"
#include "shell/gui/MainForm.h"

QString TMainForm::InformationPagePath() {
  // Named like the executable, beside it or in the installed data folder.
  return BundledPath(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + QStringLiteral(".htm"));
}

std::function<bool(const QUrl&)>& TMainForm::UrlOpener() {
  static std::function<bool(const QUrl&)> opener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  return opener;
}

void TMainForm::MenuInformationsClick() {
  const QString page = InformationPagePath();
  if (!QFileInfo(page).isFile()) {
    MyMessageDlg(QStringLiteral("File not found !"), mkInformation, btOk);
    return;
  }
  if (UrlOpener()(QUrl::fromLocalFile(page))) return;
  // No browser set on this desktop: the page in a window of our own rather
  // than nothing at all.
  QDialog window(this);
  window.setObjectName(QStringLiteral("InformationPage"));
  window.setWindowTitle(QStringLiteral("Information"));
  auto* browser = new QTextBrowser(&window);
  browser->setOpenExternalLinks(false);
  browser->setSource(QUrl::fromLocalFile(page));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &window);
  connect(buttons, &QDialogButtonBox::rejected, &window, &QDialog::reject);
  auto* layout = new QVBoxLayout(&window);
  layout->addWidget(browser);
  layout->addWidget(buttons);
  window.resize(720, 560);
  window.exec();
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
