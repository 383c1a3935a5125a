#pragma once
// Unit LibLang.
// The interface strings: 55 texts shared by the whole program, French by
// default. The main window and the command-line tool switch 18 of them to
// English at start-up; the others keep their French texts for the whole run.
// Texts are read at the moment of use, so a text read before the switch is
// the French one.
#include <QString>
#include <span>

// The numbers of the interface strings. The numbering is fixed: other parts
// of the program refer to the texts by these numbers.
enum TLangText : int {
  lsAllImages = 0,  // name of the "all images" filter entry
  lsCommonImages,   // name of the "common images" filter entry
  lsBmp,            // file-type names of the registry and filters
  lsRle,
  lsGif,
  lsJpeg,
  lsPng,
  lsTarga,
  lsTiff,
  lsLoadError,      // format with one "%s" for the file name
  lsSaveError,      // format with one "%s" for the file name
  lsSelectionFile,  // type name of the native selection file
  lsImageFile,      // type name of the native image file
  lsIcon,           // colour depth text of icons in the open dialog
  lsAvi,
  lsInvalidData,  // error message of a bad selection file
  lsPixelSize,    // "%dx%d pixels" format of the open dialog
  lsPreview,      // open dialog's preview check box
  lsEmpty,
  lsRgba,
  lsTransparency,
  lsImageProperties,  // open dialog's information caption
  lsAnimatedGif,
  lsYes,  // message dialog button captions; the letter after
  lsNo,   // "&" of Yes and No is also its key
  lsOk,
  lsCancel,
  lsWarning,  // message headings by kind
  lsError,
  lsInformation,
  lsConfirmation,
  lsInput,
  lsKeyBackspace,  // key names of shortcut texts
  lsKeyTab,
  lsKeyEscape,
  lsKeyEnter,
  lsKeySpace,
  lsKeyPageUp,
  lsKeyPageDown,
  lsKeyEnd,
  lsKeyHome,
  lsKeyLeft,
  lsKeyUp,
  lsKeyRight,
  lsKeyDown,
  lsKeyInsert,
  lsKeyDelete,
  lsShiftPrefix,  // modifier prefixes of shortcut texts
  lsCtrlPrefix,
  lsAltPrefix,
  lsByte,  // size units of SizeToText
  lsBytes,
  lsKilobytes,
  lsMegabytes,
  lsGigabytes,
};

constexpr int LangTextCount = 55;
static_assert(lsGigabytes + 1 == LangTextCount);

// The current text of an interface string. The numbered form throws
// std::out_of_range for a number outside 0..LangTextCount-1.
const QString& LangText(TLangText id);
const QString& LangText(int number);

// Replaces one text (throws std::out_of_range like LangText).
void SetLangText(int number, const QString& text);

// Puts every text back to its French default (the state at program start).
void SetFrenchTexts();

// The start-up switch: replaces the 18 texts that have an English version.
// Called once by the main window and by the command-line tool.
void SetEnglishTexts();

// The numbers that SetEnglishTexts replaces, in increasing order.
std::span<const TLangText> EnglishTextNumbers();
