#include "shell/gui/Tesselune.h"

#include "app/MyMenu.h"
#include "app/gui/MsgDlgForm.h"
#include "imagefiles/gui/MyDlgs.h"

void InitTesselune() {
  InitMenuColors();
  InstallGuiMsgPresenter();
  InstallPictureFileDialogs();
}
