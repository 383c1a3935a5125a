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
#include "app/Settings.h"
#include "controls/gui/SpecialEdit.h"
#include "shell/gui/MainForm.h"

void TMainForm::LoadSettings() {
  const TSettings settings = TSettings::Load(IniFile(IniFileName));
  if (!settings.ThumbnailsFolder.isEmpty()) Mosaic.ThumbnailsFolder = settings.ThumbnailsFolder;
  if (!settings.OpenFolder.isEmpty()) OpenFolder = settings.OpenFolder;
  if (!settings.SaveFolder.isEmpty()) SaveFolder = settings.SaveFolder;
  if (settings.Maximized) setWindowState(windowState() | Qt::WindowMaximized);
  PictureFiles.PreviewEnabled = settings.PreviewEnabled;
  const int cell = settings.CellSize;
  EdiTaille->SetItemIndex(cell == 15 ? 1 : cell == 20 ? 2 : cell == 40 ? 3 : 0);
  // The cell size follows the edit even when the item did not change.
  EdiTailleChange();
  MenuVerifierTaille->setChecked(settings.CheckSize);
  MenuLisser->setChecked(settings.Antialias);
  MenuAssortir->setChecked(settings.MatchColours);
  MenuRecadrer->setChecked(settings.CropSquare);
  if (settings.Inches) MenuUnitCmClick(MenuUnitPouces);
  Mosaic.Recursive = settings.Recursive;
  Mosaic.TintLimit = settings.TintLimit;
  Mosaic.TintMode = settings.TintWhole ? TTintMode::Whole : TTintMode::Light;
  Mosaic.RepeatDistance = settings.RepeatDistance;
  Mosaic.MaxUses = settings.MaxUses;
  Mosaic.UseAll = settings.UseAll;
  // A shape the mosaic does not know keeps the square.
  if (TTileAspect aspect; ParseTileAspect(settings.TileAspect, aspect)) Mosaic.TileAspect = aspect;
  Mosaic.Scale = settings.Scale;
  RecentFiles = settings.RecentFiles;
}

void TMainForm::SaveSettings() {
  TSettings settings;
  settings.ThumbnailsFolder = Mosaic.ThumbnailsFolder;
  settings.OpenFolder = OpenFolder;
  settings.SaveFolder = SaveFolder;
  settings.Maximized = m_maximizedAtClose.value_or(isMaximized());
  settings.PreviewEnabled = PictureFiles.PreviewEnabled;
  settings.CellSize = ChosenCellSize();
  settings.CheckSize = MenuVerifierTaille->isChecked();
  settings.Antialias = MenuLisser->isChecked();
  settings.MatchColours = MenuAssortir->isChecked();
  settings.CropSquare = MenuRecadrer->isChecked();
  settings.Inches = MenuUnitPouces->isChecked();
  settings.Recursive = Mosaic.Recursive;
  settings.TintLimit = Mosaic.TintLimit;
  settings.TintWhole = Mosaic.TintMode == TTintMode::Whole;
  settings.RepeatDistance = Mosaic.RepeatDistance;
  settings.MaxUses = Mosaic.MaxUses;
  settings.UseAll = Mosaic.UseAll;
  settings.TileAspect = QStringLiteral("%1:%2").arg(Mosaic.TileAspect.Width).arg(Mosaic.TileAspect.Height);
  settings.Scale = Mosaic.Scale;
  settings.RecentFiles = RecentFiles;
  IniFile ini(IniFileName);
  settings.Save(ini);
  // Leaving must not fail for it: the run's changes are lost, nothing else.
  if (!ini.UpdateFile()) qWarning("Tesselune: %s", qUtf8Printable(ini.ErrorString()));
}

void TMainForm::AddRecentFile(const QString& fileName) {
  // One line per entry in the settings file.
  if (!TSettings::Storable(fileName)) return;
  // Names are compared as the file system does: letter case counts.
  const qsizetype i = RecentFiles.indexOf(fileName);
  if (i >= 0) {
    RecentFiles.move(i, 0);
    return;
  }
  while (RecentFiles.size() >= TSettings::MaxRecentFiles) RecentFiles.removeLast();
  RecentFiles.prepend(fileName);
}

QString TMainForm::RecentCaption(int index) const {
  return QString::number(index + 1) + QLatin1Char(' ') + TruncateText(QFileInfo(RecentFiles.at(index)).fileName(), 30);
}

void TMainForm::MenuFichierClick() {
  MenuFichierSep->setVisible(!RecentFiles.isEmpty());
  for (int tag = 0; tag < TSettings::MaxRecentFiles; ++tag) {
    const bool shown = tag < RecentFiles.size();
    MenuFichierN[tag]->setVisible(shown);
    // "&" in a file name is shown, not taken as the item's access key.
    if (shown) MenuFichierN[tag]->setText(RecentCaption(tag).replace(QLatin1Char('&'), QStringLiteral("&&")));
  }
}
