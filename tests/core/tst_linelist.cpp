// The line list against real files: every break form, the saved format, and every error text.
#include "core/LineList.h"
#include "core/LineSplitter.h"
#include "core/SafeWriter.h"
#include "core/SaveNote.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <memory>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace TestSupport;

using Lines = QList<QByteArray>;

namespace {

// Adds the lines at the file's end as the program's saves do, under the file's lock.
void appendLines(const QString &name, const Lines &lines)
{
    Lines text;
    for (const QByteArray &line : lines)
        text.append(line + "\r\n");
    SafeWriter::Lock(name).append(text);
}

// What stands where a file is to be opened or created.
enum class Setup { Missing, Folder, Unreadable, ReadOnlyFile, ReadOnlyFolder, NoFolder, Fifo, FullPipe, NoRoomForNote };

// Puts in place what makes creating "vedalka.log" fail (a read-only file holds `old`) and
// gives the name to write to; empty when the set-up itself failed.
QString placeUnwritable(Setup setup, const QByteArray &old)
{
    QString name = u"vedalka.log"_s;
    if (setup == Setup::Folder) {
        makeDir(name);
    } else if (setup == Setup::ReadOnlyFile) {
        writeFile(name, old);
        QFile::setPermissions(name, QFile::ReadOwner);
    } else if (setup == Setup::ReadOnlyFolder) {
        // A file already there is written in place; only a new one needs the folder.
        makeDir(u"ro"_s);
        name = u"ro/vedalka.log"_s;
        QFile::setPermissions(u"ro"_s, QFile::ReadOwner | QFile::ExeOwner);
    } else if (setup == Setup::NoRoomForNote) {
        // Written in place, so it needs a note first, and neither folder takes one.
        makeDir(u"ro"_s);
        name = u"ro/vedalka.log"_s;
        writeFile(name, old);
        QFile::setPermissions(u"ro"_s, QFile::ReadOwner | QFile::ExeOwner);
        qputenv("XDG_STATE_HOME", QFile::encodeName(QDir::currentPath() + u"/ro/state"_s));
    } else if (setup == Setup::Fifo || setup == Setup::FullPipe) {
        if (::mkfifo("vedalka.log", 0600) != 0)
            return {};
        // A reader that holds the pipe open and never reads.
        static UniqueFd reader;
        reader.reset(setup == Setup::FullPipe ? ::open("vedalka.log", O_RDONLY | O_NONBLOCK) : -1);
    } else {
        name = u"нет/vedalka.log"_s;
    }
    return name;
}

// Starts the save in a child and kills it as soon as it first changes the file, as SIGKILL or a
// power cut would.
void killMidSave(const QString &name, const std::function<void()> &save)
{
    const int watch = ::inotify_init1(IN_CLOEXEC);
    QVERIFY(::inotify_add_watch(watch, QFile::encodeName(name).constData(), IN_MODIFY) >= 0);
    const pid_t child = ::fork();
    if (child == 0) {
        try {
            save();
        } catch (...) {
        }
        ::_exit(0);
    }
    char event[4096];
    QVERIFY(::read(watch, event, sizeof event) > 0);
    ::kill(child, SIGKILL);
    ::close(watch);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
}

} // namespace

class TestLineList : public QObject
{
    Q_OBJECT

private slots:
    void load_data();
    void load();
    void loadInChunks_data() { load_data(); }
    void loadInChunks();
    void loadReplacesContent();
    void save_data();
    void save();
    void roundTripKeepsEveryByte();
    void openErrors_data();
    void openErrors();
    void createErrors_data();
    void createErrors();
    void fullDiskKeepsOldContent();
    void indexOutOfBounds_data();
    void indexOutOfBounds();
    void largeFile();
    void copyLinesSameAsSave_data();
    void copyLinesSameAsSave();
    void appendLinesSameAsSave_data();
    void appendLinesSameAsSave();
    void appendLinesCreateErrors_data() { createErrors_data(); }
    void appendLinesCreateErrors();
    void appendLinesFullDisk_data();
    void appendLinesFullDisk();
    void writesFollowTheFile_data();
    void writesFollowTheFile();
    void saveCutShortIsCompleted_data();
    void saveCutShortIsCompleted();
    void foreignNotesAreLeftAlone_data();
    void foreignNotesAreLeftAlone();
};

