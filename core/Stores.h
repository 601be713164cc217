// The names of the data files and folders, relative to the working directory, and the paths
// built from numbers.
#pragma once

#include <QByteArray>
#include <QString>

namespace Stores {

QString phraseBase(); // "baza.leh"
QString pictureIndex(); // "picture.dat"
QString resultLog(); // "vedalka.log"
QString iconPath(qint64 n); // "картинки/<n>.ico"
QString laughterPath(qint64 n); // "Звуки/смех<n>.wav"

// The header line of the picture index, in the program's code page.
QByteArray pictureIndexHeader();

// The icons in use are the unbroken run 0.ico, 1.ico, ... of the picture folder. Returns the
// number of icons in the run, so the last icon number is this minus 1.
qint64 countIconRun();

} // namespace Stores
