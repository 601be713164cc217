// The system sound player on a machine without sound: where each kind of request finds its
// WAV image, how event names find the desktop's theme sounds, and that every request, sound
// or none, returns without a message, a hang or a crash.
#include "platform/SystemSound.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QResource>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace TestSupport;
using namespace SystemSound;

Q_DECLARE_METATYPE(SystemSound::SoundRequest)

namespace {

SoundRequest request(quint32 flags, const QString &name, const QByteArray &data = {}, const QString &module = {})
{
    SoundRequest r;
    r.flags = flags;
    r.name = name;
    r.data = data;
    r.module = module;
    return r;
}

// Files of every sort a request may meet, in the working folder.
void makeSoundFiles()
{
    makeDir(u"Звуки"_s);
    writeFile(u"Звуки/смех1.wav"_s, makeTone(22050, 1, 200));
    writeFile(u"long.wav"_s, makeTone(8000, 2, 10000));
    writeFile(u"malformed.wav"_s, "RIFF\x10\x00\x00\x00WAVEfmt \x02\x00\x00\x00zz and then nothing useful");
    writeFile(u"truncated.wav"_s, makeTone(8000, 1, 100).first(30));
    makeDir(u"folder.wav"_s);
    writeFile(u"locked.wav"_s, makeTone(8000, 1, 50));
    QFile::setPermissions(u"locked.wav"_s, {});
    if (::mkfifo("pipe.wav", 0600) != 0)
        qFatal("cannot make a pipe");
    // Sparse: takes no room on disk.
    QFile huge(u"huge.wav"_s);
    if (!huge.open(QIODevice::WriteOnly) || !huge.resize(MaxSoundBytes + 1))
        qFatal("cannot make a large file");
}

// Builds a resource file holding a WAV as ":/WAVE/TESTWAVE" with Qt's resource compiler.
bool registerTestResource(const QByteArray &wav)
{
    writeFile(u"test.wav"_s, wav);
    writeFile(u"test.qrc"_s, "<RCC><qresource prefix=\"/WAVE\"><file alias=\"TESTWAVE\">test.wav</file></qresource></RCC>");
    QProcess rcc;
    rcc.start(QStringLiteral(VEDALKA_RCC), {u"--binary"_s, u"test.qrc"_s, u"-o"_s, u"test.rcc"_s});
    return rcc.waitForFinished(60000) && rcc.exitCode() == 0 && QResource::registerResource(u"test.rcc"_s);
}

// Points the theme lookup at other folders while the object lives.
class ThemeFolders
{
public:
    ThemeFolders(const QString &home, const QString &system)
        : m_home(qgetenv("XDG_DATA_HOME"))
        , m_dirs(qgetenv("XDG_DATA_DIRS"))
    {
        qputenv("XDG_DATA_HOME", home.toLocal8Bit());
        qputenv("XDG_DATA_DIRS", system.toLocal8Bit());
    }
    ~ThemeFolders()
    {
        qputenv("XDG_DATA_HOME", m_home);
        qputenv("XDG_DATA_DIRS", m_dirs);
    }

private:
    QByteArray m_home;
    QByteArray m_dirs;
};

} // namespace

class TestSystemSound : public QObject
{
    Q_OBJECT

private slots:
    void outputLibraryLoads();
    void stopRequests_data();
    void stopRequests();
    void soundImage_data();
    void soundImage();
    void eventSoundFile_data();
    void eventSoundFile();
    void everyRequestSilentWithoutDevice_data();
    void everyRequestSilentWithoutDevice();
    void themeSoundDecodedInBackground_data();
    void themeSoundDecodedInBackground();
    void newRequestDropsThemeSoundBeingDecoded();
};

// The audio output is a library of its own, loaded at the first sound; without it every laugh
// would be silence, and nothing else would say so.
void TestSystemSound::outputLibraryLoads()
{
    QVERIFY(SystemSound::hasOutput());
}