void TestLineList::load_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<Lines>("lines");

    QTest::newRow("empty file") << QByteArray() << Lines{};
    QTest::newRow("CR LF") << "a\r\nb\r\n"_ba << Lines{"a", "b"};
    QTest::newRow("lone CR") << "a\rb\r"_ba << Lines{"a", "b"};
    QTest::newRow("lone LF") << "a\nb\n"_ba << Lines{"a", "b"};
    QTest::newRow("LF CR is two breaks") << "a\n\rb"_ba << Lines{"a", "", "b"};
    QTest::newRow("LF CR at the end") << "a\n\r"_ba << Lines{"a", ""};
    QTest::newRow("CR CR LF") << "a\r\r\nb"_ba << Lines{"a", "", "b"};
    QTest::newRow("final line without a break") << "a\r\nlast"_ba << Lines{"a", "last"};
    QTest::newRow("break at the very end adds nothing") << "only\r\n"_ba << Lines{"only"};
    QTest::newRow("blank lines are lines") << "\r\n\r\nx\r\n\r\n"_ba << Lines{"", "", "x", ""};
    QTest::newRow("a single break") << "\n"_ba << Lines{""};
    QTest::newRow("zero byte mid-line") << QByteArray("ab\0cd\r\nef", 9) << Lines{"ab"};
    QTest::newRow("zero byte at a line start") << QByteArray("ab\r\n\0cd", 7) << Lines{"ab"};
    QTest::newRow("zero byte first") << QByteArray("\0ab", 3) << Lines{};
    QTest::newRow("zero byte after an empty line") << QByteArray("a\r\n\r\n\0", 6) << Lines{"a", ""};
    QTest::newRow("spaces are kept") << "  a  \r\n\t\r\n"_ba << Lines{"  a  ", "\t"};
    QTest::newRow("code page bytes untouched") << "\xcc\xe0\xf8\xe0\x98\xff\r\n"_ba << Lines{"\xcc\xe0\xf8\xe0\x98\xff"};
    QTest::newRow("other control bytes are text") << "a\x0b\x0c\x1a" "b"_ba << Lines{"a\x0b\x0c\x1a" "b"};
    QTest::newRow("long line across blocks")
        << QByteArray(100, 'x') + "\r\n" + QByteArray(33, 'y') << Lines{QByteArray(100, 'x'), QByteArray(33, 'y')};
}

void TestLineList::load()
{
    QFETCH(QByteArray, text);
    QFETCH(Lines, lines);
    WorkDir dir;
    writeFile(u"baza.leh"_s, text);
    LineList list;
    list.load(u"baza.leh"_s);
    QCOMPARE(list.lines(), lines);
    QCOMPARE(list.count(), lines.size());
    QCOMPARE(LineList::fromText(text).lines(), lines);
}

namespace {

struct CollectSink
{
    Lines lines;
    QByteArray current;
    void piece(const char *p, qsizetype n)
    {
        QVERIFY(n > 0);
        current.append(p, n);
    }
    void lineEnd()
    {
        lines.append(current);
        current.clear();
    }
};

Lines splitInPieces(const QByteArray &text, const QList<qsizetype> &cuts)
{
    CollectSink sink;
    LineSplitter splitter;
    qsizetype from = 0;
    for (qsizetype cut : cuts) {
        splitter.feed(text.constData() + from, cut - from, sink);
        from = cut;
    }
    splitter.feed(text.constData() + from, text.size() - from, sink);
    splitter.finish(sink);
    return sink.lines;
}

} // namespace

// Big files are read through a small buffer: the lines must be the same wherever the buffer
// boundaries fall, a carriage return and its line feed split between two reads included.
void TestLineList::loadInChunks()
{
    QFETCH(QByteArray, text);
    QFETCH(Lines, lines);
    for (qsizetype cut = 0; cut <= text.size(); ++cut)
        QCOMPARE(splitInPieces(text, {cut}), lines);
    QList<qsizetype> everyByte;
    for (qsizetype i = 1; i < text.size(); ++i)
        everyByte.append(i);
    QCOMPARE(splitInPieces(text, everyByte), lines);
}

void TestLineList::loadReplacesContent()
{
    WorkDir dir;
    writeFile(u"f"_s, "new\r\n"_ba);
    LineList list;
    list.append("old");
    list.load(u"f"_s);
    QCOMPARE(list.lines(), Lines{"new"});
}

void TestLineList::save_data()
{
    QTest::addColumn<Lines>("lines");
    QTest::addColumn<QByteArray>("file");

    QTest::newRow("empty list, empty file") << Lines{} << QByteArray("");
    QTest::newRow("every line ends in CR LF") << Lines{"a", "b"} << "a\r\nb\r\n"_ba;
    QTest::newRow("blank lines") << Lines{"", ""} << "\r\n\r\n"_ba;
    // Loading gives blank lines as null byte arrays, which have no data at all.
    QTest::newRow("null lines among others") << Lines{QByteArray(), "a", QByteArray()} << "\r\na\r\n\r\n"_ba;
    QTest::newRow("code page bytes") << Lines{"\xcc\xe0\xf8\xe0 - \xe4\xee\xe1\xf0\xe0\xff"} << "\xcc\xe0\xf8\xe0 - \xe4\xee\xe1\xf0\xe0\xff\r\n"_ba;
}

