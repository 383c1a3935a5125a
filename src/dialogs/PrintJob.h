#pragma once
// What the print layout dialog hands to the print job: the page, where the
// picture goes on it and how it is drawn, and how many copies.
#include "dialogs/PrintLayout.h"

struct TPrintJobParams {
  TPageGeometry Page;
  // In printer device pixels.
  TRect Rect;
  int ImageWidth = 0;
  int ImageHeight = 0;
  // The frame of the picture instead of the picture.
  bool BoundingBoxOnly = false;
  bool CropMarks = false;
  int Copies = 1;
};

// A printer that makes copies itself gets the copy count and one page; one
// that cannot gets every copy as a page of its own and a count of 1.
struct TJobCopies {
  int CopyCount = 1;
  int Pages = 1;
};
TJobCopies JobCopies(int copies, bool printerMakesCopies);