void TestSystemSound::stopRequests_data()
{
    QTest::addColumn<SoundRequest>("request");
    QTest::addColumn<bool>("stops");

    QTest::newRow("the empty request") << SoundRequest{} << true;
    QTest::newRow("a file without a name") << request(0x22003, {}) << true;
    QTest::newRow("a named file") << request(0x22003, u"a.wav"_s) << false;
    QTest::newRow("stored bytes, none held") << request(0x2007, {}) << true;
    QTest::newRow("stored bytes") << request(0x2007, {}, "RIFF") << false;
    QTest::newRow("a named resource, no bytes") << request(0x42007, u"WAVE1"_s) << false;
    QTest::newRow("a resource without a name") << request(0x42007, {}, "RIFF") << true;
    QTest::newRow("an event") << request(0x12003, u".Default"_s) << false;
}

void TestSystemSound::stopRequests()
{
    QFETCH(SoundRequest, request);
    QFETCH(bool, stops);
    QCOMPARE(request.isStop(), stops);
}

void TestSystemSound::soundImage_data()
{
    QTest::addColumn<SoundRequest>("request");
    QTest::addColumn<QByteArray>("image");

    const QByteArray tone = makeTone(22050, 1, 200);
    const QByteArray small = makeTone(8000, 1, 30);
    const quint32 file = SND_FILENAME | SND_ASYNC;
    QTest::newRow("a file with a Cyrillic path") << request(file, u"Звуки/смех1.wav"_s) << tone;
    QTest::newRow("a file, by a request of no kind") << request(SND_ASYNC, u"Звуки/смех1.wav"_s) << tone;
    QTest::newRow("a missing file") << request(file, u"Звуки/смех13.wav"_s) << QByteArray();
    QTest::newRow("a folder in place of the file") << request(file, u"folder.wav"_s) << QByteArray();
    QTest::newRow("a pipe in place of the file") << request(file, u"pipe.wav"_s) << QByteArray();
    QTest::newRow("an unreadable file") << request(file, u"locked.wav"_s) << QByteArray();
    QTest::newRow("a file over the size limit") << request(file, u"huge.wav"_s) << QByteArray();
    QTest::newRow("a device") << request(file, u"/dev/zero"_s) << QByteArray();
    QTest::newRow("stored bytes") << request(SND_MEMORY, {}, small) << small;
    QTest::newRow("an event names no image") << request(SND_ALIAS, u"Звуки/смех1.wav"_s) << QByteArray();
    QTest::newRow("a resource of the program") << request(SND_RESOURCE, u"TESTWAVE"_s, {}, programModule()) << small;
    QTest::newRow("a resource, module left empty") << request(SND_RESOURCE, u"TESTWAVE"_s) << small;
    QTest::newRow("a resource of another module") << request(SND_RESOURCE, u"TESTWAVE"_s, {}, u"/usr/bin/other"_s)
                                                  << QByteArray();
    QTest::newRow("a missing resource") << request(SND_RESOURCE, u"WAVE1"_s, {}, programModule()) << QByteArray();
    QTest::newRow("a resource name that climbs out")
        << request(SND_RESOURCE, u"../WAVE/TESTWAVE"_s, {}, programModule()) << QByteArray();
}

void TestSystemSound::soundImage()
{
    QFETCH(SoundRequest, request);
    QFETCH(QByteArray, image);

    WorkDir dir;
    makeSoundFiles();
    QVERIFY(registerTestResource(makeTone(8000, 1, 30)));
    QCOMPARE(SystemSound::soundImage(request), image);
    QVERIFY(QResource::unregisterResource(u"test.rcc"_s));
}

