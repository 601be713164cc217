#include "core/SaveNote.h"

#include "core/Failure.h"
#include "core/Files.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// A note is its body (the bytes to write) followed by a trailer of text lines:
//   file <the file's path, percent-encoded>
//   id <device> <inode> [<birth time>] [g<inode generation>]   ("-" for kept answers)
//   at <offset>                                                ("end" for kept answers)
//   takes <kept answers this note holds, percent-encoded>      (any number)
//   vedalka-note 1 <length of the trailer, 8 digits>
namespace {

const QByteArray Magic = "vedalka-note 1 ";
constexpr qint64 MagicLine = 15 + 8 + 1;
constexpr qint64 TrailerLimit = 64 * 1024;
// No note is larger: a few times the largest save a session makes, so that no start reads or
// copies more than that for a note (see DESIGN.md).
constexpr qint64 NoteLimit = qint64(1) << 30;

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path).toPercentEncoding("/");
}

// The one name a note gives its file: the full path with every link resolved.
QByteArray fileLine(const QString &target)
{
    return encoded(QFileInfo(target).canonicalFilePath());
}

// Device and inode, and where the file system keeps them, the birth time and the inode's
// generation: a new file given a removed file's inode differs in those.
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

// Where the notes of a file lie: beside it, and in the state folder.
QList<QByteArray> notesOf(const QString &target, const struct stat &st)
{
    const QFileInfo info(target);
    const QString state = Files::stateFolder();
    return {QFile::encodeName(info.absolutePath() + u"/."_s + info.fileName() + u".note"_s),
            state.isEmpty() ? QByteArray()
                            : QFile::encodeName(state + u"/note-%1-%2"_s.arg(quint64(st.st_dev)).arg(quint64(st.st_ino)))};
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
        path += part.isEmpty() ? QByteArray() : '/' + part;
        if (!part.isEmpty() && ::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
            return errno;
    }
    return 0;
}

bool readAt(int fd, char *p, qint64 n, qint64 at)
{
    for (ssize_t got = 0; n > 0; p += got, n -= got, at += got) {
        got = ::pread(fd, p, size_t(n), off_t(at));
        if (got < 0 && errno == EINTR)
            got = 0;
        else if (got <= 0)
            return false;
    }
    return true;
}

// Hands the note's bytes [from, to) on in pieces; false when a read or `take` fails.
bool readBody(int note, qint64 from, qint64 to, const std::function<bool(const char *, qint64)> &take)
{
    QByteArray chunk(Files::ChunkSize, Qt::Uninitialized);
    for (qint64 step; from < to; from += step) {
        step = qMin(Files::ChunkSize, to - from);
        if (!readAt(note, chunk.data(), step, from) || !take(chunk.constData(), step))
            return false;
    }
    return true;
}

// Writes the note's bytes [from, to) into the file at `at`.
bool copyBody(int note, qint64 from, qint64 to, int file, qint64 at)
{
    return ::lseek(file, off_t(at), SEEK_SET) >= 0
           && readBody(note, from, to, [file](const char *p, qint64 n) { return Files::writeAll(file, p, n); });
}

// One line on stderr; `once` for what would be said at every press (a note that is not ours).
void say(const QByteArray &note, const QString &what, bool once = false)
{
    static QSet<QByteArray> said;
    if (!once || !said.contains(note))
        std::fprintf(stderr, "vedalka: %s %s\n", note.constData(), what.toLocal8Bit().constData());
    said.insert(note);
}

} // namespace

// A note file: unnamed while it is written, so that no half-written note is ever seen, and
// linked in under its name once synced. Where the file system has no unnamed files, a
// temporary name stands in.
struct SaveNote::File
{
    UniqueFd fd;
    QByteArray temporary;
    QByteArray path;

