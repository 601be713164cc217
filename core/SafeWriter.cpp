#include "core/SafeWriter.h"

#include "core/LineSplitter.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype BufferSize = 1 << 20;

// The reason the file cannot be written, found before anything is written: a folder in its
// place, a file without write rights, or no file and a folder where no new one can be made.
// An existing file needs nothing of its folder: it can always be written in place.
int whyNotWritable(const QString &target)
{
    const QByteArray path = QFile::encodeName(target);
    struct stat st;
    if (::stat(path.constData(), &st) == 0)
        return S_ISDIR(st.st_mode) ? EISDIR : ::access(path.constData(), W_OK) != 0 ? errno : 0;
    if (errno != ENOENT)
        return errno;
    return ::access(QFile::encodeName(QFileInfo(target).absolutePath()).constData(), W_OK | X_OK) != 0 ? errno : 0;
}

// True when a new file may take the place of the old one: the folder takes new names, and the
// file is the user's own with no second name that a rename would leave behind.
bool mayReplace(const QString &target, const struct stat &st)
{
    return ::access(QFile::encodeName(QFileInfo(target).absolutePath()).constData(), W_OK | X_OK) == 0
           && st.st_uid == ::geteuid() && st.st_nlink <= 1;
}

// Tries for the lock until the deadline: 0 once held, else EWOULDBLOCK (another holder kept it)
// or the error of a file that takes no locks. Between tries the windows do their pending
// repaints and nothing else: no click, key, close request or signal is taken, so nothing can
// start another save meanwhile, and nothing runs that could end the process.
int lockWithin(int fd, const QDeadlineTimer &deadline)
{
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return 0;
        const int err = errno;
        if (err != EINTR && err != EWOULDBLOCK)
            return err;
        if (err == EWOULDBLOCK && deadline.hasExpired())
            return err;
        if (QCoreApplication::instance() && !QCoreApplication::closingDown())
            QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        QThread::msleep(20);
    }
}

// What one read of a whole file found.
struct Format
{
    bool inFormat = false; // in the line format, but perhaps for the last line's break
    qint64 size = 0;
    bool lastLineOpen = false; // the last line has no break yet
};

Format readFormat(Files::ReadFile &file)
{
    QByteArray chunk(Files::ChunkSize, Qt::Uninitialized);
    Format format;
    bool crAtEnd = false; // the last read ended in a carriage return
    char last = 0;
    while (const qsizetype got = file.read(chunk.data(), chunk.size())) {
        const char *p = chunk.constData();
        const char *const end = p + got;
        if (crAtEnd) {
            if (*p != '\n')
                return {};
            ++p;
        }
        const char *const same = LineSplit::inFormatEnd(p, end);
        crAtEnd = same == end - 1 && *same == '\r';
        if (same != end && !crAtEnd)
            return {};
        format.size += got;
        last = end[-1];
    }
    if (crAtEnd)
        return {};
    format.inFormat = true;
    format.lastLineOpen = format.size > 0 && last != '\n';
    return format;
}

struct CopySink
{
    SafeWriter &out;
    void piece(const char *p, qsizetype n) { out.write(p, n); }
    void lineEnd() { out.write("\r\n", 2); }
};

} // namespace

SafeWriter::Lock::Lock(const QString &fileName, bool create)
    : m_fileName(fileName)
    , m_target(Files::writeTarget(fileName))
{
    const QByteArray path = QFile::encodeName(m_target);
    const QDeadlineTimer deadline(WaitMs);
    for (int attempt = 0; attempt < 100; ++attempt) {
        UniqueFd fd(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        if (!fd && errno == ENOENT && create)
            fd.reset(::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666));
        struct stat locked;
        if (!fd || ::fstat(fd.get(), &locked) != 0 || !S_ISREG(locked.st_mode))
            return;
        if (const int err = lockWithin(fd.get(), deadline)) {
            if (err == EWOULDBLOCK)
                Files::failCreate(fileName, err);
            return;
        }
        struct stat now;
        if (::stat(path.constData(), &now) == 0 && now.st_dev == locked.st_dev && now.st_ino == locked.st_ino) {
            m_fd = std::move(fd);
            SaveNote::recover(fileName, m_target, true);
            return;
        }
        // The file was replaced while we waited: lock the one that is there now.
    }
}

void SafeWriter::Lock::append(const QList<QByteArray> &text, Files::ReadFile::Missing missing,
                              const QList<SaveNote::Claimed> &kept)
{
    // The kept answers first, each removed once the file holds it, then this run's lines.
    const auto writeLines = [&](auto &out) {
        for (const SaveNote::Claimed &answers : kept) {
            SaveNote::readAnswers(answers, [&out](const char *p, qsizetype n) { out.write(p, n); });
            out.takes(answers.name);
        }
        for (const QByteArray &piece : text)
            out.write(piece);
        out.commit();
    };
    // Checked first, so that a file that cannot be written fails as a save does.
    if (const int err = whyNotWritable(m_target))
        Files::failCreate(m_fileName, err);
    {
        // A file in the line format already holds what a rewrite would give: the new bytes go
        // at its end, unless it is no regular file or has changed since it was read.
        Files::ReadFile file(m_fileName, missing);
        const Format format = readFormat(file);
        const UniqueFd fd(format.inFormat ? ::open(QFile::encodeName(m_target).constData(), O_WRONLY | O_CLOEXEC | O_NONBLOCK) : -1);
        struct stat st;
        if (fd && ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == format.size) {
            if (!format.lastLineOpen && text.isEmpty() && kept.isEmpty())
                return;
            SaveNote note(m_fileName, m_target, fd.get(), format.size);
            if (format.lastLineOpen)
                note.write("\r\n", 2);
            return writeLines(note);
        }
    }
    SafeWriter out(m_fileName, m_target);
    out.copyLines(m_fileName, missing);
    writeLines(out);
}

