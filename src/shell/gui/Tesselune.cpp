#include "shell/gui/Tesselune.h"

#include "app/MyMenu.h"
#include "app/gui/MsgDlgForm.h"

void InitTesselune() {
  InitMenuColors();
  InstallGuiMsgPresenter();
}
