// The names of the data files and folders, relative to the working directory, and the paths
// built from numbers.
#pragma once

#include <QByteArray>
#include <QString>

namespace Stores {

inline QString phraseBase() { return QStringLiteral("baza.leh"); }
inline QString pictureIndex() { return QStringLiteral("picture.dat"); }
inline QString resultLog() { return QStringLiteral("vedalka.log"); }
inline QString iconPath(qint64 n) { return QStringLiteral("картинки/%1.ico").arg(n); }
inline QString laughterPath(qint64 n) { return QStringLiteral("Звуки/смех%1.wav").arg(n); }

// The header line of the picture index, in the program's code page.
QByteArray pictureIndexHeader();

// The icons in use are the unbroken run 0.ico, 1.ico, ... of the picture folder. Returns the
// number of icons in the run, so the last icon number is this minus 1.
qint64 countIconRun();

} // namespace Stores