    int create(const QByteArray &name)
    {
        const QByteArray folder = folderOf(name);
        fd.reset(::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
        if (!fd && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
            temporary = folder + "/.vedalka-note-XXXXXX";
            fd.reset(::mkostemp(temporary.data(), O_CLOEXEC));
            if (!fd)
                temporary.clear();
        }
        path = name;
        return fd ? 0 : errno;
    }

    ~File()
    {
        if (!temporary.isEmpty())
            ::unlink(temporary.constData());
    }

    // Adds the trailer, syncs and names the note; fails rather than replace whatever has that
    // name already.
    int publish(const QByteArray &file, const QByteArray &id, const QByteArray &at, const QStringList &takes)
    {
        QByteArray lines = "file " + file + "\nid " + id + "\nat " + at + '\n';
        for (const QString &name : takes)
            lines += "takes " + encoded(name) + '\n';
        lines += Magic + QByteArray::number(lines.size() + MagicLine).rightJustified(8, '0') + '\n';
        if (!Files::writeAll(fd.get(), lines.constData(), lines.size()) || ::fsync(fd.get()) != 0)
            return -1;
        const QByteArray from = temporary.isEmpty() ? "/proc/self/fd/" + QByteArray::number(fd.get()) : temporary;
        if (::linkat(AT_FDCWD, from.constData(), AT_FDCWD, path.constData(), AT_SYMLINK_FOLLOW) != 0)
            return errno;
        // The note's name must be on disk before the file it guards changes.
        Files::syncFolderOf(QFile::decodeName(path));
        return 0;
    }
};

namespace {

struct Trailer
{
    QByteArray file;
    QByteArray id;
    qint64 at = -1; // -1: kept answers, added at the end of the next save
    QList<QByteArray> takes;
    qint64 bodySize = 0;
};

// Opens a note without following a link or waiting on a pipe, and reads its trailer. Empty,
// with the reason in `why`, for anything that is not a readable note of ours: another user's
// is never applied, whoever owns the file it names.
std::optional<Trailer> openNote(const QByteArray &path, UniqueFd &fd, QString &why)
{
    struct stat st;
    fd.reset(::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        why = errno == ELOOP ? u"is a link"_s : u"cannot be opened (%1)"_s.arg(Files::reason(errno));
    else if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        why = u"is not a regular file"_s;
    else if (st.st_uid != ::geteuid())
        why = u"belongs to another user"_s;
    else if (st.st_size > NoteLimit)
        why = u"is larger than any note of this program's"_s;
    if (!why.isEmpty())
        return {};
    why = u"is not a note of this program's"_s;
    const qint64 tailSize = qMin(qint64(st.st_size), TrailerLimit);
    QByteArray tail(tailSize, Qt::Uninitialized);
    if (tailSize < MagicLine || !readAt(fd.get(), tail.data(), tailSize, st.st_size - tailSize)
        || !tail.endsWith('\n') || !tail.right(MagicLine).startsWith(Magic))
        return {};
    bool ok = false;
    const qint64 length = tail.right(9).left(8).toLongLong(&ok);
    if (!ok || length < MagicLine || length > tailSize)
        return {};
    QList<QByteArray> lines = tail.right(length).split('\n');
    lines.resize(lines.size() - 2); // the magic line, and the nothing after its break
    Trailer t;
    t.bodySize = st.st_size - length;
    if (lines.size() < 3 || !lines[0].startsWith("file ") || !lines[1].startsWith("id ") || !lines[2].startsWith("at "))
        return {};
    t.file = lines[0].mid(5);
    t.id = lines[1].mid(3);
    t.at = lines[2] == "at end" ? -1 : lines[2].mid(3).toLongLong(&ok);
    for (const QByteArray &line : lines.mid(3)) {
        if (!line.startsWith("takes "))
            return {};
        t.takes.append(QByteArray::fromPercentEncoding(line.mid(6)));
    }
    if (!ok || t.at < -1)
        return {};
    why.clear();
    return t;
}

// A note that does not fit the file any more: renamed, never applied, never deleted.
void setAside(const QByteArray &note, const QString &file, const QString &why)
{
    const QString target = Files::fullPath(file);
    const QByteArray kept = note + ".kept-" + QDateTime::currentDateTimeUtc().toString(u"yyyyMMddTHHmmss"_s).toLatin1();
    QByteArray name = kept;
    for (int i = 2; ::renameat2(AT_FDCWD, note.constData(), AT_FDCWD, name.constData(), RENAME_NOREPLACE) != 0; ++i) {
        if (errno != EEXIST || i > 99)
            return say(note, u"was not applied: %1 %2; it could not be set aside (%3)"_s.arg(target, why, Files::reason(errno)), true);
        name = kept + '-' + QByteArray::number(i);
    }
    say(note, u"was not applied: %1 %2; it is kept as %3"_s.arg(target, why, QFile::decodeName(name)));
}

// The log's path as kept answers name it: the same for every way to it.
QString logKey(const QString &logFile)
{
    const QFileInfo info(logFile);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return QDir::cleanPath((folder.isEmpty() ? info.absolutePath() : folder) + u'/' + info.fileName());
}

QString answersPrefix(const QString &log)
{
    const QByteArray hash = QCryptographicHash::hash(QFile::encodeName(log), QCryptographicHash::Sha256);
    return u"answers-"_s + QString::fromLatin1(hash.toHex().left(16)) + u'-';
}

// A note removes nothing but the kept answers its save claimed: names of the claim's form
// (`claimed`, the state folder and this log's prefix, then the claim's suffix) that stand for a
// regular file of ours, or for nothing any more.
bool takesOnlyClaimed(const Trailer &t, const QByteArray &claimed)
{
    static const QRegularExpression suffix(QRegularExpression::anchoredPattern(u"[0-9]+-[0-9]+-[0-9]+\\.claimed"_s));
    for (const QByteArray &name : t.takes) {
        if (claimed.isEmpty() || !name.startsWith(claimed) || !suffix.match(QLatin1StringView(name.mid(claimed.size()))).hasMatch())
            return false;
        struct stat st;
        if (::lstat(name.constData(), &st) != 0 ? errno != ENOENT : !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
            return false;
    }
    return true;
}

// Completes the save a note stands for, or sets the note aside, or leaves what is not ours;
// every note it neither completes nor sets aside is named on stderr.
void apply(const QByteArray &notePath, const QString &target, const QByteArray &claimed)
{
    struct stat st;
    if (notePath.isEmpty() || ::lstat(notePath.constData(), &st) != 0)
        return;
    UniqueFd note;
    QString why;
    const std::optional<Trailer> t = openNote(notePath, note, why);
    if (t && t->at >= 0 && !takesOnlyClaimed(*t, claimed))
        why = u"would remove a file that is not kept answers its save claimed"_s;
    else if (t && t->at < 0)
        why = u"is not a note of this program's"_s;
    if (!why.isEmpty())
        return say(notePath, why + u"; it is left as it is"_s, true);
    const auto later = [&] {
        say(notePath, u"could not complete %1 now (%2); it is tried again later"_s.arg(Files::fullPath(target), Files::reason(errno)), true);
    };
    const QByteArray path = QFile::encodeName(target);
    const UniqueFd file(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat now;
    if (!file || ::fstat(file.get(), &now) != 0)
        return later();
    if (t->id != identity(file.get()) || t->file != fileLine(target))
        return setAside(notePath, target, u"is not the file it was written for"_s);
    // What stands from the offset on: the note's bytes whole, a prefix of them, or other bytes.
    const qint64 have = qMin(qint64(now.st_size) - t->at, t->bodySize);
    QByteArray theirs(Files::ChunkSize, Qt::Uninitialized);
    qint64 at = t->at;
    const auto same = [&](const char *p, qint64 n) {
        return readAt(file.get(), theirs.data(), n, std::exchange(at, at + n)) && std::memcmp(p, theirs.constData(), size_t(n)) == 0;
    };
    if (have < 0 || !readBody(note.get(), 0, have, same))
        return setAside(notePath, target, u"no longer holds what the save cut short left there"_s);
    if (have < t->bodySize) {
        const UniqueFd out(::open(path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        if (!out || !copyBody(note.get(), have, t->bodySize, out.get(), now.st_size) || ::fdatasync(out.get()) != 0)
            return later();
    }
    for (const QByteArray &name : t->takes)
        ::unlink(name.constData());
    ::unlink(notePath.constData());
}

QString uniqueSuffix()
{
    static int count = 0;
    return u"%1-%2-%3"_s.arg(::getpid()).arg(QDateTime::currentMSecsSinceEpoch()).arg(++count);
}

} // namespace

SaveNote::SaveNote(const QString &fileName, const QString &target, int fd, qint64 offset)
    : m_note(std::make_unique<File>())
    , m_fileName(fileName)
    , m_file(fileLine(target))
    , m_id(identity(fd))
    , m_fd(fd)
    , m_offset(offset)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        Files::failCreate(fileName, errno);
    m_expectedSize = st.st_size;
    m_expectedTime = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    // Beside the file where its folder takes new names, else in the state folder; never at a
    // name something else already has.
    int err = ENOENT;
    const QList<QByteArray> places = notesOf(target, st);
    for (qsizetype i = 0; i < places.size(); ++i) {
        struct stat there;
        if (places[i].isEmpty() || ::lstat(places[i].constData(), &there) == 0) {
            err = places[i].isEmpty() ? err : EEXIST;
        } else if ((i == 0 || (err = makeFolder(folderOf(places[i]))) == 0) && (err = m_note->create(places[i])) == 0) {
            // The file's owner can complete the save when another user (root) made the note.
            if (::geteuid() == 0 && st.st_uid != 0 && ::fchown(m_note->fd.get(), st.st_uid, st.st_gid) != 0) {
                // Then only its maker can.
            }
            return;
        }
    }
    Files::failCreate(fileName, err);
}

SaveNote::~SaveNote() = default;

void SaveNote::takes(const QString &answersNote)
{
    // Only its maker can remove its maker's kept answers: such a note is not handed on. Should
    // taking it back fail, no one completes it: it stays as it is, named on stderr at every start.
    if (m_takes.isEmpty() && ::geteuid() == 0)
        [[maybe_unused]] const int taken = ::fchown(m_note->fd.get(), 0, ::getegid());
    m_takes.append(answersNote);
}

void SaveNote::write(const char *data, qsizetype n)
{
    // A note no recovery would read is never begun: the file stays as it is.
    if (m_written + n > NoteLimit - TrailerLimit || (n > 0 && !Files::writeAll(m_note->fd.get(), data, n)))
        Files::failWrite();
    m_written += qMax(qsizetype(0), n);
}

void SaveNote::commit()
{
    if (const int err = m_note->publish(m_file, m_id, QByteArray::number(m_offset), m_takes))
        err < 0 ? Files::failWrite() : Files::failCreate(m_fileName, err);
    const QByteArray &path = m_note->path;
    struct stat st;
    if (::fstat(m_fd, &st) != 0 || st.st_size != m_expectedSize
        || qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec != m_expectedTime) {
        // Changed by someone else since it was read: not ours to cut or add to now.
        ::unlink(path.constData());
        Files::failCreate(m_fileName, EAGAIN);
    }
    if (m_offset < st.st_size && ::ftruncate(m_fd, m_offset) != 0) {
        const int err = errno;
        ::unlink(path.constData());
        Files::failCreate(m_fileName, err);
    }
    if (!copyBody(m_note->fd.get(), 0, m_written, m_fd, m_offset) || ::fdatasync(m_fd) != 0) {
        // An append takes back its own bytes; a rewrite has no old bytes to go back to, and its
        // note completes it once the file takes them.
        if (m_offset == m_expectedSize && ::fstat(m_fd, &st) == 0 && st.st_size <= m_offset + m_written
            && ::ftruncate(m_fd, m_offset) == 0 && ::fdatasync(m_fd) == 0)
            ::unlink(path.constData());
        Files::failWrite();
    }
    for (const QString &name : std::as_const(m_takes))
        ::unlink(QFile::encodeName(name).constData());
    ::unlink(path.constData());
}

void SaveNote::recover(const QString &fileName, const QString &resolved, bool locked)
{
    const QString target = resolved.isEmpty() ? Files::writeTarget(fileName) : resolved;
    const QByteArray path = QFile::encodeName(target);
    struct stat st, there;
    if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    const QList<QByteArray> notes = notesOf(target, st);
    const bool any = ::lstat(notes[0].constData(), &there) == 0 || (!notes[1].isEmpty() && ::lstat(notes[1].constData(), &there) == 0);
    // Without the caller's lock, only when it can be had at once: else its writer is at work.
    const UniqueFd fd(any && !locked ? ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK) : -1);
    if (any && (locked || (fd && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0))) {
        const QString folder = Files::stateFolder();
        const QByteArray claimed = folder.isEmpty() ? QByteArray() : QFile::encodeName(folder + u'/' + answersPrefix(logKey(fileName)));
        apply(notes[0], target, claimed);
        apply(notes[1], target, claimed);
    }
}

QString SaveNote::keepAnswers(const QString &logFile, const QList<QByteArray> &text)
{
    const QString folder = Files::stateFolder();
    if (folder.isEmpty())
        throw Failure(u"No folder for the kept answers: neither XDG_STATE_HOME nor HOME is set"_s);
    const QString log = logKey(logFile);
    const QString name = folder + u'/' + answersPrefix(log) + uniqueSuffix() + u".note"_s;
    File note;
    int err = makeFolder(QFile::encodeName(folder));
    if (err == 0 && (err = note.create(QFile::encodeName(name))) == 0) {
        for (const QByteArray &piece : text) {
            if (!Files::writeAll(note.fd.get(), piece.constData(), piece.size()))
                Files::failWrite();
        }
        err = note.publish(encoded(log), "-", "end", {});
    }
    if (err != 0)
        err < 0 ? Files::failWrite() : Files::failCreate(name, err);
    return name;
}

QList<SaveNote::Claimed> SaveNote::claimAnswers(const QString &logFile)
{
    const QString folder = Files::stateFolder();
    const QString log = logKey(logFile);
    const QString prefix = answersPrefix(log);
    QList<Claimed> claimed;
    // Oldest first, so that they go in in the order they were given.
    const QStringList names = folder.isEmpty() ? QStringList()
                                               : QDir(folder).entryList({prefix + u'*'}, QDir::Files | QDir::Hidden,
                                                                        QDir::Time | QDir::Reversed);
    for (const QString &name : names) {
        const QByteArray path = QFile::encodeName(folder + u'/' + name);
        const QString mine = folder + u'/' + prefix + uniqueSuffix() + u".claimed"_s;
        UniqueFd fd;
        QString why;
        const std::optional<Trailer> t = openNote(path, fd, why);
        if (!t || t->at != -1 || t->file != encoded(log)) {
            say(path, (why.isEmpty() ? u"is not kept answers of this log's"_s : why) + u"; it is left as it is"_s, true);
            continue;
        }
        if (::rename(path.constData(), QFile::encodeName(mine).constData()) != 0) {
            say(path, u"cannot be claimed (%1): its answers stay there"_s.arg(Files::reason(errno)), true);
            continue;
        }
        claimed.append({mine, t->bodySize});
    }
    return claimed;
}

void SaveNote::readAnswers(const Claimed &kept, const std::function<void(const char *, qsizetype)> &take)
{
    const UniqueFd fd(::open(QFile::encodeName(kept.name).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd || !readBody(fd.get(), 0, kept.size, [&take](const char *p, qint64 n) { return take(p, n), true; }))
        Files::failRead();
}
