#include "core/SafeWriter.h"

#include "core/FileLock.h"
#include "core/Files.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
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

} // namespace

void SafeWriter::checkWritable(const QString &fileName)
{
    if (const int err = whyNotWritable(Files::writeTarget(fileName)))
        Files::failCreate(fileName, err);
}

SafeWriter::SafeWriter(const QString &fileName)
    : m_fileName(fileName)
{
    const QString target = Files::writeTarget(fileName);
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
        m_deadline = QDeadlineTimer(FileLock::WaitMs);
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
        m_note->append(data, n);
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
    if (m_used + n > BufferSize)
        flush();
    if (n >= BufferSize) {
        writeOut(data, n);
        return;
    }
    if (m_buffer.isEmpty())
        m_buffer.resize(BufferSize);
    std::memcpy(m_buffer.data() + m_used, data, size_t(n));
    m_used += n;
}

void SafeWriter::flush()
{
    if (m_used == 0)
        return;
    const qsizetype n = m_used;
    m_used = 0;
    writeOut(m_buffer.constData(), n);
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
