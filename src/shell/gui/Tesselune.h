#pragma once
// What the program sets up once before its window exists: the menu colours,
// and the GUI's message box and file dialogs in place of the defaults of
// the core.
void InitTesselune();
