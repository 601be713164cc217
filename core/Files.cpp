#include "core/Files.h"

#include "core/Failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Files {

QString fullPath(const QString &name)
{
    return QDir::cleanPath(QDir::current().absoluteFilePath(name));
}

QString reason(int errorNumber)
{
    QString text = QString::fromLocal8Bit(std::strerror(errorNumber));
    while (!text.isEmpty() && QStringView(u" \r\n.").contains(text.back()))
        text.chop(1);
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

QString stateFolder()
{
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (QDir::isAbsolutePath(state))
        return QDir::cleanPath(state + u"/vedalka"_s);
    QString home = qEnvironmentVariable("HOME");
    if (!QDir::isAbsolutePath(home)) {
        const passwd *user = ::getpwuid(::getuid());
        home = user && user->pw_dir ? QFile::decodeName(user->pw_dir) : QString();
    }
    if (!QDir::isAbsolutePath(home))
        return {};
    return QDir::cleanPath(home + u"/.local/state/vedalka"_s);
}

bool syncFolderOf(const QString &file)
{
    const UniqueFd dir(::open(QFile::encodeName(QFileInfo(file).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return !dir || ::fsync(dir.get()) == 0 || errno == EINVAL;
}

QString writeTarget(const QString &name)
{
    QByteArray path = QFile::encodeName(name);
    // As many links as the system itself follows before it gives up.
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st;
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            break;
        QByteArray link(PATH_MAX, Qt::Uninitialized);
        const ssize_t n = ::readlink(path.constData(), link.data(), size_t(link.size()));
        if (n <= 0 || n >= link.size())
            break;
        link.truncate(n);
        // A relative link counts from the real folder the link is in, and ".." climbs out of
        // that real folder, as the kernel resolves it, not out of the name's folder text.
        const qsizetype slash = path.lastIndexOf('/');
        const QByteArray next = link.startsWith('/') ? link : (slash < 0 ? "." : path.left(qMax(slash, qsizetype(1)))) + '/' + link;
        const qsizetype cut = next.lastIndexOf('/');
        const QByteArray base = next.mid(cut + 1);
        char real[PATH_MAX];
        if (!::realpath(cut == 0 ? "/" : next.left(cut).constData(), real)) {
            path = next;
            break;
        }
        path = (qstrcmp(real, "/") == 0 ? QByteArray() : QByteArray(real)) + '/' + base;
        if (base.isEmpty() || base == "." || base == "..")
            break;
    }
    return QFile::decodeName(path);
}

bool exists(const QString &name)
{
    struct stat st;
    return ::stat(QFile::encodeName(name).constData(), &st) == 0 && !S_ISDIR(st.st_mode);
}

ReadFile::ReadFile(const QString &name, Missing missing)
{
    // Non-blocking, so that a pipe of that name cannot stall the program.
    m_fd.reset(::open(QFile::encodeName(name).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!m_fd) {
        if (errno == ENOENT && missing == MissingIsEmpty)
            return;
        failOpen(name, errno);
    }
    struct stat st;
    int err = 0;
    if (::fstat(m_fd.get(), &st) != 0)
        err = errno;
    else if (S_ISDIR(st.st_mode))
        err = EISDIR;
    if (err != 0)
        failOpen(name, err);
    if (S_ISREG(st.st_mode)) {
        m_size = st.st_size;
        ::fcntl(m_fd.get(), F_SETFL, ::fcntl(m_fd.get(), F_GETFL) & ~O_NONBLOCK);
#ifdef POSIX_FADV_SEQUENTIAL
        ::posix_fadvise(m_fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    }
}

qsizetype ReadFile::read(char *buffer, qsizetype n)
{
    if (!m_fd)
        return 0;
    for (;;) {
        const ssize_t got = ::read(m_fd.get(), buffer, size_t(n));
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
    if (!m_fd)
        return 0;
    for (;;) {
        const ssize_t got = ::pread(m_fd.get(), buffer, size_t(n), off_t(offset));
        if (got >= 0)
            return got;
        if (errno != EINTR)
            failRead();
    }
}

QByteArray readWhole(const QString &name, ReadFile::Missing missing, qint64 limit)
{
    ReadFile file(name, missing);
    QByteArray bytes(qsizetype(qMin(file.size() > 0 ? file.size() + 1 : qint64(64 * 1024), limit)), Qt::Uninitialized);
    qsizetype used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (used >= limit)
                break;
            bytes.resize(qsizetype(qMin(limit, qMax(qint64(used) * 2, qint64(4096)))));
        }
        const qsizetype got = file.read(bytes.data() + used, bytes.size() - used);
        if (got == 0)
            break;
        used += got;
    }
    bytes.truncate(used);
    return bytes;
}

CreatedFile::CreatedFile(const QString &name)
    : m_fd(::open(QFile::encodeName(name).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666))
{
    if (!m_fd)
        failCreate(name, errno);
}

} // namespace Files