void SafeWriter::checkWritable(const QString &fileName)
{
    if (const int err = whyNotWritable(Files::writeTarget(fileName)))
        Files::failCreate(fileName, err);
}

SafeWriter::SafeWriter(const QString &fileName)
    : SafeWriter(fileName, Files::writeTarget(fileName))
{
}

SafeWriter::SafeWriter(const QString &fileName, const QString &target)
    : m_fileName(fileName)
{
    if (const int err = whyNotWritable(target))
        Files::failCreate(fileName, err);
    const QByteArray path = QFile::encodeName(target);
    struct stat st;
    const bool exists = ::stat(path.constData(), &st) == 0;
    if (exists && (!S_ISREG(st.st_mode) || !mayReplace(target, st))) {
        // Opened without blocking, so that a pipe nobody reads fails at once instead of holding
        // the window; written without blocking for the same reason.
        const int flags = S_ISREG(st.st_mode) ? O_RDWR : O_WRONLY | O_NOCTTY;
        m_fd.reset(::open(path.constData(), flags | O_NONBLOCK | O_CLOEXEC));
        struct stat opened;
        if (!m_fd || ::fstat(m_fd.get(), &opened) != 0)
            Files::failCreate(fileName, errno);
        m_deadline = QDeadlineTimer(WaitMs);
        if (S_ISREG(opened.st_mode)) {
            // Keeps out another copy of the program that reads the file meanwhile, where no
            // caller holds the lock already.
            ::flock(m_fd.get(), LOCK_EX | LOCK_NB);
            m_note = std::make_unique<SaveNote>(fileName, target, m_fd.get(), 0);
        }
        return;
    }
    m_file = std::make_unique<QSaveFile>(target);
    // Never fall back to writing the old file in place: that would lose it on a failure.
    m_file->setDirectWriteFallback(false);
    errno = 0;
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        Files::failCreate(fileName, errno != 0 ? errno : EACCES);
}

void SafeWriter::takes(const QString &answersNote)
{
    if (m_note)
        m_note->takes(answersNote);
    else
        m_takes.append(answersNote);
}

void SafeWriter::writeOut(const char *data, qsizetype n)
{
    if (m_file) {
        if (m_file->write(data, n) != n)
            Files::failWrite();
        return;
    }
    if (m_note) {
        m_note->write(data, n);
        return;
    }
    while (n > 0) {
        const ssize_t done = ::write(m_fd.get(), data, size_t(n));
        if (done > 0) {
            data += done;
            n -= done;
        } else if (done < 0 && errno == EAGAIN) {
            // A reader that does not read gets as long as a held lock, then the save fails.
            pollfd ready{m_fd.get(), POLLOUT, 0};
            const qint64 left = m_deadline.remainingTime();
            if (left == 0 || ::poll(&ready, 1, int(left)) == 0)
                Files::failCreate(m_fileName, EAGAIN);
        } else if (done == 0 || errno != EINTR) {
            Files::failWrite();
        }
    }
}

void SafeWriter::write(const char *data, qsizetype n)
{
    // An empty line may come as a null array: nothing to copy, and no pointer to copy from.
    if (n <= 0)
        return;
    if (m_buffer.size() + n > BufferSize)
        flush();
    if (n >= BufferSize)
        return writeOut(data, n);
    m_buffer.reserve(BufferSize);
    m_buffer.append(data, n);
}

void SafeWriter::copyLines(const QString &fileName, Files::ReadFile::Missing missing)
{
    Files::ReadFile file(fileName, missing);
    QByteArray chunk(Files::ChunkSize, Qt::Uninitialized);
    CopySink sink{*this};
    LineSplitter splitter;
    while (const qsizetype got = file.read(chunk.data(), chunk.size())) {
        const char *p = chunk.constData();
        const char *const end = p + got;
        while (p < end) {
            // Text already in the program's line format is passed on as it is, in one piece;
            // the line rules are needed only where it is not.
            const char *const same = splitter.skipLf() ? p : LineSplit::inFormatEnd(p, end);
            if (same > p) {
                write(p, same - p);
                splitter = LineSplitter(same[-1] != '\n', false);
                p = same;
                continue;
            }
            // A break out of format, a line feed that may belong to a carriage return at the
            // end of the last chunk, or a zero byte: one byte under the line rules.
            if (!splitter.feed(p, 1, sink))
                break;
            ++p;
        }
        if (splitter.ended())
            break;
    }
    splitter.finish(sink);
}

void SafeWriter::flush()
{
    if (!m_buffer.isEmpty())
        writeOut(m_buffer.constData(), m_buffer.size());
    m_buffer.resize(0); // the memory stays for the next piece
}

void SafeWriter::commit()
{
    flush();
    // The new file's name must be on disk before the save counts as done, and before the kept
    // answers it holds go.
    if (m_file && (!m_file->commit() || !Files::syncFolderOf(m_file->fileName())))
        Files::failWrite();
    if (m_note)
        m_note->commit();
    m_fd.reset();
    for (const QString &name : std::as_const(m_takes))
        ::unlink(QFile::encodeName(name).constData());
}
