#include "core/Recovery.h"

#include "core/Failure.h"
#include "core/FileLock.h"
#include "core/Files.h"
#include "core/LineList.h"
#include "core/ResultLog.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// How long a change to the recovery file waits for another copy's change; past that it goes on
// unlocked rather than hold up the end of a session.
constexpr int StateLockWaitMs = 1000;

// A lock on the state folder itself, so no lock file is left behind.
class StateLock
{
public:
    explicit StateLock(const QString &folder)
        : m_fd(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        // No repaints meanwhile: this may run while the program ends.
        if (m_fd)
            FileLock::lockWithin(m_fd.get(), QDeadlineTimer(StateLockWaitMs), false);
    }

private:
    UniqueFd m_fd;
};

// Puts `bytes` in place of the file through a temporary file beside it, synced before the rename.
void replaceWhole(const QString &fileName, const QByteArray &bytes)
{
    QByteArray temporary = QFile::encodeName(fileName) + ".XXXXXX";
    UniqueFd file(::mkostemp(temporary.data(), O_CLOEXEC));
    const int fd = file.get();
    if (fd < 0)
        Files::failCreate(fileName, errno);
    bool ok = Files::writeAll(fd, bytes.constData(), bytes.size()) && ::fchmod(fd, 0600) == 0 && ::fsync(fd) == 0;
    ok = file.reset() == 0 && ok;
    if (!ok || ::rename(temporary.constData(), QFile::encodeName(fileName).constData()) != 0) {
        ::unlink(temporary.constData());
        Files::failWrite();
    }
}

// Makes the folder and its missing parents, private to the user as state folders are.
void makeFolder(const QString &folder, const QString &forFile)
{
    QByteArray path;
    for (const QByteArray &part : QFile::encodeName(folder).split('/')) {
        if (part.isEmpty())
            continue;
        path += '/' + part;
        if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
            Files::failCreate(forFile, errno);
    }
}

} // namespace

Recovery::Recovery(const QString &dataFolder)
{
    const QFileInfo info(dataFolder);
    m_dataFolder = info.canonicalFilePath();
    if (m_dataFolder.isEmpty())
        m_dataFolder = QDir::cleanPath(info.absoluteFilePath());
    const QString folder = Files::stateFolder();
    if (folder.isEmpty())
        return;
    const QByteArray hash = QCryptographicHash::hash(QFile::encodeName(m_dataFolder), QCryptographicHash::Sha256);
    const QString name = folder + u'/' + QString::fromLatin1(hash.toHex().left(16));
    m_fileName = name + u".log"_s;
    m_folderNote = name + u".folder"_s;
}

void Recovery::take() noexcept
{
    struct stat st;
    if (m_fileName.isEmpty() || ::stat(QFile::encodeName(m_fileName).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    try {
        QByteArray bytes = Files::readWhole(m_fileName, Files::ReadFile::MissingIsEmpty);
        m_taken = LineList::fromText(bytes).lines();
        m_takenBytes = std::move(bytes);
    } catch (...) {
        m_taken.clear();
        m_takenBytes.clear();
    }
}

void Recovery::putInto(const QString &logFile)
{
    if (m_takenBytes.isEmpty())
        return;
    const StateLock lock(QFileInfo(m_fileName).path());
    QByteArray now;
    try {
        now = Files::readWhole(m_fileName, Files::ReadFile::MissingIsEmpty);
    } catch (const Failure &) {
        return; // cannot tell whether they are still there: they wait for a later start
    }
    if (now.startsWith(m_takenBytes) && !m_taken.isEmpty()) {
        ResultLog answers;
        for (const QByteArray &line : std::as_const(m_taken))
            answers.append(line);
        answers.save(logFile);
    }
    // Otherwise another copy of the program has put them in already.
    const QByteArray rest = now.startsWith(m_takenBytes) ? now.mid(m_takenBytes.size()) : now;
    m_taken.clear();
    m_takenBytes.clear();
    // The answers are in the log; what goes wrong from here can at worst bring them back once.
    try {
        if (rest.isEmpty()) {
            ::unlink(QFile::encodeName(m_fileName).constData());
            ::unlink(QFile::encodeName(m_folderNote).constData());
        } else if (rest != now) {
            replaceWhole(m_fileName, rest);
        }
    } catch (const Failure &) {
    }
}

void Recovery::keep(const QList<QByteArray> &lines)
{
    if (m_fileName.isEmpty())
        throw Failure(u"No folder for the recovery file: neither XDG_STATE_HOME nor HOME is set"_s);
    const QString folder = QFileInfo(m_fileName).path();
    makeFolder(folder, m_fileName);
    const StateLock lock(folder);
    QByteArray text = Files::readWhole(m_fileName, Files::ReadFile::MissingIsEmpty);
    if (!text.isEmpty() && !text.endsWith('\n') && !text.endsWith('\r'))
        text.append("\r\n", 2);
    for (const QByteArray &line : lines)
        text.append(line).append("\r\n", 2);
    if (!QFileInfo::exists(m_folderNote)) {
        try {
            replaceWhole(m_folderNote, QFile::encodeName(m_dataFolder) + '\n');
        } catch (const Failure &) {
            // Only a note for people; the answers matter.
        }
    }
    replaceWhole(m_fileName, text);
}