void TestLineList::save()
{
    QFETCH(Lines, lines);
    QFETCH(QByteArray, file);
    WorkDir dir;
    writeFile(u"out.txt"_s, "something longer that was there before\r\n"_ba);
    LineList list;
    for (const QByteArray &l : lines)
        list.append(l);
    list.save(u"out.txt"_s);
    QCOMPARE(readFile(u"out.txt"_s), file);
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList{u"out.txt"_s});
}

void TestLineList::roundTripKeepsEveryByte()
{
    WorkDir dir;
    QByteArray all;
    for (int b = 1; b < 256; ++b) {
        if (b != '\r' && b != '\n')
            all.append(char(b));
    }
    LineList list;
    list.append(all);
    list.save(u"f"_s);
    LineList back;
    back.load(u"f"_s);
    QCOMPARE(back.lines(), Lines{all});
}

void TestLineList::openErrors_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing file") << Setup::Missing << u"No such file or directory"_s;
    QTest::newRow("a folder in its place") << Setup::Folder << u"Is a directory"_s;
    QTest::newRow("unreadable file") << Setup::Unreadable << u"Permission denied"_s;
    QTest::newRow("missing folder on the way") << Setup::NoFolder << u"No such file or directory"_s;
}

void TestLineList::openErrors()
{
    QFETCH(Setup, setup);
    QFETCH(QString, reason);
    WorkDir dir;
    QString name = u"baza.leh"_s;
    if (setup == Setup::Folder) {
        makeDir(name);
    } else if (setup == Setup::Unreadable) {
        writeFile(name, "x\r\n");
        QFile::setPermissions(name, QFile::WriteOwner);
    } else if (setup == Setup::NoFolder) {
        name = u"картинки/baza.leh"_s;
    }
    LineList list;
    list.append("kept");
    QCOMPARE(failureText([&] { list.load(name); }),
             u"Cannot open file \""_s + dir.path() + u'/' + name + u"\". "_s + reason);
    QCOMPARE(list.lines(), Lines{"kept"});
}

void TestLineList::createErrors_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QString>("reason");

    QTest::newRow("a folder in its place") << Setup::Folder << u"Is a directory"_s;
    QTest::newRow("read-only file") << Setup::ReadOnlyFile << u"Permission denied"_s;
    QTest::newRow("no file yet, read-only folder") << Setup::ReadOnlyFolder << u"Permission denied"_s;
    QTest::newRow("missing folder") << Setup::NoFolder << u"No such file or directory"_s;
    QTest::newRow("pipe without a reader") << Setup::Fifo << u"No such device or address"_s;
    QTest::newRow("pipe whose reader never reads") << Setup::FullPipe << u"Resource temporarily unavailable"_s;
    QTest::newRow("read-only folder, no folder takes a note") << Setup::NoRoomForNote << u"Permission denied"_s;
}

void TestLineList::createErrors()
{
    QFETCH(Setup, setup);
    QFETCH(QString, reason);
    WorkDir dir;
    const auto defaultState = qScopeGuard([] { qunsetenv("XDG_STATE_HOME"); });
    const QByteArray old = "old line\r\n";
    const QString name = placeUnwritable(setup, old);
    QVERIFY(!name.isEmpty());
    LineList list;
    // More than a pipe holds.
    list.append(QByteArray(100000, 'n'));
    QCOMPARE(failureText([&] { list.save(name); }),
             u"Cannot create file \""_s + dir.path() + u'/' + name + u"\". "_s + reason);
    if (setup == Setup::ReadOnlyFile || setup == Setup::NoRoomForNote)
        QCOMPARE(readFile(name), old);
    if (setup == Setup::ReadOnlyFolder)
        QVERIFY(QDir(u"ro"_s).entryList(QDir::Files | QDir::Hidden).isEmpty());
    struct stat st;
    if (setup == Setup::Fifo)
        QVERIFY(::stat("vedalka.log", &st) == 0 && S_ISFIFO(st.st_mode));
}

void TestLineList::fullDiskKeepsOldContent()
{
    WorkDir dir;
    const QByteArray old = "first\r\nsecond\r\n";
    writeFile(u"vedalka.log"_s, old);
    LineList list;
    for (int i = 0; i < 20000; ++i)
        list.append(QByteArray(50, char('a' + i % 26)));
    {
        FileSizeLimit limit(64 * 1024);
        QCOMPARE(failureText([&] { list.save(u"vedalka.log"_s); }), u"Stream write error"_s);
    }
    QCOMPARE(readFile(u"vedalka.log"_s), old);
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList{u"vedalka.log"_s});
}

void TestLineList::indexOutOfBounds_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("index");

    QTest::newRow("empty list, line 0") << 0 << 0;
    QTest::newRow("one past the end") << 2 << 2;
    QTest::newRow("negative") << 2 << -1;
    QTest::newRow("far out") << 1 << 1000000;
}

