#include "core/SaveNote.h"

#include "core/Failure.h"
#include "core/Files.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The last line of every note: "vedalka-note 1 <length of the trailer>".
const QByteArray Magic = "vedalka-note 1 ";
constexpr qint64 TrailerLimit = 64 * 1024;
constexpr qsizetype CopyChunk = 256 * 1024;

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path).toPercentEncoding("/");
}

// Device and inode, and where the file system keeps them, the birth time and the inode's
// generation: a new file that is given a removed file's inode differs in those.
QByteArray identity(int fd)
{
    struct statx sx;
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_INO | STATX_BTIME, &sx) != 0)
        return "?";
    QByteArray id = QByteArray::number(quint64(makedev(sx.stx_dev_major, sx.stx_dev_minor))) + ' '
                    + QByteArray::number(quint64(sx.stx_ino));
    if (sx.stx_mask & STATX_BTIME)
        id += ' ' + QByteArray::number(qint64(sx.stx_btime.tv_sec)) + '.' + QByteArray::number(sx.stx_btime.tv_nsec);
    long generation = 0;
    if (::ioctl(fd, FS_IOC_GETVERSION, &generation) == 0)
        id += " g" + QByteArray::number(qint64(generation));
    return id;
}

QByteArray besidePath(const QString &target)
{
    const QFileInfo info(target);
    return QFile::encodeName(info.absolutePath() + u"/."_s + info.fileName() + u".note"_s);
}

QByteArray statePath(const struct stat &st)
{
    const QString folder = Files::stateFolder();
    if (folder.isEmpty())
        return {};
    return QFile::encodeName(folder + u"/note-%1-%2"_s.arg(quint64(st.st_dev)).arg(quint64(st.st_ino)));
}

QByteArray folderOf(const QByteArray &path)
{
    return path.left(qMax(qsizetype(1), path.lastIndexOf('/')));
}

// Makes the folder and its missing parents, private to the user as state folders are.
int makeFolder(const QByteArray &folder)
{
    QByteArray path;
    for (const QByteArray &part : folder.split('/')) {
        if (part.isEmpty())
            continue;
        path += '/' + part;
        if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
            return errno;
    }
    return 0;
}

void syncFolder(const QByteArray &folder)
{
    const UniqueFd dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir)
        ::fsync(dir.get());
}

// An unnamed file in the folder, so that no half-written note is ever seen. Where the file
// system has no unnamed files, a temporary name stands in, in `temporary`.
UniqueFd makeUnnamed(const QByteArray &folder, QByteArray &temporary)
{
    UniqueFd fd(::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (!fd && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        temporary = folder + "/.vedalka-note-XXXXXX";
        fd.reset(::mkostemp(temporary.data(), O_CLOEXEC));
        if (!fd)
            temporary.clear();
    }
    return fd;
}

// Gives the synced file its name; fails rather than replace whatever has that name already.
int linkIn(int fd, QByteArray &temporary, const QByteArray &path)
{
    int result;
    if (!temporary.isEmpty()) {
        result = ::link(temporary.constData(), path.constData());
        const int err = errno;
        ::unlink(temporary.constData());
        temporary.clear();
        errno = err;
    } else {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        result = ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, path.constData(), AT_SYMLINK_FOLLOW);
        if (result != 0 && errno == ENOENT)
            result = ::linkat(fd, "", AT_FDCWD, path.constData(), AT_EMPTY_PATH);
    }
    if (result != 0)
        return errno;
    syncFolder(folderOf(path));
    return 0;
}

QByteArray trailer(const QByteArray &file, const QByteArray &id, const QByteArray &at, const QStringList &takes)
{
    QByteArray lines = "file " + file + "\nid " + id + "\nat " + at + '\n';
    for (const QString &name : takes)
        lines += "takes " + encoded(name) + '\n';
    qint64 length = lines.size() + Magic.size() + 2;
    while (lines.size() + Magic.size() + QByteArray::number(length).size() + 1 != length)
        ++length;
    return lines + Magic + QByteArray::number(length) + '\n';
}

bool readAt(int fd, char *p, qint64 n, qint64 at)
{
    while (n > 0) {
        const ssize_t got = ::pread(fd, p, size_t(n), off_t(at));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        p += got;
        n -= got;
        at += got;
    }
    return true;
}

// Copies the note's bytes [from, to) into the file at `at`.
bool copyBody(int note, qint64 from, qint64 to, int file, qint64 at)
{
    QByteArray chunk(CopyChunk, Qt::Uninitialized);
    if (::lseek(file, off_t(at), SEEK_SET) < 0)
        return false;
    while (from < to) {
        const qint64 step = qMin(qint64(CopyChunk), to - from);
        if (!readAt(note, chunk.data(), step, from) || !Files::writeAll(file, chunk.constData(), step))
            return false;
        from += step;
    }
    return true;
}

