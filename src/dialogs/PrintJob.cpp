#include "dialogs/PrintJob.h"

TJobCopies JobCopies(int copies, bool printerMakesCopies) {
  return printerMakesCopies ? TJobCopies{copies, 1} : TJobCopies{1, copies};
}