void TestLineList::indexOutOfBounds()
{
    QFETCH(int, count);
    QFETCH(int, index);
    LineList list;
    for (int i = 0; i < count; ++i)
        list.append("x");
    const QString expected = u"List index out of bounds (%1)"_s.arg(index);
    QCOMPARE(failureText([&] { list.get(index); }), expected);
    QCOMPARE(failureText([&] { list.replace(index, "y"); }), expected);
    QCOMPARE(list.count(), count);
}

void TestLineList::largeFile()
{
    WorkDir dir;
    // Several reads' worth of lines of varied length, with every break form mixed in.
    QByteArray text;
    Lines expected;
    const char *breaks[] = {"\r\n", "\n", "\r"};
    for (int i = 0; i < 100000; ++i) {
        const QByteArray line = QByteArray::number(i) + QByteArray(i % 37, 'z');
        expected.append(line);
        text += line + breaks[i % 3];
    }
    writeFile(u"big"_s, text);
    LineList list;
    list.load(u"big"_s);
    QCOMPARE(list.count(), expected.size());
    QCOMPARE(list.lines(), expected);
}

void TestLineList::copyLinesSameAsSave_data()
{
    QTest::addColumn<QByteArray>("text");

    constexpr qsizetype Read = 256 * 1024; // the size the copy reads in
    QByteArray formatted;
    QByteArray mixed;
    const char *breaks[] = {"\r\n", "\n", "\r", "\n\r", "\r\r\n", "\r\n\n"};
    for (int i = 0; formatted.size() < 3 * Read; ++i) {
        const QByteArray line = QByteArray::number(i) + QByteArray(i % 151, char(0xC0 + i % 64));
        formatted += line + "\r\n";
        mixed += line + breaks[i % 6];
    }
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("in format, several reads") << formatted;
    QTest::newRow("every break form, several reads") << mixed;
    QTest::newRow("line feeds only") << QByteArray(formatted).replace("\r\n", "\n");
    QTest::newRow("carriage returns only") << QByteArray(formatted).replace("\r\n", "\r");
    QTest::newRow("no final break") << formatted + "tail";
    QTest::newRow("a final lone CR") << formatted + "tail\r";
    QTest::newRow("blank lines") << "\r\n\r\n\n\r\r"_ba;
    QTest::newRow("CR LF split between reads") << QByteArray(Read - 1, 'a') + "\r\n" + formatted;
    QTest::newRow("CR then a line split between reads") << QByteArray(Read - 1, 'a') + "\rb\r\n" + formatted;
    QTest::newRow("LF CR split between reads") << QByteArray(Read - 1, 'a') + "\n\rb" + formatted;
    QTest::newRow("a lone LF first in a read") << QByteArray(Read, 'a') + "\nb\r\n";
    QTest::newRow("a lone CR in formatted text") << formatted.left(Read + 100) + "\r" + formatted.mid(Read + 100);
    QByteArray zero = formatted;
    zero[Read + 777] = '\0';
    QTest::newRow("zero byte in a later read") << zero;
    QTest::newRow("zero byte first") << QByteArray("\0abc\r\n", 6);
    QTest::newRow("zero byte after a break") << QByteArray("abc\r\n\0def", 9);
    QTest::newRow("a zero byte first in a read") << QByteArray(Read, 'a') + QByteArray(1, '\0') + "b\r\n";
}

void TestLineList::copyLinesSameAsSave()
{
    QFETCH(QByteArray, text);
    WorkDir dir;
    writeFile(u"source"_s, text);
    // Copying the lines of a file gives what loading and saving them as a list gives.
    SafeWriter out(u"copy"_s);
    out.copyLines(u"source"_s);
    out.commit();
    LineList list;
    list.load(u"source"_s);
    list.save(u"saved"_s);
    QCOMPARE(readFile(u"copy"_s), readFile(u"saved"_s));
}

