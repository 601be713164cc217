// A note found beside a file or in the state folder may hold anything. Whatever it holds, the
// start that finds it changes no file but the one the note is for, and only by adding bytes the
// note holds; it removes nothing but the note and the kept answers its save claimed, and keeps
// every note it does not apply, at its name or set aside whole.
//
// An input is one flag byte and the note. Marks in it stand for what no input could guess: $F
// the log's full path, $I its identity, $Z its size, $C kept answers of the log's claimed for a
// save, $O another log's, $V a file beside the log, $U one outside both folders. With flag 2 the
// trailer's last line is made: the text after the first \x01 is the trailer. Flag 1 puts the
// note in the state folder instead of beside the log.
#include "FuzzCheck.h"

#include "core/SaveNote.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>

#include <cstdlib>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString root;
const QByteArray Log = "old\r\nlines\r\n";

void put(const QString &name, const QByteArray &bytes)
{
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        FUZZ_FAIL("cannot write a file of the private folder");
}

// The log's identity as a note gives it: device, inode, birth time, inode generation.
QByteArray identityOf(const QString &name)
{
    const UniqueFd fd(::open(QFile::encodeName(name).constData(), O_RDONLY | O_CLOEXEC));
    struct statx sx;
    FUZZ_CHECK(fd && ::statx(fd.get(), "", AT_EMPTY_PATH, STATX_INO | STATX_BTIME, &sx) == 0);
    QByteArray id = QByteArray::number(quint64(makedev(sx.stx_dev_major, sx.stx_dev_minor))) + ' '
                    + QByteArray::number(quint64(sx.stx_ino));
    if (sx.stx_mask & STATX_BTIME)
        id += ' ' + QByteArray::number(qint64(sx.stx_btime.tv_sec)) + '.' + QByteArray::number(sx.stx_btime.tv_nsec);
    long generation = 0;
    if (::ioctl(fd.get(), FS_IOC_GETVERSION, &generation) == 0)
        id += " g" + QByteArray::number(qint64(generation));
    return id;
}

// Every file under the private folder with its bytes (a folder as a name alone).
QMap<QString, QByteArray> files()
{
    QMap<QString, QByteArray> all;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = it.next();
        QFile file(name);
        all.insert(name, it.fileInfo().isDir() || !file.open(QIODevice::ReadOnly) ? "<folder>"_ba : file.readAll());
    }
    return all;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzCheck::quietQt();
    QByteArray dir = QFile::encodeName(QDir::tempPath()) + "/vedalka-fuzz-note-XXXXXX";
    if (QFileInfo(u"/dev/shm"_s).isWritable())
        dir = "/dev/shm/vedalka-fuzz-note-XXXXXX"; // syncs cost nothing there
    if (!::mkdtemp(dir.data()))
        FUZZ_FAIL("cannot make a private folder");
    root = QFileInfo(QFile::decodeName(dir)).canonicalFilePath();
    std::atexit([] { QDir(root).removeRecursively(); });
    ::setenv("XDG_STATE_HOME", QFile::encodeName(root + u"/state"_s).constData(), 1);
    if (!QDir().mkpath(root + u"/d"_s) || !QDir::setCurrent(root + u"/d"_s))
        FUZZ_FAIL("cannot enter the private folder");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    QDir(root + u"/state"_s).removeRecursively();
    for (const QString &name : QDir(root + u"/d"_s).entryList(QDir::Files | QDir::Hidden | QDir::System))
        QFile::remove(root + u"/d/"_s + name);
    put(u"vedalka.log"_s, Log);
    put(u"victim"_s, "the victim's bytes\n");
    put(root + u"/outside"_s, "a file outside both folders\n");
    SaveNote::keepAnswers(u"vedalka.log"_s, {"a kept answer\r\n"});
    SaveNote::keepAnswers(u"other.log"_s, {"another log's answer\r\n"});
    const QString claimed = SaveNote::claimAnswers(u"vedalka.log"_s).value(0).name;
    const QString others = SaveNote::claimAnswers(u"other.log"_s).value(0).name;
    FUZZ_CHECK(!claimed.isEmpty() && !others.isEmpty());

    QByteArray note(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    const QString log = root + u"/d/vedalka.log"_s;
    note.replace("$F", QFile::encodeName(log)).replace("$I", identityOf(log)).replace("$Z", QByteArray::number(Log.size()));
    note.replace("$C", QFile::encodeName(claimed)).replace("$O", QFile::encodeName(others));
    note.replace("$V", QFile::encodeName(root + u"/d/victim"_s)).replace("$U", QFile::encodeName(root + u"/outside"_s));
    if (data[0] & 2) {
        const qsizetype cut = note.indexOf('\x01');
        const qsizetype length = note.size() - cut - 1 + 24;
        note = note.first(qMax(cut, qsizetype(0))) + note.mid(cut + 1) + "vedalka-note 1 "
               + QByteArray::number(length).rightJustified(8, '0') + '\n';
    }
    struct stat st;
    FUZZ_CHECK(::stat("vedalka.log", &st) == 0);
    const QString noteName = data[0] & 1 ? root + u"/state/vedalka/note-%1-%2"_s.arg(quint64(st.st_dev)).arg(quint64(st.st_ino))
                                         : root + u"/d/.vedalka.log.note"_s;
    put(noteName, note);

    const QMap<QString, QByteArray> before = files();
    static const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    static const int saved = ::dup(2);
    ::dup2(quiet, 2); // a line for nearly every input
    SaveNote::recover(u"vedalka.log"_s);
    ::dup2(saved, 2);
    QMap<QString, QByteArray> after = files();

    // The log: its bytes kept, and nothing added but bytes of the note's.
    const QByteArray now = after.take(log);
    FUZZ_CHECK(now.startsWith(Log) && note.contains(now.mid(Log.size())));
    // The note: where it was, or set aside whole, or gone once applied; and only then the
    // kept answers it was handed may go.
    const QByteArray kept = after.take(noteName);
    qsizetype aside = 0;
    for (auto it = after.begin(); it != after.end();) {
        if (!it.key().startsWith(noteName + u".kept-"_s)) {
            ++it;
            continue;
        }
        FUZZ_CHECK(it.value() == note);
        ++aside;
        it = after.erase(it);
    }
    FUZZ_CHECK(kept == note ? aside == 0 : kept.isEmpty() && aside <= 1);
    if (!after.contains(claimed))
        FUZZ_CHECK(kept.isEmpty() && aside == 0);
    after.remove(claimed);
    QMap<QString, QByteArray> rest = before;
    rest.remove(log);
    rest.remove(noteName);
    rest.remove(claimed);
    FUZZ_CHECK(after == rest);
    return 0;
}
