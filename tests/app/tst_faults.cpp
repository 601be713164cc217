// What the user's files and the desktop can do to the program while it runs: two copies in one
// folder, files that change, vanish or fill the disk, absurd sizes and garbage, and the session
// ending. The answers the user got must reach the log.
#include "app/Startup.h"
#include "app/Vedalka.h"
#include "core/LineList.h"
#include "core/RandomSource.h"
#include "support/TestSupport.h"
#include "windows/Add.h"
#include "windows/OProgramme.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {

// Where the stores are: a read-only folder, or a log that is a link to a character device or to
// a pipe with a reader, or one another program keeps locked.
enum class Place { ReadOnlyFolder, Device, Fifo, Lock };

std::unique_ptr<TForm1> startForm()
{
    auto form = Startup::makeMainWindow();
    form->show();
    return form;
}

void answer(TForm1 &form, const QString &name)
{
    form.Chel->setText(name);
    QTest::mouseClick(form.Button1, Qt::LeftButton);
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Startup::prepareApplication(); }
    void twoCopiesCloseInEitherOrder_data();
    void twoCopiesCloseInEitherOrder();
    void editOfTheLogWhileRunningIsKept();
    void closeWaitsForAnotherCopysSave();
    void logDeletedWhileRunning();
    void logUnreadableAtClose();
    void fullDiskAtClose();
    void twoCopiesAddPhrases();
    void folderInPlaceOfTheBase();
    void folderInPlaceOfIconAndLaughter();
    void baseUnreadableWhileRunning();
    void binaryGarbageBase();
    void hugeBaseAndLog();
    void hugeNamePastedAndControlCharacters();
    void terminationSignalSavesTheLog_data();
    void terminationSignalSavesTheLog();
    void storesWrittenWhereTheyAre_data();
    void storesWrittenWhereTheyAre();
};

void TestFaults::twoCopiesCloseInEitherOrder_data()
{
    QTest::addColumn<bool>("firstClosesFirst");
    QTest::newRow("first started closes first") << true;
    QTest::newRow("second started closes first") << false;
}

void TestFaults::twoCopiesCloseInEitherOrder()
{
    QFETCH(bool, firstClosesFirst);
    WorkDir dir;
    RecordingPresenter boxes;
    writeFile(u"baza.leh"_s, "x\r\n");
    writeFile(u"vedalka.log"_s, "old\r\n");
    auto a = startForm();
    auto b = startForm();
    answer(*a, u"a1"_s);
    answer(*b, u"b1"_s);
    answer(*a, u"a2"_s);
    TForm1 &first = firstClosesFirst ? *a : *b;
    TForm1 &second = firstClosesFirst ? *b : *a;
    QVERIFY(first.close());
    QVERIFY(second.close());
    QVERIFY(boxes.boxes.isEmpty());
    const QByteArray firstLines = firstClosesFirst ? "a1 - x\r\na2 - x\r\n"_ba : "b1 - x\r\n"_ba;
    const QByteArray secondLines = firstClosesFirst ? "b1 - x\r\n"_ba : "a1 - x\r\na2 - x\r\n"_ba;
    QCOMPARE(readFile(u"vedalka.log"_s), "old\r\n" + firstLines + secondLines);
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden),
             (QStringList{u"baza.leh"_s, u"picture.dat"_s, u"vedalka.log"_s}));
}

void TestFaults::editOfTheLogWhileRunningIsKept()
{
    WorkDir dir;
    writeFile(u"baza.leh"_s, "x\r\n");
    writeFile(u"vedalka.log"_s, "old\r\n");
    auto form = startForm();
    answer(*form, u"a"_s);
    writeFile(u"vedalka.log"_s, "edited by hand\n");
    QVERIFY(form->close());
    QCOMPARE(readFile(u"vedalka.log"_s), "edited by hand\r\na - x\r\n"_ba);
}

