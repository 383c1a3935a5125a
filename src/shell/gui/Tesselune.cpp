#include "shell/gui/Tesselune.h"

#include "app/MyMenu.h"
#include "app/gui/MsgDlgForm.h"
#include "imagefiles/PictureFiles.h"
#include "imagefiles/gui/MyDlgs.h"

void InitTesselune() {
  // The interface strings start French; the formats take their names from them.
  RegisterPictureFormats();
  InitMenuColors();
  InstallGuiMsgPresenter();
  InstallPictureFileDialogs();
}
