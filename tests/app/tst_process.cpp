// The real program in a real X server: a user types names and presses the button, then the
// session ends the program with a signal, or the display goes away under it (the X server, or
// the Wayland compositor the program runs on natively). The answers must
// be in the log, or, when the log cannot take them, kept in a note in the state folder until the next start.
#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace TestSupport;

class TestProcess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void terminatedAfterAnswers_data();
    void terminatedAfterAnswers();
    void displayGoneAfterAnswers_data();
    void displayGoneAfterAnswers();

private:
    // Starts an X server on a free display; empty when it could not.
    static QString startXServer(QProcess &server);
    static QString xdotool(const QString &display, const QStringList &args);
    // Starts Weston in a window of `display` (its X11 back end takes xdotool's input there), with
    // the kiosk shell, which puts the program's window at its origin; the socket's name, empty
    // when it could not.
    QString startWeston(QProcess &weston, const QString &display);
    // Starts the program in the current folder on `display`, or natively on the Weston of
    // `waylandSocket` shown there, types two names and presses the button after each.
    // `abruptEnd`: the program will not get to tear itself down.
    void answerTwoNames(QProcess &program, const QString &display, bool abruptEnd = false,
                        const QString &waylandSocket = {});

    QProcess m_xserver;
    QString m_display;
    // The user's state folder, where the kept answers go.
    QTemporaryDir m_state;
    // Weston's sockets.
    QTemporaryDir m_runtime;
};

QString TestProcess::startXServer(QProcess &server)
{
    // The server names a free display itself and writes its number to the given descriptor.
    server.setProcessChannelMode(QProcess::SeparateChannels);
    server.start(QStandardPaths::findExecutable(u"Xvfb"_s),
                 {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"1280x800x24"_s, u"-nolisten"_s, u"tcp"_s});
    if (!server.waitForStarted())
        return {};
    QElapsedTimer timer;
    timer.start();
    while (!server.canReadLine() && timer.elapsed() < 10000)
        server.waitForReadyRead(100);
    return server.canReadLine() ? u":"_s + QString::fromLatin1(server.readLine().trimmed()) : QString();
}

void TestProcess::initTestCase()
{
    if (QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty() || QStandardPaths::findExecutable(u"xdotool"_s).isEmpty())
        QSKIP("Xvfb and xdotool are needed (scripts/setup-deps installs them)");
    m_display = startXServer(m_xserver);
    QVERIFY(!m_display.isEmpty());
    QVERIFY(m_state.isValid());
    QVERIFY(m_runtime.isValid());
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_state.path()));
}

QString TestProcess::startWeston(QProcess &weston, const QString &display)
{
    static int count = 0;
    const QString socket = u"vedalka-test-%1-%2"_s.arg(QCoreApplication::applicationPid()).arg(++count);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, display);
    env.insert(u"XDG_RUNTIME_DIR"_s, m_runtime.path());
    weston.setProcessEnvironment(env);
    weston.setProcessChannelMode(QProcess::MergedChannels);
    weston.start(u"weston"_s, {u"--backend=x11-backend.so"_s, u"--shell=kiosk-shell.so"_s, u"--use-pixman"_s,
                               u"--width=1024"_s, u"--height=768"_s, u"--idle-time=0"_s, u"--socket="_s + socket});
    if (!weston.waitForStarted())
        return {};
    QElapsedTimer timer;
    timer.start();
    while (!QFile::exists(m_runtime.filePath(socket)) && weston.state() == QProcess::Running && timer.elapsed() < 20000)
        weston.waitForFinished(100);
    return QFile::exists(m_runtime.filePath(socket)) ? socket : QString();
}

void TestProcess::cleanupTestCase()
{
    if (m_xserver.state() != QProcess::NotRunning) {
        m_xserver.terminate();
        m_xserver.waitForFinished(5000);
    }
}

