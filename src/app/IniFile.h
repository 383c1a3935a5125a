#pragma once
// The settings file: a plain INI text read and written with the profile
// semantics the settings rely on. Section and key names are compared without
// regard to letter case; values are stored raw (no quotes, no escapes) and
// read with the blanks around them trimmed; a missing or unreadable file reads
// as empty. Writing keeps every other section, key, comment and odd line as it
// was, and replaces the file in one step, so an interrupted write never leaves
// half a file.
#include <QString>
#include <QStringList>

class IniFile {
 public:
  // Largest file read; a longer one is read up to its last whole line within
  // the limit (a settings file is a few hundred bytes: anything larger is
  // damage, and must not stall the start).
  static constexpr qint64 MaxFileSize = 1 << 20;

  // Reads fileName at once; a damaged file gives what can be read.
  explicit IniFile(QString fileName);

  const QString& FileName() const { return FileName_; }

  // The value of key in section, or def when either is missing.
  QString ReadString(const QString& section, const QString& key, const QString& def) const;

  // Sets key in section, adding either when missing (a new key goes after the
  // last entry of its section, a new section at the end); further copies of
  // the key in the section are removed. A section, key or
  // value holding a line break, a key holding "=" or empty, or a section
  // holding "]" cannot be stored and is refused (false), the file unchanged.
  bool WriteString(const QString& section, const QString& key, const QString& value);

  // Removes key from section (every line naming it); nothing when missing.
  void DeleteKey(const QString& section, const QString& key);

  // Writes the file (through a temporary file renamed over the old one).
  // False with ErrorString() set when it could not be written; the file on
  // disk is then left as it was.
  bool UpdateFile();
  const QString& ErrorString() const { return Error_; }

 private:
  // Index of the line "[section]" (first one when repeated), or -1.
  int SectionLine(const QString& section) const;
  // Index past the last line of the section starting at header (the next
  // section's header or the end).
  int SectionEnd(int header) const;
  // Index of the first line of key inside the section at header, or -1.
  int KeyLine(int header, const QString& key) const;

  QString FileName_;
  QStringList Lines_;
  QString Error_;
};

// Where the settings file named fileName lives for a program installed in
// programFolder: beside the program when that folder takes a new file (found
// out by creating one there, which also answers for read-only file systems
// and access lists), otherwise in the per-user configuration folder
// (created when missing). The result is used for reading and for writing.
QString LocateSettingsFile(const QString& programFolder, const QString& fileName);