void TestSystemSound::eventSoundFile_data()
{
    QTest::addColumn<QString>("alias");
    QTest::addColumn<QString>("file");

    QTest::newRow("the default event") << u".Default"_s << u"home/sounds/freedesktop/stereo/bell.oga"_s;
    QTest::newRow("event names ignore case") << u"systemHAND"_s << u"system/sounds/freedesktop/stereo/dialog-error.wav"_s;
    QTest::newRow("the user's theme file first") << u"SystemAsterisk"_s
                                                 << u"home/sounds/freedesktop/stereo/dialog-information.ogg"_s;
    QTest::newRow("a missing name falls back to its shorter parts")
        << u"MailBeep"_s << u"system/sounds/freedesktop/stereo/message.oga"_s;
    QTest::newRow("a theme name as it is") << u"bell"_s << u"home/sounds/freedesktop/stereo/bell.oga"_s;
    QTest::newRow("a sound the user switched off") << u"SystemExclamation"_s << QString();
    QTest::newRow("an unknown event") << u"NoSuchEvent"_s << QString();
    QTest::newRow("no name") << QString() << QString();
    QTest::newRow("a path that climbs out") << u"../../../../etc/passwd"_s << QString();
    QTest::newRow("a hidden name") << u".hidden"_s << QString();
}

void TestSystemSound::eventSoundFile()
{
    QFETCH(QString, alias);
    QFETCH(QString, file);

    WorkDir dir;
    const QString home = u"home/sounds/freedesktop/stereo/"_s;
    const QString system = u"system/sounds/freedesktop/stereo/"_s;
    makeDir(home);
    makeDir(system);
    for (const QString &name : {home + u"bell.oga"_s, home + u"dialog-information.ogg"_s, home + u"dialog-warning.disabled"_s,
                                system + u"dialog-information.oga"_s, system + u"dialog-error.wav"_s,
                                system + u"dialog-warning.oga"_s, system + u"message.oga"_s, u".hidden.oga"_s})
        writeFile(name, "sound");
    const ThemeFolders theme(dir.file(u"home"_s), dir.file(u"system"_s));
    QCOMPARE(SystemSound::eventSoundFile(alias), file.isEmpty() ? QString() : dir.file(file));
}

void TestSystemSound::everyRequestSilentWithoutDevice_data()
{
    QTest::addColumn<SoundRequest>("request");
    QTest::addColumn<bool>("result");

    const quint32 main = 0x22003; // the main window's: async, no default, no wait, a file
    const quint32 sync = SND_FILENAME | SND_NODEFAULT;
    QTest::newRow("a laughter file") << request(main, u"Звуки/смех1.wav"_s) << false;
    QTest::newRow("a long file, waited for") << request(sync, u"long.wav"_s) << false;
    QTest::newRow("a file, looped") << request(main | SND_LOOP, u"long.wav"_s) << false;
    QTest::newRow("a file, looped and waited for") << request(sync | SND_LOOP, u"long.wav"_s) << false;
    QTest::newRow("a file, not stopping another") << request(main | SND_NOSTOP, u"long.wav"_s) << false;
    QTest::newRow("a missing file") << request(main, u"Звуки/смех13.wav"_s) << false;
    QTest::newRow("a malformed file") << request(main, u"malformed.wav"_s) << false;
    QTest::newRow("a truncated file") << request(main, u"truncated.wav"_s) << false;
    QTest::newRow("a folder in place of the file") << request(main, u"folder.wav"_s) << false;
    QTest::newRow("a pipe in place of the file, waited for") << request(sync, u"pipe.wav"_s) << false;
    QTest::newRow("an unreadable file") << request(main, u"locked.wav"_s) << false;
    QTest::newRow("a missing file, default sound allowed") << request(SND_FILENAME | SND_ASYNC, u"gone.wav"_s) << false;
    QTest::newRow("a missing file, default sound waited for") << request(SND_FILENAME, u"gone.wav"_s) << false;
    QTest::newRow("stored bytes") << request(SND_MEMORY | SND_ASYNC, {}, makeTone(8000, 1, 100)) << false;
    QTest::newRow("stored garbage") << request(SND_MEMORY | SND_ASYNC | SND_NODEFAULT, {}, "RIFF garbage") << false;
    QTest::newRow("stored garbage, default sound allowed") << request(SND_MEMORY | SND_ASYNC, {}, "RIFF garbage") << false;
    QTest::newRow("a resource of the program") << request(SND_RESOURCE | SND_ASYNC, u"TESTWAVE"_s, {}, programModule())
                                               << false;
    QTest::newRow("the default event") << request(SND_ALIAS | SND_ASYNC, u".Default"_s) << false;
    QTest::newRow("the default event, waited for") << request(SND_ALIAS, u".Default"_s) << false;
    QTest::newRow("an unknown event") << request(SND_ALIAS | SND_ASYNC | SND_NODEFAULT, u"NoSuchEvent"_s) << false;
    QTest::newRow("a name of no kind") << request(SND_ASYNC | SND_NODEFAULT, u"Звуки/смех1.wav"_s) << false;
    QTest::newRow("the empty request") << SoundRequest{} << true;
}