namespace {

ino_t inode(const QString &name)
{
    struct stat st;
    return ::stat(QFile::encodeName(name).constData(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

void TestLineList::appendLinesSameAsSave_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<Lines>("lines");
    QTest::addColumn<bool>("inPlace");

    constexpr qsizetype Read = 256 * 1024;
    QByteArray formatted;
    for (int i = 0; formatted.size() < 2 * Read; ++i)
        formatted += QByteArray::number(i) + QByteArray(i % 97, char(0xE0 + i % 32)) + "\r\n";
    const Lines some = {"new", "", QByteArray(100000, 'L'), "last"};
    QTest::newRow("in format") << formatted << some << true;
    QTest::newRow("in format, nothing to add") << formatted << Lines{} << true;
    QTest::newRow("empty file") << QByteArray() << some << true;
    QTest::newRow("last line without its break") << formatted + "open" << some << true;
    QTest::newRow("last line without its break, nothing to add") << formatted + "open" << Lines{} << true;
    QTest::newRow("CR LF split between reads") << QByteArray(Read - 1, 'a') + "\r\n" + formatted << some << true;
    QTest::newRow("a lone LF") << formatted + "x\ny\r\n" << some << false;
    QTest::newRow("a lone CR") << "x\ry\r\n"_ba << some << false;
    QTest::newRow("LF CR") << formatted + "x\n\r" << some << false;
    QTest::newRow("a final lone CR") << formatted + "x\r" << some << false;
    QTest::newRow("a lone LF first in a read") << QByteArray(Read, 'a') + "\nb\r\n" << some << false;
    QTest::newRow("a lone CR last in a read") << QByteArray(Read - 1, 'a') + "\rb\r\n" << some << false;
    QTest::newRow("line feeds only") << QByteArray(formatted).replace("\r\n", "\n") << some << false;
    QByteArray zero = formatted;
    zero[Read + 5] = '\0';
    QTest::newRow("zero byte") << zero << some << false;
}

void TestLineList::appendLinesSameAsSave()
{
    QFETCH(QByteArray, text);
    QFETCH(Lines, lines);
    QFETCH(bool, inPlace);
    WorkDir dir;
    writeFile(u"log"_s, text);
    const ino_t before = inode(u"log"_s);
    appendLines(u"log"_s, lines);
    // The bytes are those of loading the file, adding the lines and saving the list.
    LineList list = LineList::fromText(text);
    for (const QByteArray &line : lines)
        list.append(line);
    QCOMPARE(readFile(u"log"_s), list.toText());
    // A file in format only grows; any other is replaced by a new one.
    QCOMPARE(inode(u"log"_s) == before, inPlace);
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList{u"log"_s});
}

void TestLineList::appendLinesCreateErrors()
{
    QFETCH(Setup, setup);
    QFETCH(QString, reason);
    WorkDir dir;
    const auto defaultState = qScopeGuard([] { qunsetenv("XDG_STATE_HOME"); });
    const QByteArray old = "old line\r\n";
    const QString name = placeUnwritable(setup, old);
    QVERIFY(!name.isEmpty());
    // The file is in format, so it would only grow; it fails all the same, as a save would.
    QCOMPARE(failureText([&] { appendLines(name, {QByteArray(100000, 'n')}); }),
             u"Cannot create file \""_s + dir.path() + u'/' + name + u"\". "_s + reason);
    if (setup == Setup::ReadOnlyFile || setup == Setup::NoRoomForNote)
        QCOMPARE(readFile(name), old);
}

void TestLineList::appendLinesFullDisk_data()
{
    QTest::addColumn<QByteArray>("old");
    QTest::addColumn<qint64>("limit");

    const QByteArray old = QByteArray("an old line\r\n").repeated(1000);
    QTest::newRow("in format, room for part of the lines") << old << qint64(old.size() + 30000);
    QTest::newRow("in format, no room at all") << old << qint64(old.size());
    QTest::newRow("last line open") << old + "open" << qint64(old.size() + 100);
    QTest::newRow("out of format") << QByteArray(old).replace("\r\n", "\n") << qint64(old.size() + 30000);
}

void TestLineList::appendLinesFullDisk()
{
    QFETCH(QByteArray, old);
    QFETCH(qint64, limit);
    WorkDir dir;
    writeFile(u"vedalka.log"_s, old);
    Lines lines;
    for (int i = 0; i < 2000; ++i)
        lines.append(QByteArray(40, char('a' + i % 26)));
    {
        FileSizeLimit full(limit);
        QCOMPARE(failureText([&] { appendLines(u"vedalka.log"_s, lines); }), u"Stream write error"_s);
    }
    // Nothing of the failed save stays behind: the file is as it was, byte for byte.
    QCOMPARE(readFile(u"vedalka.log"_s), old);
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList{u"vedalka.log"_s});
}

namespace {

// What the program leaves in the folders a save may touch, journals included.
QStringList leftovers()
{
    QStringList names;
    for (const QString &folder : {u"."_s, u"ro"_s, QDir::homePath() + u"/.local/state/vedalka"_s}) {
        for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System))
            names.append(folder + u'/' + name);
    }
    names.sort();
    return names;
}

// A row's set-up: it puts the old bytes in place and says how to read what the save wrote.
using PutInPlace = std::function<std::function<QByteArray()>(const QByteArray &old)>;

std::function<QByteArray()> readsFile(const QString &name)
{
    return [name] { return readFile(name); };
}

void setUp(bool done)
{
    if (!done)
        QTest::qFail("the set-up failed", __FILE__, __LINE__);
}

} // namespace

Q_DECLARE_METATYPE(PutInPlace)

