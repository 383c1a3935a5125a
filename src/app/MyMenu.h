#pragma once
// The look of the toolbar and menus that needs no widget: the two toolbar
// image lists made from the design images, the gradient of the menu bands,
// the menu colours, and the shortcut texts shown in menus (with key names
// from the interface strings). The menu style that paints with them lives in
// app/gui/.
#include <QImage>
#include <QKeySequence>
#include <cstdint>
#include <optional>
#include <vector>

#include "raster/Color.h"
#include "raster/RectUtils.h"

class QPainter;

// Background key while a toolbar image is composed.
constexpr TColor ImageKeyColor = 0x00DCEDCE;
constexpr TColor MenuShortCutColor = 0x00000080;
constexpr int MenuGutterWidth = 77;

// The menu colours mixed from the system colours; computed by
// InitMenuColors (once, before any menu is painted).
extern TColor MenuGutterColor;
extern TColor MenuSelStartColor;
extern TColor MenuSelEndColor;
void InitMenuColors();

// An image list: pictures of one size; pixels that were the list's mask
// colour are fully transparent (alpha 0), all others opaque.
using TImageList = std::vector<QImage>;

// Washed-out grey pictures for disabled buttons, each source picture drawn
// on ImageKeyColor: pixels within 7 of the key become transparent, the
// others their grey level moved percent % towards the colour transparent
// (the button face). No list when the source is empty or building failed.
std::optional<TImageList> MakeDisabledImages(const TImageList& source, TColor transparent, int percent);

// The pictures with a soft shadow one pixel right of and below them, at most
// percent % dark. No list when percent is outside 0..100, the source is
// empty, or building failed.
std::optional<TImageList> MakeNormalImages(const TImageList& source, TColor transparent, int percent);

// Fills r column by column from colour a towards b: column k of w gets
// a + (k * (b - a)) div w per channel, so the last column stops one step
// short of b. Nothing when r is empty.
void FillGradient(QPainter& painter, TRect r, TColor a, TColor b);

// A shortcut: key code in the low byte, modifiers in the high bits.
using TShortCut = std::uint16_t;
constexpr TShortCut scShift = 0x2000;
constexpr TShortCut scCtrl = 0x4000;
constexpr TShortCut scAlt = 0x8000;

// Key codes of the shortcuts the program binds.
enum TKeyCode : std::uint8_t {
  vkBack = 8,
  vkTab = 9,
  vkReturn = 13,
  vkEscape = 27,
  vkSpace = 32,
  vkPrior = 33,
  vkNext = 34,
  vkEnd = 35,
  vkHome = 36,
  vkLeft = 37,
  vkUp = 38,
  vkRight = 39,
  vkDown = 40,
  vkInsert = 45,
  vkDelete = 46,
  vkNumpad0 = 96,
  vkF1 = 112,
};

// The text a menu shows for a shortcut: "Maj+", "Ctrl+", "Alt+" prefixes (in
// that order) and the key's name; empty when the key has no name.
QString MenuShortCutToText(TShortCut shortcut);

// The system's name of a key code that has no name of its own in the
// shortcut texts (punctuation, keypad operators, lock keys); empty when the
// key has none.
QString KeyName(int code);

// The key sequence to bind for a shortcut (an empty sequence when the key
// code has no key here). Return is bound as the main Enter key; the caller
// adds the keypad's Enter where both are wanted.
QKeySequence KeySequenceOf(TShortCut shortcut);
