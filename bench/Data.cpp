#include "Data.h"

#include "Harness.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace Data {

namespace {

// A small fast generator: the texts need variety, not quality.
struct Noise
{
    quint64 state;
    quint32 next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return quint32(state >> 16);
    }
    quint32 below(quint32 n) { return quint32((quint64(next()) * n) >> 32); }
};

// Lines of CP1251 lowercase Cyrillic words (0xE0-0xFF), one capital first.
void appendLine(QByteArray &out, Noise &noise, int length)
{
    const qsizetype start = out.size();
    out.append(char(0xC0 + noise.below(32)));
    while (out.size() - start < length) {
        if (noise.below(7) == 0)
            out.append(' ');
        else
            out.append(char(0xE0 + noise.below(32)));
    }
    out.append("\r\n", 2);
}

void writeLines(const QString &path, qint64 bytes, quint32 seed, const QByteArray &prefixEvery)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        Bench::fail(u"cannot write "_s + path);
    Noise noise{0x9E3779B97F4A7C15ull ^ seed};
    QByteArray chunk;
    qint64 written = 0;
    while (written < bytes) {
        chunk.clear();
        while (chunk.size() < (1 << 20) && written + chunk.size() < bytes) {
            if (!prefixEvery.isEmpty()) {
                chunk.append(char(0xC0 + noise.below(32)));
                for (quint32 i = 0, n = 2 + noise.below(8); i < n; ++i)
                    chunk.append(char(0xE0 + noise.below(32)));
                chunk.append(prefixEvery);
            }
            appendLine(chunk, noise, int(18 + noise.below(161)));
        }
        if (f.write(chunk) != chunk.size())
            Bench::fail(u"cannot write "_s + path);
        written += chunk.size();
    }
}

void copyFolder(const QString &from, const QString &to, int count, const QString &pattern)
{
    QDir().mkpath(to);
    const QStringList sources = QDir(from).entryList(QDir::Files, QDir::Name);
    if (sources.isEmpty())
        Bench::fail(u"no files in "_s + from);
    for (int i = 0; i < count; ++i) {
        const QString source = pattern.isEmpty() ? sources.at(i % sources.size())
                                                 : pattern.arg(i % sources.size());
        const QString target = pattern.isEmpty() ? sources.at(i % sources.size()) : u"%1.ico"_s.arg(i);
        if (!QFile::copy(from + u'/' + source, to + u'/' + target))
            Bench::fail(u"cannot copy "_s + source);
    }
}

} // namespace

QString root()
{
    static QTemporaryDir dir(QDir::tempPath() + u"/vedalka-bench-XXXXXX"_s);
    if (!dir.isValid())
        Bench::fail(u"cannot make a temporary folder"_s);
    return dir.path();
}

void writePhrases(const QString &path, qint64 bytes, quint32 seed)
{
    writeLines(path, bytes, seed, {});
}

void writeLog(const QString &path, qint64 bytes, quint32 seed)
{
    writeLines(path, bytes, seed, " - ");
}

QString makeFolder(const QString &name, const Folder &content)
{
    const QString dir = root() + u'/' + name;
    if (QFileInfo::exists(dir) || !QDir().mkpath(dir))
        Bench::fail(u"cannot make "_s + dir);
    writePhrases(dir + u"/baza.leh"_s, content.baseBytes, 1);
    if (content.logBytes > 0)
        writeLog(dir + u"/vedalka.log"_s, content.logBytes, 2);
    const QString demo = QStringLiteral(VEDALKA_DEMO_DIR);
    if (content.icons > 0)
        copyFolder(demo + u"/картинки"_s, dir + u"/картинки"_s, content.icons, u"%1.ico"_s);
    if (content.laughter)
        copyFolder(demo + u"/Звуки"_s, dir + u"/Звуки"_s, 12, {});
    return dir;
}

void makeEmptyIcons(const QString &folder, int count)
{
    const QString pictures = folder + u"/картинки"_s;
    QDir().mkpath(pictures);
    for (int i = 0; i < count; ++i) {
        QFile f(pictures + u"/%1.ico"_s.arg(i));
        if (!f.open(QIODevice::WriteOnly))
            Bench::fail(u"cannot write "_s + f.fileName());
    }
}

qint64 largestFile(const QString &folder)
{
    qint64 largest = 0;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        largest = qMax(largest, it.nextFileInfo().size());
    return largest;
}

} // namespace Data