void TestLineList::writesFollowTheFile_data()
{
    QTest::addColumn<bool>("append");
    QTest::addColumn<bool>("sameInode");
    QTest::addColumn<PutInPlace>("putInPlace");
    QTest::addColumn<QString>("name"); // what the save is given
    QTest::addColumn<QString>("target"); // what it must write
    QTest::addColumn<QByteArray>("old");
    QTest::addColumn<QByteArray>("after"); // what reading the target back gives
    QTest::addColumn<QStringList>("left"); // every file in the folders afterwards

    const QByteArray inFormat = "old\r\nlines\r\n";
    const QByteArray added = "old\r\nlines\r\nnew\r\n";
    const auto file = [](const QString &name) {
        return [name](const QByteArray &old) {
            writeFile(name, old);
            return readsFile(name);
        };
    };
    const auto linkedFile = [](const QString &target) {
        return [target](const QByteArray &old) {
            writeFile(target, old);
            setUp(QFile::link(target, u"vedalka.log"_s));
            return readsFile(target);
        };
    };
    const PutInPlace secondName = [](const QByteArray &old) {
        writeFile(u"vedalka.log"_s, old);
        setUp(::link("vedalka.log", "second") == 0);
        return readsFile(u"second"_s);
    };
    // ".." after a folder link climbs out of the folder the link leads to, not the link's.
    const PutInPlace throughFolderLink = [](const QByteArray &old) {
        makeDir(u"disk/Sync"_s);
        makeDir(u"disk/logs"_s);
        writeFile(u"disk/logs/vedalka.log"_s, old);
        setUp(::symlink("disk/Sync", "Sync") == 0 && ::symlink("Sync/vedalka.log", "vedalka.log") == 0
              && ::symlink("../logs/vedalka.log", "disk/Sync/vedalka.log") == 0);
        return readsFile(u"disk/logs/vedalka.log"_s);
    };
    const PutInPlace device = [](const QByteArray &) {
        setUp(QFile::link(u"/dev/null"_s, u"vedalka.log"_s));
        return readsFile(u"/dev/null"_s);
    };
    const PutInPlace pipeWithReader = [](const QByteArray &) {
        setUp(::mkfifo("pipe", 0600) == 0 && QFile::link(u"pipe"_s, u"vedalka.log"_s));
        auto reader = std::make_shared<UniqueFd>(::open("pipe", O_RDONLY | O_NONBLOCK));
        return [reader] {
            QByteArray got(100, '\0');
            return got.left(qMax<ssize_t>(0, ::read(reader->get(), got.data(), size_t(got.size()))));
        };
    };
    const QStringList log = {u"./vedalka.log"_s};
    for (const bool append : {false, true}) {
        const auto row = [append](const char *what) -> QTestData & {
            return QTest::newRow(((append ? "append: "_ba : "save: "_ba) + what).constData()) << append;
        };
        // clang-format off
        row("read-only folder, writable file") << true << PutInPlace(file(u"ro/vedalka.log"_s))
            << u"ro/vedalka.log"_s << u"ro/vedalka.log"_s << inFormat << added << QStringList{u"ro/vedalka.log"_s};
        row("read-only folder, file out of format") << true << PutInPlace(file(u"ro/vedalka.log"_s))
            << u"ro/vedalka.log"_s << u"ro/vedalka.log"_s << "old\nlines"_ba << added << QStringList{u"ro/vedalka.log"_s};
        row("link to a file") << append << PutInPlace(linkedFile(u"real.log"_s))
            << u"vedalka.log"_s << u"real.log"_s << inFormat << added << QStringList{u"./real.log"_s, u"./vedalka.log"_s};
        row("link to a file in a read-only folder") << true << PutInPlace(linkedFile(u"ro/real.log"_s))
            << u"vedalka.log"_s << u"ro/real.log"_s << inFormat << added << QStringList{u"./vedalka.log"_s, u"ro/real.log"_s};
        row("file with a second name: both names show the new lines") << true << secondName
            << u"vedalka.log"_s << u"vedalka.log"_s << inFormat << added << QStringList{u"./second"_s, u"./vedalka.log"_s};
        row("link to a character device: it stays one") << true << device
            << u"vedalka.log"_s << u"/dev/null"_s << QByteArray() << QByteArray() << log;
        row("link to a pipe with a reader: the reader gets the lines") << true << pipeWithReader
            << u"vedalka.log"_s << u"pipe"_s << QByteArray() << "new\r\n"_ba << QStringList{u"./pipe"_s, u"./vedalka.log"_s};
        row("link through a folder link, then up") << append << throughFolderLink
            << u"vedalka.log"_s << u"disk/logs/vedalka.log"_s << inFormat << added << log;
        // clang-format on
    }
}

