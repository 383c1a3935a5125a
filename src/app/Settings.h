#pragma once
// TSettings: what the settings file keeps of the window, as one value. Each
// key is named once, in Settings.cpp; Load and Save apply the file's rules
// (what a missing or odd value reads as, which keys are written only while
// on), so that the window only maps the value onto its menus and edits. The
// mosaic's options, which this floor does not know, keep their keys among
// these: Save hands the file to their writer at each place their keys take
// in a fresh file, and the rules below serve them too.
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class IniFile;

// Where another value's keys go among the window's in a fresh file: before
// "Open", after "Preview", after "Unit".
enum class TSettingsPlace { First, AfterPreview, AfterUnit };

struct TSettings {
  static constexpr int MaxRecentFiles = 4;

  // Folders, each taken from the file only while it still exists; empty
  // when the file names none (the program's own choice then stays).
  QString OpenFolder;
  QString SaveFolder;
  bool Maximized = false;
  bool PreviewEnabled = false;  // the open dialog's preview switch
  bool Inches = false;          // the unit of print: inches, else centimetres
  // Most recent first, at most MaxRecentFiles, no name twice.
  QStringList RecentFiles;

  // True when the file can hold the name as a recent file (on one line).
  static bool Storable(const QString& fileName);

  static TSettings Load(const IniFile& ini);
  // Writes every setting into ini (not to disk: IniFile::UpdateFile does),
  // and at each place the keys of another value, through others.
  using TPlaceWriter = std::function<void(IniFile& ini, TSettingsPlace place)>;
  void Save(IniFile& ini, const TPlaceWriter& others = {}) const;

  // The file's rules, for the keys of another value in the program's
  // section. The key's text; none when it is missing (or holds "ERR!").
  static std::optional<QString> ReadParam(const IniFile& ini, const QString& key);
  // Writes the key; none removes it (every copy).
  static void WriteParam(IniFile& ini, const QString& key, const std::optional<QString>& text);
  // A folder as the file stores it: with "/" and a trailing "/".
  static QString FolderText(const QString& folder);
  // A folder read from the file: the text while it names an existing
  // folder, else empty.
  static QString ExistingFolder(const QString& text);

  bool operator==(const TSettings&) const = default;
};
