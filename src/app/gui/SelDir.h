#pragma once
// The folder chooser: the toolkit's own folder dialog (the same on every
// desktop), opened with a given folder selected, modal over the active window.
#include <QString>

// The chosen folder, or an empty text when the user cancelled.
QString SelectFolder(const QString& title, const QString& initialFolder);