// A store is written where it is: a link's target changes and the link stays, a file in a
// folder without write rights or with a second name is rewritten in place, and a device or
// pipe is written to, never replaced. No temporary file or note stays behind.
void TestLineList::writesFollowTheFile()
{
    QFETCH(bool, append);
    QFETCH(bool, sameInode);
    QFETCH(PutInPlace, putInPlace);
    QFETCH(QString, name);
    QFETCH(QString, target);
    QFETCH(QByteArray, old);
    QFETCH(QByteArray, after);
    QFETCH(QStringList, left);
    WorkDir dir;
    makeDir(u"ro"_s);
    const auto written = putInPlace(old);
    QFile::setPermissions(u"ro"_s, QFile::ReadOwner | QFile::ExeOwner);
    struct stat before, now;
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &before), 0);

    LineList list = LineList::fromText(old);
    list.append("new");
    append ? appendLines(name, {"new"}) : list.save(name);

    QFile::setPermissions(u"ro"_s, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(QFileInfo(name).isSymLink(), name != target);
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &now), 0);
    QCOMPARE(now.st_mode & S_IFMT, before.st_mode & S_IFMT);
    QCOMPARE(now.st_ino == before.st_ino, sameInode);
    QCOMPARE(written(), after);
    QCOMPARE(leftovers(), left);
}

void TestLineList::saveCutShortIsCompleted_data()
{
    QTest::addColumn<bool>("append");
    QTest::addColumn<bool>("readOnlyFolder");
    QTest::addColumn<QByteArray>("old");
    // What the user does to the file between the kill and the next load.
    QTest::addColumn<QString>("edit");

    const QByteArray old = QByteArray("an old line\r\n").repeated(1000);
    const QByteArray lf = QByteArray(old).replace("\r\n", "\n");
    QTest::newRow("append") << true << false << old << QString();
    QTest::newRow("append after a line without its break") << true << false << old + "open" << QString();
    QTest::newRow("append, read-only folder") << true << true << old << QString();
    QTest::newRow("rewrite in place, read-only folder") << true << true << lf << QString();
    QTest::newRow("save in place, read-only folder") << false << true << old << QString();
    QTest::newRow("append, then the user appends a line") << true << false << old << u"append"_s;
    QTest::newRow("append, then the user trims the file") << true << false << old << u"trim"_s;
    QTest::newRow("append, then the user restores a backup over it") << true << false << old << u"restore"_s;
    QTest::newRow("append, then the user moves a backup in") << true << false << old << u"replace"_s;
    QTest::newRow("rewrite in place, then the user appends a line") << true << true << lf << u"append"_s;
    QTest::newRow("rewrite in place, then the user restores a backup") << true << true << lf << u"restore"_s;
}