QString TestProcess::xdotool(const QString &display, const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, display);
    p.setProcessEnvironment(env);
    p.start(u"xdotool"_s, args);
    p.waitForFinished(20000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

void TestProcess::answerTwoNames(QProcess &program, const QString &display, bool abruptEnd,
                                 const QString &waylandSocket)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // In the sanitizer build: what the libraries hold when exit() cuts the event loop short is
    // still allocated and not ours to free; every other check stays on.
    if (abruptEnd && env.contains(u"ASAN_OPTIONS"_s))
        env.insert(u"ASAN_OPTIONS"_s, env.value(u"ASAN_OPTIONS"_s) + u":detect_leaks=0"_s);
    if (waylandSocket.isEmpty()) {
        env.insert(u"DISPLAY"_s, display);
        env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    } else {
        env.remove(u"DISPLAY"_s);
        env.insert(u"QT_QPA_PLATFORM"_s, u"wayland"_s);
        env.insert(u"WAYLAND_DISPLAY"_s, waylandSocket);
        env.insert(u"XDG_RUNTIME_DIR"_s, m_runtime.path());
        // The protocol on stderr says when the window has the keyboard.
        env.insert(u"WAYLAND_DEBUG"_s, u"1"_s);
    }
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(QDir::currentPath());
    program.start(reachable(VEDALKA_EXE), {});
    QVERIFY(program.waitForStarted());

    QString window;
    int top = 0;
    QStringList inWindow;
    if (waylandSocket.isEmpty()) {
        window = xdotool(display, {u"search"_s, u"--sync"_s, u"--onlyvisible"_s, u"--name"_s, u"^ВЕДАЛКА$"_s})
                     .section(u'\n', 0, 0);
        QVERIFY2(!window.isEmpty(), "the main window did not appear");
        // The client area is 688 x 432 under the menu bar.
        const QString geometry = xdotool(display, {u"getwindowgeometry"_s, u"--shell"_s, window});
        const int height = geometry.section(u"HEIGHT="_s, 1).section(u'\n', 0, 0).toInt();
        top = height - 432;
        QVERIFY2(top > 0 && top < 100, qPrintable(geometry));
        inWindow = {u"--window"_s, window};
    } else {
        window = xdotool(display, {u"search"_s, u"--sync"_s, u"--classname"_s, u"weston"_s}).section(u'\n', 0, 0);
        QVERIFY2(!window.isEmpty(), "Weston's window did not appear");
        QByteArray protocol;
        QElapsedTimer timer;
        timer.start();
        while (!protocol.contains(".enter(") && program.state() == QProcess::Running && timer.elapsed() < 30000) {
            program.waitForReadyRead(100);
            for (const QByteArray &line : program.readAllStandardError().split('\n'))
                if (line.contains("wl_keyboard") && line.contains(".enter("))
                    protocol = line;
        }
        QVERIFY2(!protocol.isEmpty(), "the main window did not get the keyboard");
        // No frame around the window: the client area sits under the menu bar, a little over
        // 20 pixels high (the clicks below hit anywhere from 12 to 36).
        top = 24;
        // Keys reach Weston as real input: sent to its window, they would lose their Shift.
    }

    for (const QString &name : {u"Masha"_s, u"Petya"_s}) {
        xdotool(display, {u"mousemove"_s, u"--window"_s, window, u"400"_s, QString::number(top + 236), u"click"_s,
                          u"--repeat"_s, u"3"_s, u"1"_s});
        xdotool(display, QStringList{u"key"_s} + inWindow + QStringList{u"ctrl+a"_s, u"BackSpace"_s});
        xdotool(display, QStringList{u"type"_s} + inWindow + QStringList{u"--delay"_s, u"20"_s, name});
        xdotool(display, {u"mousemove"_s, u"--window"_s, window, u"364"_s, QString::number(top + 392), u"click"_s, u"1"_s});
    }
    // Let the last click be handled before the program is ended.
    QTest::qWait(500);
}

void TestProcess::terminatedAfterAnswers_data()
{
    QTest::addColumn<int>("signal");
    // How the log is made unsavable before the signal in each of `failedRuns` runs, and put right
    // after it; a last run then ends normally.
    QTest::addColumn<QString>("unsavable");
    QTest::addColumn<int>("failedRuns");
    QTest::newRow("SIGTERM") << int(SIGTERM) << QString() << 0;
    QTest::newRow("SIGHUP") << int(SIGHUP) << QString() << 0;
    QTest::newRow("SIGINT") << int(SIGINT) << QString() << 0;
    QTest::newRow("SIGTERM, log replaced by a folder") << int(SIGTERM) << u"folder"_s << 1;
    QTest::newRow("SIGHUP, read-only folder and log, in two runs") << int(SIGHUP) << u"read-only"_s << 2;
    QTest::newRow("SIGINT, log locked by another program") << int(SIGINT) << u"locked"_s << 1;
}