void TestFaults::closeWaitsForAnotherCopysSave()
{
    WorkDir dir;
    writeFile(u"baza.leh"_s, "x\r\n");
    writeFile(u"vedalka.log"_s, "old\r\n");
    auto form = startForm();
    answer(*form, u"mine"_s);
    // Another program holds the log's lock, then puts a new file in its place and lets go.
    QProcess other;
    other.start(u"flock"_s, {u"vedalka.log"_s, u"sh"_s, u"-c"_s,
                             u"echo locked; sleep 0.5; printf 'old\\r\\ntheirs\\r\\n' > t && mv t vedalka.log"_s});
    QVERIFY(other.waitForReadyRead(5000));
    QVERIFY(form->close());
    QVERIFY(other.waitForFinished(5000));
    QCOMPARE(readFile(u"vedalka.log"_s), "old\r\ntheirs\r\nmine - x\r\n"_ba);
}

void TestFaults::logDeletedWhileRunning()
{
    WorkDir dir;
    writeFile(u"baza.leh"_s, "x\r\n");
    writeFile(u"vedalka.log"_s, "old\r\n");
    auto form = startForm();
    answer(*form, u"a"_s);
    QFile::remove(u"vedalka.log"_s);
    QVERIFY(form->close());
    QCOMPARE(readFile(u"vedalka.log"_s), "a - x\r\n"_ba);
}

void TestFaults::logUnreadableAtClose()
{
    WorkDir dir;
    RecordingPresenter boxes;
    writeFile(u"baza.leh"_s, "x\r\n");
    writeFile(u"vedalka.log"_s, "old\r\n");
    auto form = startForm();
    answer(*form, u"a"_s);
    QFile::setPermissions(u"vedalka.log"_s, QFile::WriteOwner);
    QVERIFY(!form->close());
    QCOMPARE(boxes.errors(), QStringList{u"Cannot open file \"%1/vedalka.log\". Permission denied."_s.arg(dir.path())});
    QFile::setPermissions(u"vedalka.log"_s, QFile::ReadOwner | QFile::WriteOwner);
    QVERIFY(form->close());
    QCOMPARE(readFile(u"vedalka.log"_s), "old\r\na - x\r\n"_ba);
}

void TestFaults::fullDiskAtClose()
{
    WorkDir dir;
    RecordingPresenter boxes;
    writeFile(u"baza.leh"_s, "x\r\n");
    const QByteArray old = QByteArray("an old answer\r\n").repeated(10000);
    writeFile(u"vedalka.log"_s, old);
    auto form = startForm();
    answer(*form, u"a"_s);
    answer(*form, u"b"_s);
    {
        FileSizeLimit full(old.size() / 2);
        QVERIFY(!form->close());
    }
    QCOMPARE(boxes.errors(), QStringList{u"Stream write error."_s});
    QVERIFY(form->isVisible());
    QCOMPARE(readFile(u"vedalka.log"_s), old);
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden),
             (QStringList{u"baza.leh"_s, u"picture.dat"_s, u"vedalka.log"_s}));
    // The answers wait for the next close, and more may come meanwhile.
    answer(*form, u"c"_s);
    QVERIFY(form->close());
    QCOMPARE(readFile(u"vedalka.log"_s), old + "a - x\r\nb - x\r\nc - x\r\n");
}

void TestFaults::twoCopiesAddPhrases()
{
    WorkDir dir;
    RecordingPresenter boxes;
    writeFile(u"baza.leh"_s, "x\r\n");
    TDobavlenie one, two;
    // Both windows are open at once, in two copies of the program; each adds in turn.
    for (auto [window, phrase] : {std::pair{&one, u"first"_s}, std::pair{&two, u"second"_s}, std::pair{&one, u"second"_s}}) {
        window->New->setText(phrase);
        window->DobavitClick();
    }
    QVERIFY(boxes.boxes.isEmpty());
    QCOMPARE(readFile(u"baza.leh"_s), "x\r\nfirst\r\nsecond\r\n"_ba);
}