struct Trailer
{
    QByteArray file;
    QByteArray id;
    qint64 at = -1; // -1: kept answers, added at the end of the next save
    QList<QByteArray> takes;
    qint64 bodySize = 0;
};

// The note's trailer, or nothing when the file is no note of ours.
std::optional<Trailer> readTrailer(int fd, qint64 size)
{
    const qint64 tailSize = qMin(size, TrailerLimit);
    QByteArray tail(tailSize, Qt::Uninitialized);
    if (tailSize < Magic.size() + 2 || !readAt(fd, tail.data(), tailSize, size - tailSize) || !tail.endsWith('\n'))
        return {};
    const qsizetype last = tail.lastIndexOf('\n', tail.size() - 2) + 1;
    if (!QByteArrayView(tail).sliced(last).startsWith(Magic))
        return {};
    bool ok = false;
    const qint64 length = tail.mid(last + Magic.size()).trimmed().toLongLong(&ok);
    if (!ok || length < tail.size() - last || length > tailSize)
        return {};
    Trailer t;
    t.bodySize = size - length;
    QList<QByteArray> lines = tail.right(length).split('\n');
    lines.removeLast(); // after the last break
    lines.removeLast(); // the magic line
    bool hasAt = false;
    for (const QByteArray &line : std::as_const(lines)) {
        const qsizetype space = line.indexOf(' ');
        const QByteArray key = line.left(space);
        const QByteArray value = space < 0 ? QByteArray() : line.mid(space + 1);
        if (key == "file") {
            t.file = value;
        } else if (key == "id") {
            t.id = value;
        } else if (key == "at") {
            hasAt = true;
            t.at = value == "end" ? -1 : value.toLongLong(&ok);
            if (!ok || t.at < -1)
                return {};
        } else if (key == "takes") {
            t.takes.append(QByteArray::fromPercentEncoding(value));
        } else {
            return {};
        }
    }
    if (t.file.isEmpty() || t.id.isEmpty() || !hasAt)
        return {};
    return t;
}

void say(const QByteArray &note, const QString &what)
{
    std::fprintf(stderr, "vedalka: %s %s\n", note.constData(), what.toLocal8Bit().constData());
}

// The same once per run: a note that is not ours would say it at every press.
void sayOnce(const QByteArray &note, const QString &what)
{
    static QSet<QByteArray> said;
    if (!said.contains(note))
        say(note, what);
    said.insert(note);
}

// A note that does not fit the file any more: renamed, never applied, never deleted.
void setAside(const QByteArray &note, const QString &file, const QString &why)
{
    const QString target = Files::fullPath(file);
    const QByteArray kept = note + ".kept-" + QDateTime::currentDateTimeUtc().toString(u"yyyyMMddTHHmmss"_s).toLatin1();
    QByteArray name = kept;
    for (int i = 2; ::renameat2(AT_FDCWD, note.constData(), AT_FDCWD, name.constData(), RENAME_NOREPLACE) != 0; ++i) {
        if (errno != EEXIST || i > 99) {
            sayOnce(note, u"was not applied: %1 %2; it could not be set aside (%3)"_s.arg(target, why, Files::reason(errno)));
            return;
        }
        name = kept + '-' + QByteArray::number(i);
    }
    say(note, u"was not applied: %1 %2; it is kept as %3"_s.arg(target, why, QFile::decodeName(name)));
}

