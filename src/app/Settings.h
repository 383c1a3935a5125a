#pragma once
// TSettings: everything the settings file keeps, as one value. Each key is
// named once, in Settings.cpp; Load and Save apply the file's rules (what a
// missing or odd value reads as, which keys are written only while on), so
// that the window only maps the value onto its menus and edits.
#include <QString>
#include <QStringList>

class IniFile;

struct TSettings {
  static constexpr int MaxRecentFiles = 4;

  // Folders, each taken from the file only while it still exists; empty
  // when the file names none (the program's own choice then stays).
  QString ThumbnailsFolder;
  QString OpenFolder;
  QString SaveFolder;
  bool Maximized = false;
  bool PreviewEnabled = false;  // the open dialog's preview switch
  int CellSize = 20;            // 10, 15, 20 or 40
  bool CheckSize = true;        // "Check size"
  bool Antialias = true;        // "Antialias"
  bool MatchColours = false;    // "Match colours"
  bool CropSquare = false;      // "Crop to square"
  bool Inches = false;          // the unit of print: inches, else centimetres
  // The options of "Mosaic options..." beyond the menus; the mosaic's own
  // defaults (kept here as plain values: this floor knows no mosaic).
  bool Recursive = false;                      // the folder's sub-folders too
  int TintLimit = 25;                          // 0..100
  bool TintWhole = false;                      // the whole tile tinted, else its light
  int RepeatDistance = 3;                      // 0..25
  int MaxUses = 0;                             // 0: no cap
  bool UseAll = false;                         // every photo at least once
  QString TileAspect = QStringLiteral("1:1");  // "W:H", as the window reads it
  int Scale = 1;                               // 1..8
  // Most recent first, at most MaxRecentFiles, no name twice.
  QStringList RecentFiles;

  // True when the file can hold the name as a recent file (on one line).
  static bool Storable(const QString& fileName);

  static TSettings Load(const IniFile& ini);
  // Writes every setting into ini (not to disk: IniFile::UpdateFile does).
  void Save(IniFile& ini) const;

  bool operator==(const TSettings&) const = default;
};