// The writer dies as soon as it starts changing the file (killed, as SIGKILL or a power cut
// would): the next load completes the save from its note. But when the user has changed the
// file in between, the file is left exactly as the user left it, and the note is set aside.
void TestLineList::saveCutShortIsCompleted()
{
    QFETCH(bool, append);
    QFETCH(bool, readOnlyFolder);
    QFETCH(QByteArray, old);
    QFETCH(QString, edit);
    WorkDir dir;
    makeDir(u"ro"_s);
    const QString name = readOnlyFolder ? u"ro/vedalka.log"_s : u"vedalka.log"_s;
    writeFile(name, old);
    if (readOnlyFolder)
        QFile::setPermissions(u"ro"_s, QFile::ReadOwner | QFile::ExeOwner);
    LineList expected = LineList::fromText(old);
    Lines lines;
    for (int i = 0; i < 2000; ++i)
        lines.append(QByteArray(10000, char('a' + i % 26)));
    killMidSave(name, [&] {
        if (append) {
            appendLines(name, lines);
        } else {
            for (const QByteArray &line : lines)
                expected.append(line);
            expected.save(name);
        }
    });
    for (const QByteArray &line : lines)
        expected.append(line);

    QFile::setPermissions(u"ro"_s, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QByteArray users;
    if (edit == u"append"_s) {
        QFile file(name);
        QVERIFY(file.open(QIODevice::Append));
        file.write("a line of the user's\r\n");
    } else if (edit == u"trim"_s) {
        QVERIFY(QFile::resize(name, old.size() / 2));
    } else if (edit == u"restore"_s) {
        writeFile(name, old + "a line from the backup\r\n");
    } else if (edit == u"replace"_s) {
        writeFile(u"backup"_s, old);
        QCOMPARE(::rename("backup", QFile::encodeName(name).constData()), 0);
    }
    if (readOnlyFolder)
        QFile::setPermissions(u"ro"_s, QFile::ReadOwner | QFile::ExeOwner);
    users = readFile(name);
    SaveNote::recover(name);
    QFile::setPermissions(u"ro"_s, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (edit.isEmpty()) {
        QCOMPARE(readFile(name), expected.toText());
        QCOMPARE(leftovers(), QStringList{readOnlyFolder ? u"ro/vedalka.log"_s : u"./vedalka.log"_s});
        return;
    }
    // Not a byte of the user's is cut or written over, and the note is never applied.
    QCOMPARE(readFile(name), users);
    for (const QString &left : leftovers())
        QVERIFY2(left.endsWith(u"vedalka.log"_s) || left.contains(u".kept-"_s), qPrintable(left));
}

void TestLineList::foreignNotesAreLeftAlone_data()
{
    QTest::addColumn<QString>("planted");
    QTest::newRow("a pipe") << u"fifo"_s;
    QTest::newRow("a link to an endless device") << u"/dev/zero"_s;
    QTest::newRow("a link to another file") << u"victim"_s;
    QTest::newRow("a note that cannot be read") << u"unreadable"_s;
    QTest::newRow("bytes that are no note") << u"garbage"_s;
    // A save of ours cut short, its note then given a line by hand, or handed to another user.
    QTest::newRow("a note taking a file outside the state folder") << u"takes victim"_s;
    QTest::newRow("a note taking the log itself") << u"takes vedalka.log"_s;
    QTest::newRow("a note taking another log's kept answers") << u"takes other.log"_s;
    QTest::newRow("a note of the user who owns the log, not ours") << u"owner"_s;
}

// Whatever stands at a note's name without being a note of ours is never followed, applied,
// moved or deleted; loading never waits on it, and saving puts its own note elsewhere.
void TestLineList::foreignNotesAreLeftAlone()
{
    QFETCH(QString, planted);
    WorkDir dir;
    QByteArray old = "old\r\nlines\r\n";
    const QStringList others = othersFiles();
    if (planted == u"owner"_s && others.isEmpty())
        QSKIP("another user's files need the tests started as root");
    writeFile(planted == u"owner"_s ? others[0] : u"vedalka.log"_s, old);
    if (planted == u"owner"_s)
        QCOMPARE(::link(QFile::encodeName(others[0]).constData(), "vedalka.log"), 0);
    writeFile(u"victim"_s, "the victim's bytes\n");
    const QString note = u".vedalka.log.note"_s;
    QString taken;
    if (planted.startsWith(u"takes "_s) || planted == u"owner"_s) {
        killMidSave(u"vedalka.log"_s, [] { appendLines(u"vedalka.log"_s, Lines(2000, QByteArray(10000, 'a'))); });
        SaveNote::keepAnswers(u"other.log"_s, {"an answer\r\n"});
        taken = planted == u"takes other.log"_s ? SaveNote::claimAnswers(u"other.log"_s).value(0).name
                : planted == u"owner"_s           ? QString()
                                                  : dir.file(planted.mid(6));
        QByteArray bytes = readFile(note);
        // One more line before the last, which gives the trailer's length.
        const QByteArray line = planted == u"owner"_s ? QByteArray() : "takes " + QFile::encodeName(taken) + '\n';
        const qint64 length = bytes.right(9).left(8).toLongLong() + line.size();
        bytes = bytes.chopped(24) + line + "vedalka-note 1 " + QByteArray::number(length).rightJustified(8, '0') + '\n';
        QVERIFY(QFile::remove(note));
        writeFile(planted == u"owner"_s ? others[1] : note, bytes);
        if (planted == u"owner"_s)
            QCOMPARE(::link(QFile::encodeName(others[1]).constData(), ".vedalka.log.note"), 0);
        old = readFile(u"vedalka.log"_s); // what the cut save left is the file's now
    } else if (planted == u"fifo"_s)
        QCOMPARE(::mkfifo(".vedalka.log.note", 0600), 0);
    else if (planted == u"unreadable"_s || planted == u"garbage"_s)
        writeFile(note, "vedalka-note 1 9999\n");
    else
        QVERIFY(QFile::link(planted, note));
    if (planted == u"unreadable"_s)
        QFile::setPermissions(note, {});
    const QFileInfo before(note);

    SaveNote::recover(u"vedalka.log"_s);
    LineList list;
    list.load(u"vedalka.log"_s);
    LineList expected = LineList::fromText(old);
    QCOMPARE(list.count(), expected.count());
    expected.append("new");
    appendLines(u"vedalka.log"_s, {"new"});
    QCOMPARE(readFile(u"vedalka.log"_s), expected.toText());
    QCOMPARE(readFile(u"victim"_s), "the victim's bytes\n"_ba);
    QVERIFY(taken.isEmpty() || QFileInfo::exists(taken));
    const QFileInfo after(note);
    QCOMPARE(after.isSymLink(), before.isSymLink());
    QCOMPARE(after.size(), before.size());
    QCOMPARE(after.permissions(), before.permissions());
}

VEDALKA_TEST_MAIN(TestLineList)
#include "tst_linelist.moc"