void TestFaults::folderInPlaceOfTheBase()
{
    WorkDir dir;
    RecordingPresenter boxes;
    makeDir(u"baza.leh"_s);
    auto form = startForm();
    QCOMPARE(boxes.messages(), QStringList{u"какой-то идиот удалил файл baza.leh"_s});
    QCOMPARE(boxes.errors(), QStringList{u"Cannot create file \"%1/baza.leh\". Is a directory."_s.arg(dir.path())});
    QVERIFY(form->isVisible());
    answer(*form, u"a"_s);
    QCOMPARE(boxes.errors().last(), u"Cannot open file \"%1/baza.leh\". Is a directory."_s.arg(dir.path()));
    QVERIFY(form->close());
}

void TestFaults::folderInPlaceOfIconAndLaughter()
{
    WorkDir dir;
    RecordingPresenter boxes;
    RecordingSoundPlayer sound;
    writeFile(u"baza.leh"_s, "x\r\n");
    makeDir(u"картинки/0.ico"_s);
    makeDir(u"Звуки/смех1.wav"_s);
    auto form = startForm();
    QCOMPARE(form->pictureIndex()->get(1), "-1"_ba);
    answer(*form, u"a"_s);
    QVERIFY(boxes.boxes.isEmpty());
    QVERIFY(sound.requests.isEmpty());
    QCOMPARE(answersOf(form->resultLog()).size(), 1);
}

void TestFaults::baseUnreadableWhileRunning()
{
    WorkDir dir;
    RecordingPresenter boxes;
    writeFile(u"baza.leh"_s, "x\r\n");
    auto form = startForm();
    QFile::setPermissions(u"baza.leh"_s, QFile::WriteOwner);
    answer(*form, u"a"_s);
    QCOMPARE(boxes.errors(), QStringList{u"Cannot open file \"%1/baza.leh\". Permission denied."_s.arg(dir.path())});
    QVERIFY(answersOf(form->resultLog()).isEmpty());
    QFile::setPermissions(u"baza.leh"_s, QFile::ReadOwner | QFile::WriteOwner);
    answer(*form, u"a"_s);
    QCOMPARE(answersOf(form->resultLog()).size(), 1);
}

void TestFaults::binaryGarbageBase()
{
    WorkDir dir;
    RecordingPresenter boxes;
    RandomSource r;
    r.setSeed(99);
    QByteArray garbage(3 << 20, Qt::Uninitialized);
    for (char &c : garbage)
        c = char(1 + r.random(255)); // no zero byte, so the whole file counts
    writeFile(u"baza.leh"_s, garbage);
    writeFile(u"vedalka.log"_s, garbage.left(100000));
    const LineList expected = LineList::fromText(garbage);
    auto form = startForm();
    QStringList names;
    for (int i = 0; i < 30; ++i) {
        names << u"имя %1"_s.arg(i);
        answer(*form, names.last());
    }
    QVERIFY(boxes.boxes.isEmpty());
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QByteArray line = answersOf(form->resultLog()).at(i);
        const QByteArray prefix = cp(names.at(i)) + " - ";
        QVERIFY(line.startsWith(prefix));
        QVERIFY(expected.lines().contains(line.mid(prefix.size())));
    }
    const QList<QByteArray> answers = answersOf(form->resultLog());
    QVERIFY(form->close());
    // The log reads back as the old lines followed by this run's answers, one per line.
    const LineList log = LineList::fromText(readFile(u"vedalka.log"_s));
    const LineList oldLines = LineList::fromText(garbage.left(100000));
    QCOMPARE(log.count(), oldLines.count() + names.size());
    QCOMPARE(log.lines().mid(0, oldLines.count()), oldLines.lines());
    QCOMPARE(log.lines().mid(oldLines.count()), answers);
}

