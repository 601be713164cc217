// The data folders the benchmark cases run in: phrase bases and logs of a given size in the
// program's own format (CP1251, CR LF), the demo set's icons and laughter, and icon folders of
// any length. Made once per run in a temporary folder.
#pragma once

#include <QString>

namespace Data {

// The folder all data of this run lives in; removed at exit.
QString root();

// Writes about `bytes` bytes of phrases: Cyrillic words in CP1251, lines of 20 to 180 bytes
// (about ten thousand lines per megabyte), every line ending in CR LF.
void writePhrases(const QString &path, qint64 bytes, quint32 seed);
// Writes about `bytes` bytes of log lines, "имя - фраза" each.
void writeLog(const QString &path, qint64 bytes, quint32 seed);

struct Folder
{
    qint64 baseBytes = 5000; // the phrase base
    qint64 logBytes = 0; // the result log (0: none yet)
    int icons = 14; // 0.ico ... , the demo icons over and over
    bool laughter = true; // the twelve demo laughs
};

// A fresh folder under root() with that content; `name` must be new.
QString makeFolder(const QString &name, const Folder &content);

// `count` empty files 0.ico ... in the folder's picture folder: enough for counting the run.
void makeEmptyIcons(const QString &folder, int count);

// The size of the largest file in the folder and below it.
qint64 largestFile(const QString &folder);

} // namespace Data
