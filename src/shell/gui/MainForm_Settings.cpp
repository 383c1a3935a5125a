// The settings file, read once at start-up and written once as the window
// goes, and the recent files of the "File" menu.
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QtGlobal>
#include <utility>

#include "app/FoncUtils.h"
#include "app/IniFile.h"
#include "controls/gui/SpecialEdit.h"
#include "shell/gui/MainForm.h"

namespace {

constexpr int MaxRecentFiles = 4;

// What every read gets back for a missing key; a key holding it counts as
// missing too.
const QString Missing = QStringLiteral("ERR!");
const QString Params = QStringLiteral("Params");
const QString Files = QStringLiteral("Files");

QString FileKey(int n) { return QStringLiteral("File%1").arg(n); }

// A name the settings file cannot hold on one line.
bool HasLineBreak(const QString& s) { return s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r')); }

// Folders are stored with "/" and a trailing "/", whatever they were held as.
QString FolderValue(const QString& folder) {
  if (folder.isEmpty()) return folder;
  QString value = QDir::fromNativeSeparators(folder);
  if (!value.endsWith(QLatin1Char('/'))) value += QLatin1Char('/');
  return value;
}

QString Flag(bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); }

}  // namespace

void TMainForm::LoadSettings() {
  const IniFile ini(IniFileName);
  auto read = [&](const QString& section, const QString& key) { return ini.ReadString(section, key, Missing); };
  // A folder is taken only when it still exists.
  auto folder = [&](const QString& key, QString& target) {
    const QString value = read(Params, key);
    if (value != Missing && !value.isEmpty() && QFileInfo(value).isDir()) target = value;
  };
  folder(QStringLiteral("Thumbnails"), Mosaic.ThumbnailsFolder);
  folder(QStringLiteral("Open"), OpenFolder);
  folder(QStringLiteral("Save"), SaveFolder);
  if (read(Params, QStringLiteral("Maximized")) == QLatin1String("1"))
    setWindowState(windowState() | Qt::WindowMaximized);
  PictureFiles.PreviewEnabled = read(Params, QStringLiteral("Preview")) == QLatin1String("1");

  const QString thumbSize = read(Params, QStringLiteral("ThumbSize"));
  if (thumbSize != Missing) {
    // Text that is not an int (letters, or a number too large for one) reads
    // as 15; a number that is not one of the sizes as 10.
    bool ok = false;
    int size = thumbSize.toInt(&ok);
    if (!ok) size = 15;
    EdiTaille->SetItemIndex(size == 15 ? 1 : size == 20 ? 2 : size == 40 ? 3 : 0);
    // The cell size follows the edit even when the item did not change.
    EdiTailleChange();
  }
  MenuVerifierTaille->setChecked(read(Params, QStringLiteral("CheckSize")) != QLatin1String("0"));
  MenuLisser->setChecked(read(Params, QStringLiteral("Antialias")) != QLatin1String("0"));
  MenuAssortir->setChecked(read(Params, QStringLiteral("MatchColours")) == QLatin1String("1"));
  MenuRecadrer->setChecked(read(Params, QStringLiteral("CropSquare")) == QLatin1String("1"));
  if (read(Params, QStringLiteral("Unit")) == QLatin1String("1")) MenuUnitCmClick(MenuUnitPouces);

  // Exact duplicates are dropped: a file once left with stale keys would
  // otherwise list the same picture twice.
  for (int n = 1; n <= MaxRecentFiles; ++n) {
    const QString name = read(Files, FileKey(n));
    if (name == Missing || name.isEmpty() || RecentFiles.contains(name, Qt::CaseSensitive)) continue;
    RecentFiles.append(name);
  }
}

void TMainForm::SaveSettings() {
  IniFile ini(IniFileName);
  ini.WriteString(Params, QStringLiteral("Thumbnails"), FolderValue(Mosaic.ThumbnailsFolder));
  ini.WriteString(Params, QStringLiteral("Open"), FolderValue(OpenFolder));
  ini.WriteString(Params, QStringLiteral("Save"), FolderValue(SaveFolder));
  ini.WriteString(Params, QStringLiteral("Maximized"), Flag(m_maximizedAtClose.value_or(isMaximized())));
  ini.WriteString(Params, QStringLiteral("Preview"), Flag(PictureFiles.PreviewEnabled));
  ini.WriteString(Params, QStringLiteral("ThumbSize"), EdiTaille->Text().left(2));
  ini.WriteString(Params, QStringLiteral("CheckSize"), Flag(MenuVerifierTaille->isChecked()));
  ini.WriteString(Params, QStringLiteral("Antialias"), Flag(MenuLisser->isChecked()));
  // The options beyond the original ones are written only while on: a user
  // who never turns them on keeps the settings file as it always was.
  for (const auto& [key, action] : {std::pair{QStringLiteral("MatchColours"), MenuAssortir},
                                    std::pair{QStringLiteral("CropSquare"), MenuRecadrer}}) {
    if (action->isChecked())
      ini.WriteString(Params, key, Flag(true));
    else
      ini.DeleteKey(Params, key);
  }
  ini.WriteString(Params, QStringLiteral("Unit"), Flag(MenuUnitPouces->isChecked()));
  // The keys after the last entry go, so that nothing stale comes back at
  // the next start.
  int n = 0;
  for (const QString& name : std::as_const(RecentFiles))
    if (n < MaxRecentFiles && !HasLineBreak(name)) ini.WriteString(Files, FileKey(++n), name);
  while (n < MaxRecentFiles) ini.DeleteKey(Files, FileKey(++n));
  // Leaving must not fail for it: the run's changes are lost, nothing else.
  if (!ini.UpdateFile()) qWarning("Tesselune: %s", qUtf8Printable(ini.ErrorString()));
}

void TMainForm::AddRecentFile(const QString& fileName) {
  // One line per entry in the settings file.
  if (fileName.isEmpty() || HasLineBreak(fileName)) return;
  // Names are compared as the file system does: letter case counts.
  const qsizetype i = RecentFiles.indexOf(fileName);
  if (i >= 0) {
    RecentFiles.move(i, 0);
    return;
  }
  while (RecentFiles.size() >= MaxRecentFiles) RecentFiles.removeLast();
  RecentFiles.prepend(fileName);
}

QString TMainForm::RecentCaption(int index) const {
  return QString::number(index + 1) + QLatin1Char(' ') + TruncateText(QFileInfo(RecentFiles.at(index)).fileName(), 30);
}

void TMainForm::MenuFichierClick() {
  MenuFichierSep->setVisible(!RecentFiles.isEmpty());
  for (int tag = 0; tag < MaxRecentFiles; ++tag) {
    const bool shown = tag < RecentFiles.size();
    MenuFichierN[tag]->setVisible(shown);
    // "&" in a file name is shown, not taken as the item's access key.
    if (shown) MenuFichierN[tag]->setText(RecentCaption(tag).replace(QLatin1Char('&'), QStringLiteral("&&")));
  }
}