void TestFaults::hugeBaseAndLog()
{
    WorkDir dir;
    RecordingPresenter boxes;
    // About 300 MB of phrases ending in one line of 100 MB; a log of 100 MB.
    {
        QFile base(u"baza.leh"_s);
        QVERIFY(base.open(QIODevice::WriteOnly));
        const QByteArray block = QByteArray("a phrase of some length\r\n").repeated(40000);
        for (int i = 0; i < 200; ++i)
            base.write(block);
        base.write(QByteArray(100 << 20, 'L'));
    }
    const QByteArray logLine = QByteArray("someone - something\r\n");
    {
        QFile log(u"vedalka.log"_s);
        QVERIFY(log.open(QIODevice::WriteOnly));
        const QByteArray block = logLine.repeated(50000);
        for (int i = 0; i < 100; ++i)
            log.write(block);
    }
    auto form = startForm();
    // The last line is drawn for a counter whose first draw over 8000001 lines is the last one.
    quint64 counter = 0;
    for (;; ++counter) {
        RandomSource r;
        r.setSeed(quint32(counter));
        if (r.random(8000001) == 8000000)
            break;
    }
    {
        FixedCounter fixed(counter);
        answer(*form, u"длинный"_s);
    }
    answer(*form, u"обычный"_s);
    QVERIFY(boxes.boxes.isEmpty());
    QCOMPARE(form->Vedalka->text(), u"a phrase of some length"_s);
    QVERIFY(form->close());
    QFile log(u"vedalka.log"_s);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.size(), qint64(logLine.size()) * 5000000 + (cp(u"длинный - "_s).size() + (100 << 20) + 2)
                             + cp(u"обычный - a phrase of some length\r\n"_s).size());
    log.seek(qint64(logLine.size()) * 5000000);
    QCOMPARE(log.read(cp(u"длинный - "_s).size() + 3), cp(u"длинный - LLL"_s));
}

void TestFaults::hugeNamePastedAndControlCharacters()
{
    WorkDir dir;
    RecordingPresenter boxes;
    writeFile(u"baza.leh"_s, "x\r\n");
    auto form = startForm();
    form->Chel->setFocus();
    form->Chel->clear();
    form->Chel->insert(QString(1 << 20, u'я'));
    // The name field has no length limit: the whole paste is the name.
    QCOMPARE(form->Chel->text().size(), 1 << 20);
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    form->Chel->clear();
    form->Chel->insert(u"таб\tи\u0001звонок\u0007 😀\r\n"_s);
    // What can be stored goes in as an edit of its own, just after the one that was refused.
    QTRY_COMPARE(form->Chel->text(), u"таб\tи\u0001звонок\u0007 "_s);
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    QVERIFY(boxes.boxes.isEmpty());
    QVERIFY(form->close());
    const QByteArray log = readFile(u"vedalka.log"_s);
    QCOMPARE(log, QByteArray(1 << 20, '\xff') + " - x\r\n" + cp(u"таб\tи\u0001звонок\u0007 "_s) + " - x\r\n");
}

void TestFaults::terminationSignalSavesTheLog_data()
{
    QTest::addColumn<bool>("modalOpen");
    // Who closes: "signal", "session manager" (its quit request), "user", or "user, then signal"
    // (the session ends while the user's close shows its error).
    QTest::addColumn<QString>("closedBy");
    QTest::addColumn<bool>("logReplacedByFolder");
    // Starts after the session's close while the user's state folder is read-only.
    QTest::addColumn<int>("readOnlyStarts");
    QTest::newRow("main window in front") << false << u"signal"_s << false << 0;
    QTest::newRow("About window open") << true << u"signal"_s << false << 0;
    QTest::newRow("log replaced by a folder") << false << u"signal"_s << true << 0;
    QTest::newRow("log replaced by a folder, About window open") << true << u"signal"_s << true << 0;
    QTest::newRow("session manager's quit, log replaced by a folder") << false << u"session manager"_s << true << 0;
    QTest::newRow("user's close, log replaced by a folder") << false << u"user"_s << true << 0;
    QTest::newRow("session ends while the user's close shows its error") << false << u"user, then signal"_s << true << 0;
    QTest::newRow("log replaced by a folder, then three starts with a read-only state folder")
        << false << u"signal"_s << true << 3;
}

