// Unit AnnulImp.
#include "dialogs/gui/PrintCancelWindow.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>

TAnnulerForm::TAnnulerForm(QWidget* parent) : QDialog(parent) {
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  setWindowModality(Qt::ApplicationModal);
  auto* panel = new QFrame(this);
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setGeometry(0, 0, 300, 96);
  // The texts of this window are French and stay French.
  LabelTitre = new QLabel(QStringLiteral("Patientez, préparation de l'impression..."), panel);
  LabelTitre->setAlignment(Qt::AlignCenter);
  LabelTitre->setGeometry(8, 16, 284, 20);
  BAnnuler = new QPushButton(QStringLiteral("Annuler"), panel);
  BAnnuler->setGeometry(112, 52, 75, 25);
  connect(BAnnuler, &QPushButton::clicked, this, [this] { BAnnulerClick(); });
  setFixedSize(300, 96);
}

void TAnnulerForm::ShowCancelWindow() {
  Cancelled = 0;
  if (QWidget* over = parentWidget() ? parentWidget()->window() : nullptr)
    move(over->geometry().center() - rect().center());
  show();
  BAnnuler->setFocus();
  QApplication::processEvents();
}

bool TAnnulerForm::CloseCancelWindow(QPainter& painter) {
  bool ended = true;
  if (painter.isActive()) {
    if (Cancelled == 0) {
      ended = painter.end();
    } else {
      if (Printer) Printer->abort();
      painter.end();
    }
  }
  hide();
  return ended;
}

void TAnnulerForm::BAnnulerClick() {
  if (Printer && Printer->printerState() == QPrinter::Active) Printer->abort();
  Cancelled = -1;
}

void TAnnulerForm::reject() { BAnnulerClick(); }
