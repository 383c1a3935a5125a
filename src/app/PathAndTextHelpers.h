#pragma once
// Unit FoncUtils.
// Small path, text, size and filter helpers of the application shell. None of
// them shows a message: failures come back in the result.
#include <QString>
#include <QtGlobal>
#include <optional>
#include <string>

// Nearest integer, halves to the even neighbour; NaN gives 0 and values
// beyond +-9e18 stop there, so that every result is defined.
long long RoundEven(double value);

// A whole decimal number, an optional "-" and digits with nothing around
// them; none when the text is not one or does not fit in a long long.
std::optional<long long> ParseWholeNumber(const std::string& text);

// The name under which the file or folder `path` is stored: when the entry
// exists, its folder resolved to the real, absolute folder followed by the
// entry's own name (a symbolic link keeps its name); otherwise `path`
// unchanged.
QString LongFileName(const QString& path);

// Size in bytes of the file `name`, or -1 when it cannot be opened for
// reading (missing, unreadable, a folder).
qint64 FileSizeOf(const QString& name);

// The file-name part of `name` placed in `folder` (with one "/" between
// them); an empty folder gives the bare file name, an empty name an empty
// result.
QString PathInFolder(const QString& name, const QString& folder);

// The first n characters of text followed by "..." when text is longer than
// n characters; text unchanged otherwise.
QString TruncateText(const QString& text, int n);

// A byte count for people: "1023 bytes", "1.50 Kb" (or "2 Kb" rounded), with
// the unit names of the interface strings and the decimal separator of the
// default locale.
QString SizeToText(qint64 size, bool rounded);

// Field of a "description|pattern|description|pattern..." filter: the
// description (pattern = false) or the pattern of the 1-based entry `index`.
// Past the end the last field, at an index of 0 or less the first field.
QString FilterField(const QString& filter, int index, bool pattern);

// The extension of a file mask: "*.jpg;*.jpeg" -> ".jpg", "*.*" -> ".*",
// "bmp" -> ".bmp", "" -> "".
QString MaskToExt(const QString& mask);

// A file or folder that ships with the program: beside the executable (a
// build tree) or, for an installed program, in its data folder
// (../share/tesselune/); beside the executable when neither exists.
QString BundledPath(const QString& name);

// The toolkit's styles are always available and active here, so this starts
// true; the controls that follow themed layouts read it, and tests switch it
// to exercise the other layout.
extern bool ThemesActive;
