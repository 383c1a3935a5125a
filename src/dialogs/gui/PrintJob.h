#pragma once
// The print job: the page laid out by the print layout dialog, painted on the
// printer while the cancel window is up.
#include "dialogs/PrintJob.h"

class QPrinter;
class TAnnulerForm;
class TBitmap;

// Shows the cancel window, prints the page(s) and closes the cancel window
// whatever happens. 1 printed, 0 cancelled, -1 failed (the error message was
// shown).
int RunPrintJob(QPrinter& printer, const TPrintJobParams& job, const TBitmap& image, TAnnulerForm& cancelWindow);
