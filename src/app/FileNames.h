#pragma once
// File names as the system stores them: any bytes but '/' and NUL. Qt reads
// and writes names as UTF-8 and turns a byte that is not UTF-8 (a Latin-1
// 'é', 0xE9) into U+FFFD, so such a name could be neither opened nor written
// back. These two functions carry every name exactly: valid UTF-8 decodes as
// usual, and each byte of an invalid sequence becomes the lone surrogate
// U+DC80..U+DCFF, which no decoded UTF-8 text contains, and is encoded back
// to that byte. EncodeFileName(DecodeFileName(b)) == b for any b.
//
// Every name given to the system (open, stat, rename, a folder listing) goes
// through EncodeFileName, never through QFile::encodeName or a Qt file class.
#include <QByteArray>
#include <QString>

QString DecodeFileName(const QByteArray& bytes);
QByteArray EncodeFileName(const QString& name);
