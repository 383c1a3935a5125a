// The atomic save: what it keeps of the file it replaces.
#include "imagefiles/FileBytes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "TestFiles.h"

namespace {

const TByteBuffer OldBytes = {1, 2, 3}, NewBytes = {4, 5, 6, 7, 8};

mode_t ModeOf(const QString& path) {
  struct stat st {};
  return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// The replaced file keeps its permissions, whatever a new file would get.
TEST(WriteFileAtomically, KeepsTheReplacedFilesPermissions) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const mode_t umaskBefore = ::umask(022);
  for (const mode_t mode : {mode_t(0640), mode_t(0600), mode_t(0604)}) {
    SCOPED_TRACE(testing::Message() << std::oct << mode);
    const QString path = dir.filePath(QStringLiteral("p%1.bin").arg(mode, 0, 8));
    ASSERT_TRUE(testing_files::WriteFileBytes(path, OldBytes));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
    WriteFileAtomically(path, NewBytes);
    EXPECT_EQ(ModeOf(path), mode);
    EXPECT_EQ(testing_files::ReadFileBytes(path), NewBytes);
  }
  ::umask(umaskBefore);
}

// A symbolic link is written through: the link stays, its target (here in
// another folder, named relative to the link) gets the bytes.
TEST(WriteFileAtomically, FollowsASymbolicLink) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  ASSERT_TRUE(QDir(dir.path()).mkdir("real") && QDir(dir.path()).mkdir("links"));
  const QString target = dir.filePath("real/photo.bin"), link = dir.filePath("links/photo.bin");
  ASSERT_TRUE(testing_files::WriteFileBytes(target, OldBytes));
  ASSERT_EQ(::symlink("../real/photo.bin", QFile::encodeName(link).constData()), 0);
  WriteFileAtomically(link, NewBytes);
  struct stat st {};
  ASSERT_EQ(::lstat(QFile::encodeName(link).constData(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(QFile::symLinkTarget(link), target);
  EXPECT_EQ(testing_files::ReadFileBytes(target), NewBytes);
  // Nothing else left in either folder.
  EXPECT_EQ(QDir(dir.filePath("real")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"photo.bin"});
  EXPECT_EQ(QDir(dir.filePath("links")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"photo.bin"});
}

// What stands in the way of a folder to write in, found without making
// anything: the folder or the nearest parent that is there must be a folder
// (the permission cases run as an unprivileged user in the tool's tests).
TEST(FolderTargetProblem, NearestFolderThereMustBeAFolder) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  ASSERT_TRUE(QDir(dir.path()).mkdir("there"));
  ASSERT_TRUE(testing_files::WriteFileBytes(dir.filePath("file.bin"), OldBytes));
  const struct {
    QString folder;
    std::string problem;
  } cases[] = {
      {dir.filePath("there"), ""},
      {dir.filePath("there/"), ""},
      {dir.filePath("missing/on/the/way"), ""},
      {dir.filePath("file.bin"), "not a folder"},
      {dir.filePath("file.bin/page"), "not a folder"},
      {"", "no such folder"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder.toStdString());
    EXPECT_EQ(FolderTargetProblem(c.folder), c.problem);
  }
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            (QStringList{"file.bin", "there"}));
  EXPECT_TRUE(QDir(dir.filePath("there")).isEmpty());
}

}  // namespace