void TestSystemSound::everyRequestSilentWithoutDevice()
{
    QFETCH(SoundRequest, request);
    QFETCH(bool, result);

    WorkDir dir;
    makeSoundFiles();
    QVERIFY(registerTestResource(makeTone(8000, 1, 30)));
    // A theme of our own, whose default sound is a WAV file.
    makeDir(u"share/sounds/freedesktop/stereo"_s);
    writeFile(u"share/sounds/freedesktop/stereo/bell.wav"_s, makeTone(16000, 1, 300, 880));
    const ThemeFolders theme(dir.file(u"share"_s), dir.file(u"share"_s));
    RecordingPresenter boxes;
    QCOMPARE(SystemSound::play(request), result);
    QVERIFY(!SystemSound::isPlaying());
    SystemSound::stop();
    QVERIFY(boxes.boxes.isEmpty());
    QVERIFY(QResource::unregisterResource(u"test.rcc"_s));
}

void TestSystemSound::themeSoundDecodedInBackground_data()
{
    QTest::addColumn<quint32>("flags");
    QTest::addColumn<bool>("result");

    QTest::newRow("in the background") << quint32(SND_ALIAS | SND_ASYNC) << true;
    QTest::newRow("waited for") << quint32(SND_ALIAS) << false;
    QTest::newRow("looped") << quint32(SND_ALIAS | SND_ASYNC | SND_LOOP) << true;
    QTest::newRow("as the default for a missing file") << quint32(SND_FILENAME | SND_ASYNC) << true;
}

void TestSystemSound::themeSoundDecodedInBackground()
{
    QFETCH(quint32, flags);
    QFETCH(bool, result);

    // The desktop's own theme, whose sounds are Ogg Vorbis and go through the decoder first.
    if (!SystemSound::eventSoundFile(u".Default"_s).endsWith(u".oga"_s))
        QSKIP("the freedesktop sound theme is not installed");
    WorkDir dir;
    RecordingPresenter boxes;
    QCOMPARE(SystemSound::play(request(flags, (flags & SND_ALIAS) ? u".Default"_s : u"gone.wav"_s)), result);
    // Without a device the decoded sound goes nowhere, and the player is idle again.
    QTRY_VERIFY(!SystemSound::isPlaying());
    QVERIFY(boxes.boxes.isEmpty());
}

void TestSystemSound::newRequestDropsThemeSoundBeingDecoded()
{
    if (!SystemSound::eventSoundFile(u".Default"_s).endsWith(u".oga"_s))
        QSKIP("the freedesktop sound theme is not installed");
    QVERIFY(SystemSound::play(request(SND_ALIAS | SND_ASYNC, u".Default"_s)));
    QVERIFY(SystemSound::isPlaying());
    QVERIFY(!SystemSound::play(request(SND_ALIAS | SND_ASYNC | SND_NOSTOP, u"SystemHand"_s)));
    QVERIFY(SystemSound::isPlaying());
    SystemSound::stop();
    QVERIFY(!SystemSound::isPlaying());
}

VEDALKA_TEST_MAIN(TestSystemSound, VEDALKA_SOUND_LIBRARY)
#include "tst_systemsound.moc"