void TestFaults::terminationSignalSavesTheLog()
{
    QFETCH(bool, modalOpen);
    QFETCH(QString, closedBy);
    QFETCH(bool, logReplacedByFolder);
    QFETCH(int, readOnlyStarts);
    WorkDir dir;
    QTemporaryDir state;
    const QByteArray oldState = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    const auto restoreState = qScopeGuard([&oldState] {
        if (oldState.isNull())
            qunsetenv("XDG_STATE_HOME");
        else
            qputenv("XDG_STATE_HOME", oldState);
    });
    RecordingPresenter boxes;
    writeFile(u"baza.leh"_s, "x\r\n");
    auto form = startForm();
    answer(*form, u"a"_s);
    answer(*form, u"b"_s);
    if (logReplacedByFolder) {
        QVERIFY(QFile::remove(u"vedalka.log"_s));
        makeDir(u"vedalka.log"_s);
    }
    // What the session leaves in the user's state folder: a note of the unsaved answers.
    const auto kept = [&state] {
        return QDir(state.path() + u"/vedalka"_s).entryList(QDir::Files | QDir::Hidden);
    };

    if (closedBy.startsWith(u"user"_s)) {
        if (closedBy.endsWith(u"signal"_s))
            boxes.onBox = [&](const RecordingPresenter::Box &) { form->requestClose(); };
        const bool closed = form->close();
        boxes.onBox = nullptr;
        QCOMPARE(boxes.errors().size(), 1);
        if (!closedBy.endsWith(u"signal"_s)) {
            // The user's close keeps its ways: the error, the window open, the answers waiting.
            QVERIFY(!closed);
            QVERIFY(form->isVisible());
            QCOMPARE(form->resultLog().pendingCount(), 2);
            QVERIFY(kept().isEmpty());
            QDir().rmdir(u"vedalka.log"_s);
            QVERIFY(form->close());
            QCOMPARE(readFile(u"vedalka.log"_s), "a - x\r\nb - x\r\n"_ba);
            return;
        }
    } else if (closedBy == u"session manager"_s) {
        QEvent quit(QEvent::Quit);
        QCoreApplication::sendEvent(qApp, &quit);
    } else if (modalOpen) {
        whenModalAppears([](QWidget *) {
            ::raise(SIGTERM);
            ::raise(SIGTERM); // a second signal while closing changes nothing
        });
        form->N1->trigger();
    } else {
        ::raise(SIGTERM);
        ::raise(SIGINT);
    }
    QTRY_VERIFY(!form->isVisible());
    QVERIFY(!form->AboutForm->isVisible());
    if (!logReplacedByFolder) {
        QCOMPARE(readFile(u"vedalka.log"_s), "a - x\r\nb - x\r\n"_ba);
        QVERIFY(boxes.boxes.isEmpty());
        QCOMPARE(form->exitCode(), 0);
        return;
    }

    // Nobody is asked anything at a session's end: the answers wait in a note in the state folder.
    QCOMPARE(boxes.errors().size(), closedBy.startsWith(u"user"_s) ? 1 : 0);
    QCOMPARE(form->exitCode(), 1);
    QCOMPARE(form->resultLog().pendingCount(), 0);
    QCOMPARE(kept().size(), 1);
    QVERIFY(readFile(state.path() + u"/vedalka/"_s + kept().at(0)).startsWith("a - x\r\nb - x\r\n"));
    form.reset();

    // The next start here puts them in at its close, in front of its own answers; not while
    // the note cannot be claimed, so never twice.
    QDir().rmdir(u"vedalka.log"_s);
    writeFile(u"vedalka.log"_s, "old\r\n");
    QFile::setPermissions(state.path() + u"/vedalka"_s, QFile::ReadOwner | QFile::ExeOwner);
    for (int start = 0; start < readOnlyStarts; ++start) {
        form = startForm();
        QVERIFY(form->close());
        QCOMPARE(readFile(u"vedalka.log"_s), "old\r\n"_ba);
        QCOMPARE(kept().size(), 1);
    }
    QFile::setPermissions(state.path() + u"/vedalka"_s, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    form = startForm();
    answer(*form, u"c"_s);
    QCOMPARE(kept().size(), 1);
    QVERIFY(form->close());
    QCOMPARE(readFile(u"vedalka.log"_s), "old\r\na - x\r\nb - x\r\nc - x\r\n"_ba);
    QCOMPARE(kept(), QStringList());
}

void TestFaults::storesWrittenWhereTheyAre_data()
{
    QTest::addColumn<Place>("place");
    QTest::newRow("read-only folder, writable stores") << Place::ReadOnlyFolder;
    QTest::newRow("log linked to a character device") << Place::Device;
    QTest::newRow("log linked to a pipe with a reader") << Place::Fifo;
    QTest::newRow("log locked by another program") << Place::Lock;
}

// A store is changed where it is, whatever holds it; a log another program keeps locked is
// reported at once, and the answers wait in an open, usable window.
void TestFaults::storesWrittenWhereTheyAre()
{
    QFETCH(Place, place);
    WorkDir dir;
    RecordingPresenter boxes;
    writeFile(u"baza.leh"_s, "x\r\n");
    writeFile(u"picture.dat"_s, cp(u"номер последней картинки\r\n7\r\nmore\r\n"_s));
    int reader = -1;
    if (place == Place::Device) {
        QVERIFY(QFile::link(u"/dev/null"_s, u"vedalka.log"_s));
    } else if (place == Place::Fifo) {
        QCOMPARE(::mkfifo("pipe", 0600), 0);
        QVERIFY(QFile::link(u"pipe"_s, u"vedalka.log"_s));
        reader = ::open("pipe", O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
    } else {
        writeFile(u"vedalka.log"_s, "old\r\n");
    }
    if (place == Place::ReadOnlyFolder)
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    auto form = startForm();
    answer(*form, u"a"_s);
    if (place == Place::ReadOnlyFolder) {
        form->Dobavlenie->New->setText(u"y"_s);
        form->Dobavlenie->DobavitClick();
        form->N4Click();
    } else if (place == Place::Lock) {
        // Another program holds the log's lock (its own open file, as flock(1) would).
        QFile other(u"vedalka.log"_s);
        QVERIFY(other.open(QIODevice::ReadOnly));
        QCOMPARE(::flock(other.handle(), LOCK_EX), 0);
        QElapsedTimer took;
        took.start();
        QVERIFY(!form->close());
        QVERIFY(took.elapsed() < 5000);
        QCOMPARE(boxes.errors(),
                 QStringList{u"Cannot create file \"%1/vedalka.log\". Resource temporarily unavailable."_s.arg(dir.path())});
        QVERIFY(form->isVisible());
        answer(*form, u"b"_s);
        other.close();
    }
    QVERIFY(form->close());
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(boxes.errors().size(), place == Place::Lock ? 1 : 0);
    if (place == Place::Device) {
        struct stat st;
        QVERIFY(::stat("/dev/null", &st) == 0 && S_ISCHR(st.st_mode));
        QVERIFY(QFileInfo(u"vedalka.log"_s).isSymLink());
    } else if (place == Place::Fifo) {
        QByteArray got(100, '\0');
        const ssize_t n = ::read(reader, got.data(), size_t(got.size()));
        ::close(reader);
        QCOMPARE(got.left(qMax<ssize_t>(n, 0)), "a - x\r\n"_ba);
        struct stat st;
        QVERIFY(::stat("pipe", &st) == 0 && S_ISFIFO(st.st_mode));
    } else if (place == Place::Lock) {
        QCOMPARE(readFile(u"vedalka.log"_s), "old\r\na - x\r\nb - x\r\n"_ba);
    } else {
        QCOMPARE(readFile(u"vedalka.log"_s), "old\r\na - x\r\n"_ba);
        QCOMPARE(readFile(u"baza.leh"_s), "x\r\ny\r\n"_ba);
        QCOMPARE(readFile(u"picture.dat"_s), cp(u"номер последней картинки\r\n-1\r\nmore\r\n"_s));
        QCOMPARE(boxes.messages().size(), 1); // the recount's report
    }
}

VEDALKA_TEST_MAIN(TestFaults)
#include "tst_faults.moc"