void removeTaken(const QList<QByteArray> &takes)
{
    for (const QByteArray &name : takes) {
        struct stat st;
        if (::lstat(name.constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
            ::unlink(name.constData());
    }
}

// Completes the save a note stands for, or sets the note aside, or leaves what is not ours.
void apply(const QByteArray &notePath, bool inState, const QString &target, const struct stat &targetSt)
{
    struct stat st;
    if (::lstat(notePath.constData(), &st) != 0)
        return;
    const UniqueFd note(::open(notePath.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    QString why;
    std::optional<Trailer> t;
    if (S_ISLNK(st.st_mode))
        why = u"is a link"_s;
    else if (!note)
        why = u"cannot be opened (%1)"_s.arg(Files::reason(errno));
    else if (::fstat(note.get(), &st) != 0 || !S_ISREG(st.st_mode))
        why = u"is not a regular file"_s;
    else if (st.st_uid != ::geteuid() && st.st_uid != targetSt.st_uid)
        why = u"belongs to another user"_s;
    else if (!(t = readTrailer(note.get(), st.st_size)) || t->at < 0)
        why = u"is not a note of this program's"_s;
    if (!why.isEmpty()) {
        sayOnce(notePath, why + u"; it is left as it is"_s);
        return;
    }
    const QByteArray path = QFile::encodeName(target);
    const UniqueFd file(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat now;
    if (!file || ::fstat(file.get(), &now) != 0)
        return;
    if (t->id != identity(file.get()) || (inState && t->file != encoded(target))) {
        setAside(notePath, target, u"is not the file it was written for"_s);
        return;
    }
    // What stands from the offset on: the note's bytes whole, a prefix of them, or other bytes.
    const qint64 have = qMin(qint64(now.st_size) - t->at, t->bodySize);
    QByteArray mine(CopyChunk, Qt::Uninitialized), theirs(CopyChunk, Qt::Uninitialized);
    bool same = have >= 0;
    for (qint64 done = 0; same && done < have; done += CopyChunk) {
        const qint64 step = qMin(qint64(CopyChunk), have - done);
        same = readAt(file.get(), theirs.data(), step, t->at + done) && readAt(note.get(), mine.data(), step, done)
               && std::memcmp(mine.constData(), theirs.constData(), size_t(step)) == 0;
    }
    if (!same) {
        setAside(notePath, target, u"no longer holds what the save cut short left there"_s);
        return;
    }
    if (have < t->bodySize) {
        const UniqueFd out(::open(path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        if (!out || !copyBody(note.get(), have, t->bodySize, out.get(), now.st_size) || ::fdatasync(out.get()) != 0) {
            sayOnce(notePath, u"could not complete %1 now (%2); it is tried again later"_s.arg(Files::fullPath(target),
                                                                                                 Files::reason(errno)));
            return;
        }
    }
    removeTaken(t->takes);
    ::unlink(notePath.constData());
}

QList<QByteArray> notesOf(const QString &target, const struct stat &st)
{
    return {besidePath(target), statePath(st)};
}

// The canonical path of the log, the one kept answers name: the same for every way to it.
QString logKey(const QString &logFile)
{
    const QFileInfo info(logFile);
    QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (folder.isEmpty())
        folder = info.absolutePath();
    return QDir::cleanPath(folder + u'/' + info.fileName());
}

QString answersPrefix(const QString &log)
{
    const QByteArray hash = QCryptographicHash::hash(QFile::encodeName(log), QCryptographicHash::Sha256);
    return u"answers-"_s + QString::fromLatin1(hash.toHex().left(16)) + u'-';
}

QString uniqueSuffix()
{
    static int count = 0;
    return u"%1-%2-%3"_s.arg(::getpid()).arg(QDateTime::currentMSecsSinceEpoch()).arg(++count);
}

} // namespace

SaveNote::SaveNote(const QString &fileName, const QString &target, int fd, qint64 offset)
    : m_fileName(fileName)
    , m_fd(fd)
    , m_offset(offset)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        Files::failCreate(fileName, errno);
    m_expectedSize = st.st_size;
    m_expectedTime = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    m_file = encoded(target);
    m_id = identity(fd);
    // Beside the file where its folder takes new names, else in the state folder; never at a
    // name something else already has.
    int err = ENOENT;
    const QList<QByteArray> places = notesOf(target, st);
    for (qsizetype i = 0; i < places.size(); ++i) {
        const QByteArray &path = places[i];
        const QByteArray folder = folderOf(path);
        struct stat there;
        if (path.isEmpty() || ::lstat(path.constData(), &there) == 0) {
            err = path.isEmpty() ? err : EEXIST;
            continue;
        }
        if (i == 1 && (err = makeFolder(folder)) != 0)
            continue;
        m_note = makeUnnamed(folder, m_temporary);
        if (!m_note) {
            err = errno;
            continue;
        }
        m_path = path;
        // The file's owner can complete the save when another user (root) made the note.
        if (::geteuid() == 0 && st.st_uid != 0 && ::fchown(m_note.get(), st.st_uid, st.st_gid) != 0) {
            // Then only its maker can complete it.
        }
        return;
    }
    Files::failCreate(fileName, err);
}

SaveNote::~SaveNote()
{
    if (!m_temporary.isEmpty())
        ::unlink(m_temporary.constData());
}

void SaveNote::append(const char *data, qsizetype n)
{
    if (n > 0 && !Files::writeAll(m_note.get(), data, n))
        Files::failWrite();
    m_written += qMax(qsizetype(0), n);
}

void SaveNote::link()
{
    const QByteArray end = trailer(m_file, m_id, QByteArray::number(m_offset), m_takes);
    if (!Files::writeAll(m_note.get(), end.constData(), end.size()) || ::fsync(m_note.get()) != 0)
        Files::failWrite();
    if (const int err = linkIn(m_note.get(), m_temporary, m_path))
        Files::failCreate(m_fileName, err);
}

void SaveNote::commit()
{
    link();
    const int fd = m_fd;
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_size != m_expectedSize
        || qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec != m_expectedTime) {
        // Changed by someone else since it was read: not ours to cut or add to now.
        ::unlink(m_path.constData());
        Files::failCreate(m_fileName, EAGAIN);
    }
    if (m_offset < st.st_size && ::ftruncate(fd, m_offset) != 0) {
        const int err = errno;
        ::unlink(m_path.constData());
        Files::failCreate(m_fileName, err);
    }
    const UniqueFd note(::open(m_path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!note || !copyBody(note.get(), 0, m_written, fd, m_offset) || ::fdatasync(fd) != 0) {
        // An append takes back its own bytes; a rewrite has no old bytes to go back to, and its
        // note completes it once the file takes them.
        if (m_offset == m_expectedSize && ::fstat(fd, &st) == 0 && st.st_size <= m_offset + m_written
            && ::ftruncate(fd, m_offset) == 0 && ::fdatasync(fd) == 0)
            ::unlink(m_path.constData());
        Files::failWrite();
    }
    for (const QString &name : std::as_const(m_takes))
        ::unlink(QFile::encodeName(name).constData());
    ::unlink(m_path.constData());
}

void SaveNote::recoverLocked(const QString &fileName)
{
    const QString target = Files::writeTarget(fileName);
    struct stat st;
    if (::stat(QFile::encodeName(target).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    const QList<QByteArray> notes = notesOf(target, st);
    for (qsizetype i = 0; i < notes.size(); ++i) {
        if (!notes[i].isEmpty())
            apply(notes[i], i == 1, target, st);
    }
}

void SaveNote::recover(const QString &fileName)
{
    const QString target = Files::writeTarget(fileName);
    const QByteArray path = QFile::encodeName(target);
    struct stat st;
    if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    bool any = false;
    for (const QByteArray &note : notesOf(target, st)) {
        struct stat there;
        any = any || (!note.isEmpty() && ::lstat(note.constData(), &there) == 0);
    }
    if (!any)
        return;
    const UniqueFd fd(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0)
        recoverLocked(fileName);
}

QString SaveNote::keepAnswers(const QString &logFile, const QList<QByteArray> &text)
{
    const QString folder = Files::stateFolder();
    const QString log = logKey(logFile);
    if (folder.isEmpty())
        throw Failure(u"No folder for the kept answers: neither XDG_STATE_HOME nor HOME is set"_s);
    const QString name = folder + u'/' + answersPrefix(log) + uniqueSuffix() + u".note"_s;
    const QByteArray dir = QFile::encodeName(folder);
    QByteArray temporary;
    UniqueFd fd;
    if (const int err = makeFolder(dir); err != 0 || !(fd = makeUnnamed(dir, temporary)))
        Files::failCreate(name, err != 0 ? err : errno);
    for (const QByteArray &piece : text) {
        if (!Files::writeAll(fd.get(), piece.constData(), piece.size()))
            Files::failWrite();
    }
    const QByteArray end = trailer(encoded(log), "-", "end", {});
    if (!Files::writeAll(fd.get(), end.constData(), end.size()) || ::fsync(fd.get()) != 0)
        Files::failWrite();
    if (const int err = linkIn(fd.get(), temporary, QFile::encodeName(name)))
        Files::failCreate(name, err);
    return name;
}

QList<SaveNote::Claimed> SaveNote::claimAnswers(const QString &logFile)
{
    const QString folder = Files::stateFolder();
    if (folder.isEmpty())
        return {};
    const QString log = logKey(logFile);
    const QString prefix = answersPrefix(log);
    QList<Claimed> claimed;
    const QStringList names = QDir(folder).entryList({prefix + u'*'}, QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                                                     QDir::Time | QDir::Reversed);
    for (const QString &name : names) {
        if (!name.endsWith(u".note"_s) && !name.endsWith(u".claimed"_s))
            continue;
        const QByteArray path = QFile::encodeName(folder + u'/' + name);
        const UniqueFd fd(::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st;
        std::optional<Trailer> t;
        if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()
            || !(t = readTrailer(fd.get(), st.st_size)) || t->at != -1 || t->file != encoded(log))
            continue;
        const QString mine = folder + u'/' + prefix + uniqueSuffix() + u".claimed"_s;
        if (::rename(path.constData(), QFile::encodeName(mine).constData()) != 0) {
            sayOnce(path, u"cannot be claimed (%1): its answers stay there"_s.arg(Files::reason(errno)));
            continue;
        }
        QByteArray bytes(t->bodySize, Qt::Uninitialized);
        if (!readAt(fd.get(), bytes.data(), bytes.size(), 0))
            continue; // claimed but unread: the next save takes it
        claimed.append({mine, bytes});
    }
    return claimed;
}
