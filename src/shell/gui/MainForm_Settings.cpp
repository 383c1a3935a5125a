// The settings file, read once at start-up and written once as the window
// goes, and the recent files of the "File" menu.
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QtGlobal>

#include "app/IniFile.h"
#include "app/PathAndTextHelpers.h"
#include "app/Settings.h"
#include "shell/gui/MainForm.h"

void TMainForm::LoadSettings() {
  const IniFile ini(IniFileName);
  const TSettings settings = TSettings::Load(ini);
  Mosaic.OptionsChosen(TMosaicOptions::LoadSettings(ini));
  ShowMosaicOptions();
  if (!settings.OpenFolder.isEmpty()) OpenFolder = settings.OpenFolder;
  if (!settings.SaveFolder.isEmpty()) SaveFolder = settings.SaveFolder;
  if (settings.Maximized) setWindowState(windowState() | Qt::WindowMaximized);
  PictureFiles.PreviewEnabled = settings.PreviewEnabled;
  if (settings.Inches) MenuUnitCmClick(MenuUnitPouces);
  RecentFiles = settings.RecentFiles;
}

void TMainForm::SaveSettings() {
  TSettings settings;
  settings.OpenFolder = OpenFolder;
  settings.SaveFolder = SaveFolder;
  settings.Maximized = m_maximizedAtClose.value_or(isMaximized());
  settings.PreviewEnabled = PictureFiles.PreviewEnabled;
  settings.Inches = MenuUnitPouces->isChecked();
  settings.RecentFiles = RecentFiles;
  IniFile ini(IniFileName);
  // The mosaic's keys among the window's, where they have always been.
  settings.Save(ini, [this](IniFile& file, TSettingsPlace place) { Mosaic.Options.SaveSettings(file, place); });
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
