// Unit Tesselune.
#include "shell/gui/ProgramSetup.h"

#include "app/MyMenu.h"
#include "app/gui/MsgDlgForm.h"

void InitTesselune() {
  InitMenuColors();
  InstallGuiMsgPresenter();
}
