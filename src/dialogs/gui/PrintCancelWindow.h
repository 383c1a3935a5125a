#pragma once
// Unit AnnulImp.
// The small waiting window shown while a page is prepared for the printer,
// with a button that cancels the job. It is shown without blocking: the print
// job keeps running and lets window messages through, so the button answers.
#include <QDialog>

class QLabel;
class QPainter;
class QPrinter;
class QPushButton;

class TAnnulerForm : public QDialog {
 public:
  explicit TAnnulerForm(QWidget* parent = nullptr);

  QLabel* LabelTitre = nullptr;
  QPushButton* BAnnuler = nullptr;

  // 0 while the job goes on, -1 once the user cancelled it.
  int Cancelled = 0;
  // The printer of the running job, aborted by the button while it prints.
  QPrinter* Printer = nullptr;

  // Cancelled := 0; shows the window centred over its parent, modal to the
  // application but not blocking, and lets it paint once.
  void ShowCancelWindow();
  // Ends the document on `painter` unless the job was cancelled (a cancelled
  // document is aborted, never ended), then closes the window. Always closes
  // it, whatever happened to the job. False when ending the document failed.
  bool CloseCancelWindow(QPainter& painter);

  void BAnnulerClick();

 protected:
  // Escape presses the button; the window itself stays until the job closes it.
  void reject() override;
};
