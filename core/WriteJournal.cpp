#include "core/WriteJournal.h"

#include "core/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QByteArray Magic = "vedalka-journal ";
const QByteArray Trailer = "end\n";

QByteArray besidePath(const QString &target)
{
    const QFileInfo info(target);
    return QFile::encodeName(info.absolutePath() + u"/."_s + info.fileName() + u".journal"_s);
}

QByteArray statePath(const struct stat &st)
{
    const QString folder = Files::stateFolder();
    if (folder.isEmpty())
        return {};
    return QFile::encodeName(folder + u"/journal-%1-%2"_s.arg(quint64(st.st_dev)).arg(quint64(st.st_ino)));
}


void syncFolderOf(const QByteArray &path)
{
    const UniqueFd dir(::open(QFile::encodeName(QFileInfo(QFile::decodeName(path)).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir)
        ::fsync(dir.get());
}

bool writeNote(const QByteArray &path, const QByteArray &header, const QByteArray &body)
{
    UniqueFd file(::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    const int fd = file.get();
    if (fd < 0)
        return false;
    const bool ok = Files::writeAll(fd, header.constData(), header.size())
                    && Files::writeAll(fd, body.constData(), body.size())
                    && Files::writeAll(fd, Trailer.constData(), Trailer.size()) && ::fsync(fd) == 0;
    file.reset();
    if (!ok) {
        ::unlink(path.constData());
        return false;
    }
    // The note's name must be on disk before the file it guards changes.
    syncFolderOf(path);
    return true;
}

QByteArray readNote(const QByteArray &path)
{
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// Puts the file back as the note says; a note cut short or meant for another file changes
// nothing. False only when the file could not be put back: the note must stay for a next try.
bool apply(const QByteArray &note, const QString &target, const struct stat &st)
{
    // "vedalka-journal append|rewrite <dev> <ino> <old size> <new size>\n" <old bytes> "end\n"
    const qsizetype eol = note.indexOf('\n');
    if (!note.startsWith(Magic) || eol < 0 || !note.endsWith(Trailer))
        return true; // cut short before the file was touched
    const QList<QByteArray> fields = note.mid(Magic.size(), eol - Magic.size()).split(' ');
    if (fields.size() != 5)
        return true;
    const QByteArray kind = fields[0];
    const quint64 dev = fields[1].toULongLong();
    const quint64 ino = fields[2].toULongLong();
    const qint64 oldSize = fields[3].toLongLong();
    const qint64 newSize = fields[4].toLongLong();
    if (dev != quint64(st.st_dev) || ino != quint64(st.st_ino))
        return true; // another file has taken the name since
    const QByteArray path = QFile::encodeName(target);
    const bool torn = kind == "append" ? st.st_size > oldSize && st.st_size < newSize : kind == "rewrite";
    if (!torn || (kind == "rewrite" && note.size() != eol + 1 + oldSize + Trailer.size()))
        return true; // whole, untouched, or grown on since by others: nothing to undo
    const UniqueFd file(::open(path.constData(), O_WRONLY | O_CLOEXEC));
    const int fd = file.get();
    if (fd < 0)
        return false;
    bool done = ::ftruncate(fd, off_t(kind == "append" ? oldSize : 0)) == 0;
    if (done && kind == "rewrite")
        done = Files::writeAll(fd, note.constData() + eol + 1, oldSize);
    return done && ::fdatasync(fd) == 0;
}

} // namespace

WriteJournal WriteJournal::write(const QString &target, int fd, const QByteArray &kind, qint64 oldSize,
                                 qint64 newSize, const QByteArray &body)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return WriteJournal(QByteArray());
    const QByteArray header = Magic + kind + ' ' + QByteArray::number(quint64(st.st_dev)) + ' '
                              + QByteArray::number(quint64(st.st_ino)) + ' ' + QByteArray::number(oldSize) + ' '
                              + QByteArray::number(newSize) + '\n';
    // Beside the file when its folder takes new names, else in the state folder.
    const QByteArray beside = besidePath(target);
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
    if (::access(folder.constData(), W_OK | X_OK) == 0 && writeNote(beside, header, body))
        return WriteJournal(beside);
    const QByteArray inState = statePath(st);
    if (!inState.isEmpty() && QDir().mkpath(Files::stateFolder()) && writeNote(inState, header, body))
        return WriteJournal(inState);
    return WriteJournal(QByteArray());
}

WriteJournal WriteJournal::forAppend(const QString &target, int fd, qint64 oldSize, qint64 newSize)
{
    return write(target, fd, "append", oldSize, newSize, QByteArray());
}

WriteJournal WriteJournal::forRewrite(const QString &target, int fd, const QByteArray &old)
{
    return write(target, fd, "rewrite", old.size(), -1, old);
}

void WriteJournal::finish()
{
    if (!m_path.isEmpty())
        ::unlink(m_path.constData());
    m_path.clear();
}

void WriteJournal::recoverLocked(const QString &fileName)
{
    const QString target = Files::writeTarget(fileName);
    struct stat st;
    if (::stat(QFile::encodeName(target).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    for (const QByteArray &path : {besidePath(target), statePath(st)}) {
        if (::access(path.constData(), F_OK) != 0)
            continue;
        if (apply(readNote(path), target, st))
            ::unlink(path.constData());
        ::stat(QFile::encodeName(target).constData(), &st);
    }
}

void WriteJournal::recover(const QString &fileName)
{
    const QString target = Files::writeTarget(fileName);
    const QByteArray path = QFile::encodeName(target);
    struct stat st;
    if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    if (::access(besidePath(target).constData(), F_OK) != 0 && ::access(statePath(st).constData(), F_OK) != 0)
        return;
    const UniqueFd fd(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0)
        recoverLocked(fileName);
}
