#include "dialogs/gui/PrintJob.h"

#include <QApplication>
#include <QPainter>
#include <QPrinter>

#include "app/MyMsgDlg.h"
#include "dialogs/gui/PrintCancelWindow.h"
#include "raster/Bitmap.h"

namespace {

void PrintBoundingBox(QPainter& p, const TRect& r) {
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(Qt::NoBrush);
  // The frame covers Left..Right - 1 and Top..Bottom - 1.
  p.drawRect(QRect(r.Left, r.Top, r.Right - r.Left - 1, r.Bottom - r.Top - 1));
}

void PrintPicture(QPainter& p, const TRect& r, const QImage& picture) {
  // Smooth stretching is the printer's to do: the picture goes out at its own
  // size, and losslessly (a PDF printer would otherwise get a JPEG of it).
  p.setRenderHint(QPainter::SmoothPixmapTransform, true);
  p.setRenderHint(QPainter::LosslessImageRendering, true);
  p.drawImage(QRectF(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top), picture);
}

void PrintCropMarks(QPainter& p, const TPrintJobParams& job) {
  // Flat caps: a segment ends where its second point begins.
  p.setPen(QPen(Qt::black, 1, Qt::SolidLine, Qt::FlatCap));
  for (const QLineF& s : CropMarkSegments(job.Page, job.Rect, job.ImageWidth, job.ImageHeight)) p.drawLine(s);
}

}  // namespace

int RunPrintJob(QPrinter& printer, const TPrintJobParams& job, const TBitmap& image, TAnnulerForm& cancelWindow) {
  cancelWindow.Printer = &printer;
  cancelWindow.ShowCancelWindow();
  QPainter painter;
  QString error;
  // The page is prepared while the cancel button can still be pressed: once
  // the document is begun, the print system cannot take it back (ending it
  // hands it to the spooler, and aborting is not offered by every printer).
  QImage picture;
  if (!job.BoundingBoxOnly) picture = image.Image().convertToFormat(QImage::Format_RGB32);
  QApplication::processEvents();
  if (cancelWindow.Cancelled == 0) {
    const TJobCopies copies = JobCopies(job.Copies, printer.supportsMultipleCopies());
    printer.setCopyCount(copies.CopyCount);
    if (!painter.begin(&printer)) {
      error = QStringLiteral("The printer \"%1\" could not start the document: nothing was printed !")
                  .arg(printer.printerName());
    } else {
      for (int page = 0; page < copies.Pages; ++page) {
        if (page > 0) printer.newPage();
        if (job.BoundingBoxOnly)
          PrintBoundingBox(painter, job.Rect);
        else
          PrintPicture(painter, job.Rect, picture);
        if (job.CropMarks) PrintCropMarks(painter, job);
      }
    }
  }
  const bool ended = cancelWindow.CloseCancelWindow(painter);
  if (error.isEmpty() && (!ended || printer.printerState() == QPrinter::Error))
    error = QStringLiteral("The printer \"%1\" could not print the document !").arg(printer.printerName());
  if (!error.isEmpty()) {
    MyMessageDlg(error, mkError, btOk);
    return -1;
  }
  return cancelWindow.Cancelled == 0 ? 1 : 0;
}
