#include "core/Files.h"

#include "core/Failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Files {

namespace {

QByteArray readLink(const QString &path)
{
    QByteArray target(4096, Qt::Uninitialized);
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), target.data(), size_t(target.size()));
    if (n <= 0 || n >= target.size())
        return {};
    target.truncate(n);
    return target;
}

} // namespace

QString fullPath(const QString &name)
{
    return QDir::cleanPath(QDir::current().absoluteFilePath(name));
}

QString reason(int errorNumber)
{
    QString text = QString::fromLocal8Bit(std::strerror(errorNumber));
    qsizetype n = text.size();
    while (n > 0) {
        const QChar c = text.at(n - 1);
        if (c != u' ' && c != u'\r' && c != u'\n' && c != u'.')
            break;
        --n;
    }
    text.truncate(n);
    return text;
}

bool writeAll(int fd, const char *p, qsizetype n)
{
    while (n > 0) {
        const ssize_t done = ::write(fd, p, size_t(n));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        p += done;
        n -= done;
    }
    return true;
}

void failOpen(const QString &name, int errorNumber)
{
    throw Failure(u"Cannot open file \""_s + fullPath(name) + u"\". "_s + reason(errorNumber));
}

void failCreate(const QString &name, int errorNumber)
{
    throw Failure(u"Cannot create file \""_s + fullPath(name) + u"\". "_s + reason(errorNumber));
}

void failRead()
{
    throw Failure(u"Stream read error"_s);
}

void failWrite()
{
    throw Failure(u"Stream write error"_s);
}

QString writeTarget(const QString &name)
{
    QString path = name;
    // As many links as the system itself follows before it gives up.
    for (int hop = 0; hop < 40; ++hop) {
        const QFileInfo info(path);
        if (!info.isSymLink())
            return path;
        QString next = QFile::decodeName(readLink(path));
        if (next.isEmpty())
            return path;
        if (!next.startsWith(u'/'))
            next = info.absolutePath() + u'/' + next;
        path = QDir::cleanPath(next);
    }
    return path;
}

bool exists(const QString &name)
{
    struct stat st;
    return ::stat(QFile::encodeName(name).constData(), &st) == 0 && !S_ISDIR(st.st_mode);
}

ReadFile::ReadFile(const QString &name, Missing missing)
{
    // Non-blocking, so that a pipe of that name cannot stall the program.
    m_fd = ::open(QFile::encodeName(name).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (m_fd < 0) {
        if (errno == ENOENT && missing == MissingIsEmpty)
            return;
        failOpen(name, errno);
    }
    struct stat st;
    int err = 0;
    if (::fstat(m_fd, &st) != 0)
        err = errno;
    else if (S_ISDIR(st.st_mode))
        err = EISDIR;
    if (err != 0) {
        ::close(m_fd);
        m_fd = -1;
        failOpen(name, err);
    }
    if (S_ISREG(st.st_mode)) {
        m_size = st.st_size;
        ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
#ifdef POSIX_FADV_SEQUENTIAL
        ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    }
}

ReadFile::~ReadFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

qsizetype ReadFile::read(char *buffer, qsizetype n)
{
    if (m_fd < 0)
        return 0;
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, size_t(n));
        if (got >= 0)
            return got;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0; // a pipe with nothing in it: its text ends here
        failRead();
    }
}

qsizetype ReadFile::readAt(qint64 offset, char *buffer, qsizetype n)
{
    if (m_fd < 0)
        return 0;
    for (;;) {
        const ssize_t got = ::pread(m_fd, buffer, size_t(n), off_t(offset));
        if (got >= 0)
            return got;
        if (errno != EINTR)
            failRead();
    }
}

QByteArray ReadFile::readAll()
{
    QByteArray all;
    qsizetype used = 0;
    qsizetype want = m_size > 0 ? qsizetype(m_size) + 1 : 64 * 1024;
    for (;;) {
        if (all.size() - used < 1)
            all.resize(qMax(want, all.size() * 2));
        const qsizetype got = read(all.data() + used, all.size() - used);
        if (got == 0)
            break;
        used += got;
    }
    all.truncate(used);
    return all;
}

CreatedFile::CreatedFile(const QString &name)
{
    m_fd = ::open(QFile::encodeName(name).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (m_fd < 0)
        failCreate(name, errno);
}

CreatedFile::~CreatedFile()
{
    close();
}

void CreatedFile::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

} // namespace Files