void TestProcess::terminatedAfterAnswers()
{
    QFETCH(int, signal);
    QFETCH(QString, unsavable);
    QFETCH(int, failedRuns);
    WorkDir dir;
    writeFile(u"baza.leh"_s, "knows everything\r\n");
    writeFile(u"vedalka.log"_s, "old - answer\r\n");
    const QByteArray twoAnswers = "Masha - knows everything\r\nPetya - knows everything\r\n";
    const QString state = m_state.path() + u"/vedalka"_s;
    QByteArray kept;
    for (int run = 0; run < failedRuns; ++run) {
        QProcess program;
        answerTwoNames(program, m_display);
        if (QTest::currentTestFailed())
            return;
        QProcess holder;
        if (unsavable == u"folder"_s) {
            QVERIFY(QFile::remove(u"vedalka.log"_s));
            makeDir(u"vedalka.log"_s);
        } else if (unsavable == u"locked"_s) {
            // One process holds the lock, so ending it lets the lock go.
            holder.start(u"sh"_s, {u"-c"_s, u"exec 9<vedalka.log && flock -x 9 && echo locked && exec sleep 30"_s});
            QVERIFY(holder.waitForReadyRead(5000));
        } else {
            QFile::setPermissions(u"vedalka.log"_s, QFile::ReadOwner);
            QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        }
        ::kill(pid_t(program.processId()), signal);
        // Ends within seconds whatever the disk says, with one line saying where the answers went.
        const bool ended = program.waitForFinished(5000);
        if (unsavable == u"folder"_s) {
            QDir().rmdir(u"vedalka.log"_s);
            writeFile(u"vedalka.log"_s, "old - answer\r\n");
        } else if (unsavable == u"locked"_s) {
            ::kill(pid_t(holder.processId()), SIGKILL);
            holder.waitForFinished(5000);
        } else {
            QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QFile::setPermissions(u"vedalka.log"_s, QFile::ReadOwner | QFile::WriteOwner);
        }
        QVERIFY(ended);
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 1);
        const QByteArray errors = program.readAllStandardError();
        QByteArrayList said;
        for (const QByteArray &line : errors.split('\n'))
            if (line.startsWith("vedalka: "))
                said << line;
        QCOMPARE(said.size(), 1);
        QVERIFY2(said.at(0).contains(QFile::encodeName(state + u"/answers-"_s)), errors.constData());
        QCOMPARE(readFile(u"vedalka.log"_s), "old - answer\r\n"_ba);
        // Each run keeps only its own answers; what an earlier run kept stays as it was.
        kept += twoAnswers;
        const QStringList notes = QDir(state).entryList(QDir::Files, QDir::Time | QDir::Reversed);
        QCOMPARE(notes.size(), run + 1);
        QVERIFY(readFile(state + u'/' + notes.last()).startsWith(twoAnswers));
    }

    QProcess program;
    answerTwoNames(program, m_display);
    if (QTest::currentTestFailed())
        return;
    ::kill(pid_t(program.processId()), signal);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    // Kept answers go in first, as they were given first; then the file that held them goes.
    QCOMPARE(readFile(u"vedalka.log"_s), "old - answer\r\n" + kept + twoAnswers);
    QCOMPARE(QDir(m_state.path() + u"/vedalka"_s).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestProcess::displayGoneAfterAnswers_data()
{
    QTest::addColumn<bool>("wayland");
    QTest::addColumn<bool>("logReplacedByFolder");
    QTest::newRow("X server, log in place") << false << false;
    QTest::newRow("X server, log replaced by a folder") << false << true;
    QTest::newRow("Wayland compositor, log in place") << true << false;
    QTest::newRow("Wayland compositor, log replaced by a folder") << true << true;
}

void TestProcess::displayGoneAfterAnswers()
{
    QFETCH(bool, wayland);
    QFETCH(bool, logReplacedByFolder);
    if (wayland && QStandardPaths::findExecutable(u"weston"_s).isEmpty())
        QSKIP("Weston is needed for the program on Wayland (scripts/setup-deps installs it)");
    WorkDir dir;
    writeFile(u"baza.leh"_s, "knows everything\r\n");
    writeFile(u"vedalka.log"_s, "old - answer\r\n");
    const QByteArray twoAnswers = "Masha - knows everything\r\nPetya - knows everything\r\n";
    const QString state = m_state.path() + u"/vedalka"_s;

    QProcess server;
    const QString display = startXServer(server);
    QVERIFY(!display.isEmpty());
    QProcess weston;
    const QString socket = wayland ? startWeston(weston, display) : QString();
    if (wayland && socket.isEmpty())
        QFAIL(weston.readAll().constData());
    QProcess program;
    answerTwoNames(program, display, true, socket);
    if (logReplacedByFolder) {
        QVERIFY(QFile::remove(u"vedalka.log"_s));
        makeDir(u"vedalka.log"_s);
    }
    QProcess &gone = wayland ? weston : server;
    gone.kill();
    gone.waitForFinished(5000);
    if (QTest::currentTestFailed())
        return;

    // Qt ends the program itself when its display connection breaks, in ways that differ by
    // version; the answers still reach the log, or a note of kept answers when the log cannot
    // take them, and stderr says where.
    QVERIFY(program.waitForFinished(10000));
    server.kill();
    server.waitForFinished(5000);
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    const QByteArray errors = program.readAllStandardError();
    QVERIFY2(!errors.contains("Sanitizer"), errors.constData());
    if (logReplacedByFolder) {
        const QStringList notes = QDir(state).entryList(QDir::Files);
        QCOMPARE(notes.size(), 1);
        QVERIFY2(errors.contains(QFile::encodeName(state + u'/' + notes.at(0))), errors.constData());
        QVERIFY(readFile(state + u'/' + notes.at(0)).startsWith(twoAnswers));
        QVERIFY(QDir().rmdir(u"vedalka.log"_s));
        QVERIFY(QFile::remove(state + u'/' + notes.at(0)));
    } else {
        QCOMPARE(readFile(u"vedalka.log"_s), "old - answer\r\n" + twoAnswers);
        QVERIFY2(errors.contains(QFile::encodeName(dir.file(u"vedalka.log"_s))), errors.constData());
    }
}

VEDALKA_TEST_MAIN(TestProcess, VEDALKA_EXE, VEDALKA_SOUND_LIBRARY)
#include "tst_process.moc"
