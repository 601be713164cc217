#include "core/FileLock.h"

#include "core/Files.h"
#include "core/SaveNote.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace {

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

} // namespace

FileLock::FileLock(const QString &fileName, bool create)
{
    const QByteArray path = QFile::encodeName(fileName);
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
            SaveNote::recover(fileName, true);
            return;
        }
        // The file was replaced while we waited: lock the one that is there now.
    }
}
