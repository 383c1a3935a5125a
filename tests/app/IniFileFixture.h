#pragma once
// A settings file in a temporary folder, read and written as raw bytes.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

class IniFileFixture : public ::testing::Test {
 protected:
  QString Path() const { return m_tmp.filePath(QStringLiteral("Tesselune.ini")); }
  void WriteRaw(const QByteArray& bytes) const {
    QFile f(Path());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }
  QByteArray ReadRaw() const {
    QFile f(Path());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  QTemporaryDir m_tmp;
};
