#include "core/SafeWriter.h"

#include "core/Files.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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
    if (::stat(path.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return EISDIR;
        if (::access(path.constData(), W_OK) != 0)
            return errno;
        return 0;
    }
    if (errno != ENOENT)
        return errno;
    const QByteArray dir = QFile::encodeName(QFileInfo(QFileInfo(target).absoluteFilePath()).path());
    if (::access(dir.constData(), W_OK | X_OK) != 0)
        return errno;
    return 0;
}

// True when a new file may take the place of the old one: the folder takes new names, and the
// file (if any) is the user's own with no second name that a rename would leave behind.
bool mayReplace(const QString &target, const struct stat *st)
{
    const QByteArray dir = QFile::encodeName(QFileInfo(QFileInfo(target).absoluteFilePath()).path());
    if (::access(dir.constData(), W_OK | X_OK) != 0)
        return false;
    return !st || (st->st_uid == ::geteuid() && st->st_nlink <= 1);
}


} // namespace

void SafeWriter::checkWritable(const QString &fileName)
{
    if (const int err = whyNotWritable(Files::writeTarget(fileName)))
        Files::failCreate(fileName, err);
}

SafeWriter::SafeWriter(const QString &fileName)
{
    const QString target = Files::writeTarget(fileName);
    if (const int err = whyNotWritable(target))
        Files::failCreate(fileName, err);
    const QByteArray path = QFile::encodeName(target);
    struct stat st;
    const bool exists = ::stat(path.constData(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        // A device, pipe or socket: written as it is. Without blocking, so that a pipe nobody
        // reads fails at once instead of holding the window.
        m_fd.reset(::open(path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
        if (!m_fd)
            Files::failCreate(fileName, errno);
        ::fcntl(m_fd.get(), F_SETFL, ::fcntl(m_fd.get(), F_GETFL) & ~O_NONBLOCK);
        return;
    }
    if (!mayReplace(target, exists ? &st : nullptr)) {
        openInPlace(fileName, target);
        return;
    }
    m_file = std::make_unique<QSaveFile>(target);
    // Never fall back to writing the old file in place: that would lose it on a failure.
    m_file->setDirectWriteFallback(false);
    errno = 0;
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        Files::failCreate(fileName, errno != 0 ? errno : EACCES);
}

void SafeWriter::openInPlace(const QString &fileName, const QString &target)
{
    m_fd.reset(::open(QFile::encodeName(target).constData(), O_RDWR | O_CLOEXEC | O_NONBLOCK));
    const int fd = m_fd.get();
    if (fd < 0)
        Files::failCreate(fileName, errno);
    // Keeps out another copy of the program that reads the file meanwhile, where no caller
    // holds the lock already.
    ::flock(fd, LOCK_EX | LOCK_NB);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        Files::failCreate(fileName, EACCES);
    m_old.resize(qsizetype(st.st_size));
    qsizetype got = 0;
    while (got < m_old.size()) {
        const ssize_t n = ::pread(fd, m_old.data() + got, size_t(m_old.size() - got), off_t(got));
        if (n < 0 && errno == EINTR)
            continue;
        // Old bytes that cannot be read could not be put back: leave the file as it is.
        if (n < 0)
            Files::failRead();
        if (n == 0)
            break;
        got += n;
    }
    m_old.truncate(got);
    m_inPlace = true;
    m_journal.emplace(WriteJournal::forRewrite(target, fd, m_old));
    if (::ftruncate(fd, 0) != 0) {
        const int err = errno;
        restore();
        Files::failCreate(fileName, err);
    }
}

// Puts the old content back after a failed rewrite in place.
void SafeWriter::restore()
{
    const int fd = m_fd.get();
    if (::ftruncate(fd, 0) == 0 && ::pwrite(fd, m_old.constData(), size_t(m_old.size()), 0) == m_old.size()
        && ::fdatasync(fd) == 0 && m_journal)
        m_journal->finish();
    m_fd.reset();
    m_inPlace = false;
}

SafeWriter::~SafeWriter()
{
    if (m_file && m_file->isOpen())
        m_file->cancelWriting();
    if (m_inPlace)
        restore();
}

bool SafeWriter::writeOut(const char *data, qsizetype n)
{
    if (m_file)
        return m_file->write(data, n) == n;
    return Files::writeAll(m_fd.get(), data, n);
}

void SafeWriter::write(const char *data, qsizetype n)
{
    // An empty line may come as a null array: nothing to copy, and no pointer to copy from.
    if (n <= 0)
        return;
    if (m_used + n > BufferSize)
        flush();
    if (n >= BufferSize) {
        if (!writeOut(data, n))
            Files::failWrite();
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
    if (!writeOut(m_buffer.constData(), n))
        Files::failWrite();
}

void SafeWriter::commit()
{
    flush();
    if (m_file) {
        if (!m_file->commit())
            Files::failWrite();
        return;
    }
    if (m_inPlace) {
        if (::fdatasync(m_fd.get()) != 0)
            Files::failWrite();
        m_inPlace = false;
        if (m_journal)
            m_journal->finish();
    }
    m_fd.reset();
}
