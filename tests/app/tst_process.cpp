// The real program in a real X server: a user types names and presses the button, then the
// session ends the program with SIGTERM. The answers must be in the log.
#include "support/TestSupport.h"

#include <QProcess>
#include <QStandardPaths>

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

private:
    QString xdotool(const QStringList &args);

    QProcess m_xserver;
    QString m_display;
};

void TestProcess::initTestCase()
{
    const QString xvfb = QStandardPaths::findExecutable(u"Xvfb"_s);
    if (xvfb.isEmpty() || QStandardPaths::findExecutable(u"xdotool"_s).isEmpty())
        QSKIP("Xvfb and xdotool are needed (scripts/setup-deps installs them)");
    // The server names a free display itself and writes its number to the given descriptor.
    m_xserver.setProcessChannelMode(QProcess::SeparateChannels);
    m_xserver.start(xvfb, {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"1280x800x24"_s, u"-nolisten"_s, u"tcp"_s});
    QVERIFY(m_xserver.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(m_xserver.canReadLine(), 10000);
    m_display = u":"_s + QString::fromLatin1(m_xserver.readLine().trimmed());
}

void TestProcess::cleanupTestCase()
{
    if (m_xserver.state() != QProcess::NotRunning) {
        m_xserver.terminate();
        m_xserver.waitForFinished(5000);
    }
}

QString TestProcess::xdotool(const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, m_display);
    p.setProcessEnvironment(env);
    p.start(u"xdotool"_s, args);
    p.waitForFinished(20000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

void TestProcess::terminatedAfterAnswers_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGHUP") << int(SIGHUP);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestProcess::terminatedAfterAnswers()
{
    QFETCH(int, signal);
    WorkDir dir;
    writeFile(u"baza.leh"_s, "knows everything\r\n");
    writeFile(u"vedalka.log"_s, "old - answer\r\n");

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, m_display);
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(dir.path());
    program.start(QStringLiteral(VEDALKA_EXE), {});
    QVERIFY(program.waitForStarted());

    const QString window = xdotool({u"search"_s, u"--sync"_s, u"--onlyvisible"_s, u"--name"_s, u"^ВЕДАЛКА$"_s}).section(u'\n', 0, 0);
    QVERIFY2(!window.isEmpty(), "the main window did not appear");
    // The client area is 688 x 432 under the menu bar.
    const QString geometry = xdotool({u"getwindowgeometry"_s, u"--shell"_s, window});
    const int height = geometry.section(u"HEIGHT="_s, 1).section(u'\n', 0, 0).toInt();
    const int top = height - 432;
    QVERIFY2(top > 0 && top < 100, qPrintable(geometry));

    for (const QString &name : {u"Masha"_s, u"Petya"_s}) {
        xdotool({u"mousemove"_s, u"--window"_s, window, u"400"_s, QString::number(top + 236), u"click"_s, u"--repeat"_s,
                 u"3"_s, u"1"_s});
        xdotool({u"key"_s, u"--window"_s, window, u"ctrl+a"_s, u"BackSpace"_s});
        xdotool({u"type"_s, u"--window"_s, window, u"--delay"_s, u"20"_s, name});
        xdotool({u"mousemove"_s, u"--window"_s, window, u"364"_s, QString::number(top + 392), u"click"_s, u"1"_s});
    }
    // Let the last click be handled before the signal.
    QTest::qWait(500);
    ::kill(pid_t(program.processId()), signal);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(readFile(u"vedalka.log"_s), "old - answer\r\nMasha - knows everything\r\nPetya - knows everything\r\n"_ba);
}

VEDALKA_TEST_MAIN(TestProcess)
#include "tst_process.moc"
