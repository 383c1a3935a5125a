#include "app/gui/SelDir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

TEST(SelDir, OpensOnTheInitialFolderAndReturnsTheChoice) {
  QTemporaryDir root;
  ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("pictures/inner")));
  const QString initial = QDir(root.path()).filePath(QStringLiteral("pictures"));

  QString shownDir, shownTitle, selected;
  bool native = true;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    shownDir = dialog->directory().absolutePath();
    selected = dialog->selectedFiles().value(0);
    shownTitle = dialog->windowTitle();
    native = !dialog->testOption(QFileDialog::DontUseNativeDialog);
    QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, Qt::Key_Return);
  });
  EXPECT_EQ(SelectFolder(QStringLiteral("Thumbnails folder :"), initial), initial);
  EXPECT_EQ(shownDir, root.path());
  EXPECT_EQ(selected, initial);
  EXPECT_EQ(shownTitle, "Thumbnails folder :");
  EXPECT_FALSE(native);

  QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
  EXPECT_EQ(SelectFolder(QStringLiteral("Thumbnails folder :"), initial), QString());
}

}  // namespace
