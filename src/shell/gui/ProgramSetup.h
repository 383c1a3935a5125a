#pragma once
// Unit Tesselune.
// What the program sets up once before its window exists: the menu colours
// and the GUI's message box in place of the core's default.
void InitTesselune();
