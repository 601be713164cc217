// The WAV player with its requests recorded instead of played: the flag word and sound name
// for its settings, the busy flag and the notifications, the reactions to changed settings,
// the stored bytes and their "FileData" form, and stopping on destruction.
#include "components/SoundComponents.h"
#include "core/Failure.h"
#include "support/TestSupport.h"

#include <QBuffer>
#include <QFile>
#include <QMetaProperty>
#include <QWidget>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace TestSupport;
using SystemSound::SoundRequest;

using Action = std::function<void(TWavPlayer &)>;
Q_DECLARE_METATYPE(Action)

namespace {

// A request as one line: "stop", or the flag word and what it names.
QString describe(const SoundRequest &r)
{
    if (r.isStop() && r.flags == 0)
        return u"stop"_s;
    const QString what = r.name.isEmpty() && !r.data.isEmpty() ? u"<%1 bytes>"_s.arg(r.data.size()) : r.name;
    return u"0x%1 %2"_s.arg(r.flags, 0, 16).arg(what);
}

QStringList describe(const QList<SoundRequest> &requests)
{
    QStringList out;
    for (const SoundRequest &r : requests)
        out << describe(r);
    return out;
}

} // namespace

class TestSoundComponents : public QObject
{
    Q_OBJECT

private slots:
    void mainWindowInstance();
    void flagWord_data();
    void flagWord();
    void soundName_data();
    void soundName();
    void busyFlagAndNotifications();
    void failingNotification_data();
    void failingNotification();
    void stopClearsBusyAndSendsAnEmptyRequest();
    void reactions_data();
    void reactions();
    void storedBytesFromFile_data();
    void storedBytesFromFile();
    void storedBytesKeptWhenTheFileCannotBeRead();
    void fileDataForm_data();
    void fileDataForm();
    void fileDataDamaged_data();
    void fileDataDamaged();
    void fileDataShortWrite();
    void saveToFile();
    void describedSettings();
    void destructionStops();
};

void TestSoundComponents::mainWindowInstance()
{
    RecordingSoundPlayer sound;
    QWidget window;
    auto *player = new TWavPlayer(&window);
    player->setObjectName(u"WavPlayer1"_s);
    QCOMPARE(window.findChild<TWavPlayer *>(u"WavPlayer1"_s), player);

    player->setFileName(u"Звуки/смех7.wav"_s);
    player->play();
    QCOMPARE(sound.requests.size(), 1);
    const SoundRequest &r = sound.requests.first();
    QCOMPARE(r.flags, 0x22003u);
    QCOMPARE(r.name, u"Звуки/смех7.wav"_s);
    QVERIFY(r.module.isEmpty());
    QVERIFY(r.data.isEmpty());
    QCOMPARE(player->request(), r);
    QVERIFY(!player->isBusy());
}

void TestSoundComponents::flagWord_data()
{
    QTest::addColumn<bool>("async");
    QTest::addColumn<bool>("noDefault");
    QTest::addColumn<bool>("looped");
    QTest::addColumn<bool>("noStop");
    QTest::addColumn<bool>("noWait");
    QTest::addColumn<TWavPlayer::TPlayFrom>("from");
    QTest::addColumn<quint32>("flags");

    // The values the platform's sound player gives its flags: async 0x1, no default 0x2, loop
    // 0x8, no stop 0x10, no wait 0x2000; file 0x20000, resource 0x40004, stored 0x4, event 0x10000.
    const auto file = TWavPlayer::pfFile, resource = TWavPlayer::pfResource, stored = TWavPlayer::pfStored,
               event = TWavPlayer::pfSystemEvent;
    QTest::newRow("defaults: async, no default, no wait, a file") << true << true << false << false << true << file << 0x22003u;
    QTest::newRow("async alone, a file") << true << false << false << false << false << file << 0x20001u;
    QTest::newRow("no default alone, a file") << false << true << false << false << false << file << 0x20002u;
    QTest::newRow("looped alone, a file") << false << false << true << false << false << file << 0x20008u;
    QTest::newRow("no stop alone, a file") << false << false << false << true << false << file << 0x20010u;
    QTest::newRow("no wait alone, a file") << false << false << false << false << true << file << 0x22000u;
    QTest::newRow("everything off, a file") << false << false << false << false << false << file << 0x20000u;
    QTest::newRow("everything off, a resource") << false << false << false << false << false << resource << 0x40004u;
    QTest::newRow("everything off, stored bytes") << false << false << false << false << false << stored << 0x4u;
    QTest::newRow("everything off, an event") << false << false << false << false << false << event << 0x10000u;
    QTest::newRow("everything on, a file") << true << true << true << true << true << file << 0x2201Bu;
    QTest::newRow("everything on, a resource") << true << true << true << true << true << resource << 0x4201Fu;
    QTest::newRow("everything on, stored bytes") << true << true << true << true << true << stored << 0x201Fu;
    QTest::newRow("everything on, an event") << true << true << true << true << true << event << 0x1201Bu;
    QTest::newRow("looped stored bytes") << true << true << true << false << true << stored << 0x200Fu;
    QTest::newRow("event, no stop") << true << false << false << true << false << event << 0x10011u;
}

void TestSoundComponents::flagWord()
{
    QFETCH(bool, async);
    QFETCH(bool, noDefault);
    QFETCH(bool, looped);
    QFETCH(bool, noStop);
    QFETCH(bool, noWait);
    QFETCH(TWavPlayer::TPlayFrom, from);
    QFETCH(quint32, flags);

    WorkDir dir;
    RecordingSoundPlayer sound;
    TWavPlayer player;
    player.setPlayFrom(from);
    player.setAsyncPlay(async);
    player.setNoDefaultSound(noDefault);
    player.setLooped(looped);
    player.setNoStopSound(noStop);
    player.setNoWaitIfBusy(noWait);
    player.play();
    QCOMPARE(sound.requests.size(), 1);
    QCOMPARE(sound.requests.last().flags, flags);
}

void TestSoundComponents::soundName_data()
{
    QTest::addColumn<TWavPlayer::TPlayFrom>("from");
    QTest::addColumn<Action>("setName");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("programModule");

    const Action none = [](TWavPlayer &) {};
    QTest::newRow("file") << TWavPlayer::pfFile << none << u"stored.wav"_s << QByteArray() << false;
    QTest::newRow("file, renamed") << TWavPlayer::pfFile << Action([](TWavPlayer &p) { p.setFileName(u"Звуки/смех12.wav"_s); })
                          << u"Звуки/смех12.wav"_s << QByteArray() << false;
    QTest::newRow("resource, default name") << TWavPlayer::pfResource << none << u"WAVE1"_s << QByteArray() << true;
    QTest::newRow("resource") << TWavPlayer::pfResource
                              << Action([](TWavPlayer &p) { p.setResourceName(u"LAUGH"_s); }) << u"LAUGH"_s
                              << QByteArray() << true;
    QTest::newRow("event, default alias") << TWavPlayer::pfSystemEvent << none << u".Default"_s << QByteArray() << false;
    QTest::newRow("event") << TWavPlayer::pfSystemEvent
                           << Action([](TWavPlayer &p) { p.setEventAlias(u"SystemAsterisk"_s); }) << u"SystemAsterisk"_s
                           << QByteArray() << false;
    QTest::newRow("stored bytes") << TWavPlayer::pfStored << none << QString() << "RIFF-bytes of the file"_ba << false;
}

void TestSoundComponents::soundName()
{
    QFETCH(TWavPlayer::TPlayFrom, from);
    QFETCH(Action, setName);
    QFETCH(QString, name);
    QFETCH(QByteArray, data);
    QFETCH(bool, programModule);

    WorkDir dir;
    writeFile(u"stored.wav"_s, "RIFF-bytes of the file");
    RecordingSoundPlayer sound;
    TWavPlayer player;
    player.setFileName(u"stored.wav"_s);
    player.setPlayFrom(from);
    setName(player);
    sound.requests.clear();
    player.play();
    QCOMPARE(sound.requests.size(), 1);
    const SoundRequest &r = sound.requests.first();
    QCOMPARE(r.name, name);
    QCOMPARE(r.data, data);
    QCOMPARE(r.module, programModule ? SystemSound::programModule() : QString());
    QVERIFY(!SystemSound::programModule().isEmpty());
}

void TestSoundComponents::busyFlagAndNotifications()
{
    RecordingSoundPlayer sound;
    QStringList seen; // outlives the player, whose destruction is recorded too
    TWavPlayer player;
    player.setFileName(u"a.wav"_s);
    player.setOnPlayBefore([&](QObject *sender) {
        QCOMPARE(sender, &player);
        seen << u"before: busy %1, requests %2"_s.arg(player.isBusy()).arg(sound.requests.size());
    });
    player.setOnPlayAfter([&](QObject *sender) {
        QCOMPARE(sender, &player);
        seen << u"after: busy %1, requests %2"_s.arg(player.isBusy()).arg(sound.requests.size());
    });
    sound.onRequest = [&](const SoundRequest &) { seen << u"request: busy %1"_s.arg(player.isBusy()); };
    QVERIFY(!player.isBusy());
    player.play();
    QCOMPARE(seen, QStringList({u"before: busy 1, requests 0"_s, u"request: busy 1"_s, u"after: busy 1, requests 1"_s}));
    QVERIFY(!player.isBusy());
}

void TestSoundComponents::failingNotification_data()
{
    QTest::addColumn<bool>("before");
    QTest::addColumn<int>("requests");

    QTest::newRow("OnPlayBefore fails: no request") << true << 0;
    QTest::newRow("OnPlayAfter fails: the request was made") << false << 1;
}

void TestSoundComponents::failingNotification()
{
    QFETCH(bool, before);
    QFETCH(int, requests);

    RecordingSoundPlayer sound;
    RecordingPresenter boxes;
    TWavPlayer player;
    const TNotifyEvent fail = [](QObject *) { throw Failure(u"Handler broke"_s); };
    if (before)
        player.setOnPlayBefore(fail);
    else
        player.setOnPlayAfter(fail);
    // As a window handler would play it: inside the guard, which shows the failure.
    QVERIFY(!Dialogs::guard([&] { player.play(); }));
    QCOMPARE(boxes.errors(), QStringList{u"Handler broke."_s});
    QCOMPARE(sound.requests.size(), requests);
    QVERIFY(!player.isBusy());

    // Nothing is left half-done: the next play works.
    player.setOnPlayBefore({});
    player.setOnPlayAfter({});
    player.play();
    QCOMPARE(sound.requests.size(), requests + 1);
}

void TestSoundComponents::stopClearsBusyAndSendsAnEmptyRequest()
{
    RecordingSoundPlayer sound;
    TWavPlayer player;
    player.setFileName(u"a.wav"_s);
    bool busyAfterStop = true;
    player.setOnPlayBefore([&](QObject *) {
        player.stop();
        busyAfterStop = player.isBusy();
    });
    player.play();
    QVERIFY(!busyAfterStop);
    QCOMPARE(sound.requests.size(), 2);
    QCOMPARE(sound.requests.first(), SoundRequest{});
    QCOMPARE(describe(sound.requests.last()), u"0x22003 a.wav"_s);
}

void TestSoundComponents::reactions_data()
{
    QTest::addColumn<Action>("setup");
    QTest::addColumn<Action>("change");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QStringList>("requests");

    // Busy rows change the setting from OnPlayBefore of a play of a.wav (once), so their list
    // ends with the request of that play.
    const Action file = [](TWavPlayer &) {};
    const Action stored = [](TWavPlayer &p) { p.setPlayFrom(TWavPlayer::pfStored); };
    const Action event = [](TWavPlayer &p) { p.setPlayFrom(TWavPlayer::pfSystemEvent); };
    const Action resource = [](TWavPlayer &p) { p.setPlayFrom(TWavPlayer::pfResource); };
    const auto fileName = [](const QString &n) { return Action([n](TWavPlayer &p) { p.setFileName(n); }); };
    const auto async = [](bool v) { return Action([v](TWavPlayer &p) { p.setAsyncPlay(v); }); };
    const auto looped = [](bool v) { return Action([v](TWavPlayer &p) { p.setLooped(v); }); };
    const auto noWait = [](bool v) { return Action([v](TWavPlayer &p) { p.setNoWaitIfBusy(v); }); };
    const auto alias = [](const QString &v) { return Action([v](TWavPlayer &p) { p.setEventAlias(v); }); };
    const auto resName = [](const QString &v) { return Action([v](TWavPlayer &p) { p.setResourceName(v); }); };
    const auto both = [](Action a, Action b) { return Action([a, b](TWavPlayer &p) { a(p); b(p); }); };

    QTest::newRow("FileName with pfFile: no reaction") << file << fileName(u"b.wav"_s) << false << QStringList();
    QTest::newRow("FileName with pfFile while busy: no reaction")
        << file << fileName(u"b.wav"_s) << true << QStringList{u"0x22003 a.wav"_s};
    QTest::newRow("FileName with pfStored: stop") << stored << fileName(u"b.wav"_s) << false << QStringList{u"stop"_s};
    QTest::newRow("FileName with pfStored while busy: play")
        << stored << fileName(u"b.wav"_s) << true << QStringList{u"0x2007 <5 bytes>"_s, u"0x2007 <5 bytes>"_s};
    QTest::newRow("FileName unchanged with pfStored: nothing") << stored << fileName(u"a.wav"_s) << false << QStringList();
    QTest::newRow("AsyncPlay on while busy: stop")
        << async(false) << async(true) << true << QStringList{u"stop"_s, u"0x22002 a.wav"_s};
    QTest::newRow("AsyncPlay off while busy: nothing") << file << async(false) << true << QStringList{u"0x22003 a.wav"_s};
    QTest::newRow("AsyncPlay on while idle: nothing") << async(false) << async(true) << false << QStringList();
    QTest::newRow("Looped on while busy: stop and play looped")
        << file << looped(true) << true << QStringList{u"stop"_s, u"0x2200b a.wav"_s, u"0x2200b a.wav"_s};
    QTest::newRow("Looped off while busy: stop")
        << looped(true) << looped(false) << true << QStringList{u"stop"_s, u"0x2200b a.wav"_s};
    QTest::newRow("Looped on while idle: nothing") << file << looped(true) << false << QStringList();
    QTest::newRow("NoWaitIfBusy on while busy: stop, then play")
        << noWait(false) << noWait(true) << true << QStringList{u"stop"_s, u"0x22003 a.wav"_s, u"0x22003 a.wav"_s};
    QTest::newRow("NoWaitIfBusy off while busy: nothing") << file << noWait(false) << true << QStringList{u"0x22003 a.wav"_s};
    QTest::newRow("NoWaitIfBusy on while idle: nothing") << noWait(false) << noWait(true) << false << QStringList();
    QTest::newRow("EventAlias with pfSystemEvent: stop") << event << alias(u"MailBeep"_s) << false << QStringList{u"stop"_s};
    QTest::newRow("EventAlias with pfSystemEvent while busy: play")
        << event << alias(u"MailBeep"_s) << true << QStringList{u"0x12003 MailBeep"_s, u"0x12003 MailBeep"_s};
    QTest::newRow("EventAlias unchanged: nothing") << event << alias(u".Default"_s) << false << QStringList();
    QTest::newRow("EventAlias with pfFile: nothing") << file << alias(u"MailBeep"_s) << false << QStringList();
    QTest::newRow("ResourceName with pfResource while busy: play")
        << resource << resName(u"LAUGH"_s) << true << QStringList{u"0x42007 LAUGH"_s, u"0x42007 LAUGH"_s};
    QTest::newRow("ResourceName with pfResource while idle: nothing") << resource << resName(u"LAUGH"_s) << false
                                                                      << QStringList();
    QTest::newRow("ResourceName with pfFile while busy: nothing")
        << file << resName(u"LAUGH"_s) << true << QStringList{u"0x22003 a.wav"_s};
    QTest::newRow("NoDefaultSound and NoStopSound while busy: no reaction")
        << file << both([](TWavPlayer &p) { p.setNoDefaultSound(false); }, [](TWavPlayer &p) { p.setNoStopSound(true); })
        << true << QStringList{u"0x22003 a.wav"_s};
}

void TestSoundComponents::reactions()
{
    QFETCH(Action, setup);
    QFETCH(Action, change);
    QFETCH(bool, busy);
    QFETCH(QStringList, requests);

    WorkDir dir;
    writeFile(u"a.wav"_s, "abcde");
    RecordingSoundPlayer sound;
    TWavPlayer player;
    player.setFileName(u"a.wav"_s);
    setup(player);
    sound.requests.clear();
    if (busy) {
        bool done = false;
        player.setOnPlayBefore([&](QObject *) {
            if (!std::exchange(done, true))
                change(player);
        });
        player.play();
    } else {
        change(player);
    }
    QCOMPARE(describe(sound.requests), requests);
    QVERIFY(!player.isBusy());
}

void TestSoundComponents::storedBytesFromFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("a file") << u"Звуки/смех1.wav"_s << makeTone(8000, 1, 10);
    QTest::newRow("an empty file") << u"empty.wav"_s << QByteArray();
    QTest::newRow("a missing file: no bytes, no error") << u"missing.wav"_s << QByteArray();
    QTest::newRow("a folder: no bytes, no error") << u"Звуки"_s << QByteArray();
    QTest::newRow("no file name") << QString() << QByteArray();
}

void TestSoundComponents::storedBytesFromFile()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);

    WorkDir dir;
    makeDir(u"Звуки"_s);
    writeFile(u"Звуки/смех1.wav"_s, makeTone(8000, 1, 10));
    writeFile(u"empty.wav"_s, {});
    RecordingSoundPlayer sound;
    TWavPlayer player;
    player.setFileName(name);
    player.setPlayFrom(TWavPlayer::pfStored);
    QCOMPARE(player.data(), bytes);
    QCOMPARE(player.dataSize(), quint32(bytes.size()));
    player.setDataSize(12345);
    QCOMPARE(player.dataSize(), quint32(bytes.size()));
    player.play();
    QCOMPARE(sound.requests.last().data, bytes);

    player.setPlayFrom(TWavPlayer::pfFile);
    QVERIFY(player.data().isEmpty());
    QCOMPARE(player.dataSize(), 0u);
}

void TestSoundComponents::storedBytesKeptWhenTheFileCannotBeRead()
{
    WorkDir dir;
    writeFile(u"locked.wav"_s, "secret");
    QFile::setPermissions(u"locked.wav"_s, {});
    QVERIFY(::mkfifo("pipe.wav", 0600) == 0);
    RecordingSoundPlayer sound;
    TWavPlayer player;

    player.setFileName(u"locked.wav"_s);
    QCOMPARE(failureText([&] { player.setPlayFrom(TWavPlayer::pfStored); }),
             u"Can not load data from the \"locked.wav\" file"_s);
    QCOMPARE(player.playFrom(), TWavPlayer::pfStored);
    QVERIFY(player.data().isEmpty());

    writeFile(u"good.wav"_s, "good bytes");
    player.loadFromFile(u"good.wav"_s);
    QCOMPARE(player.data(), "good bytes"_ba);
    // A pipe would never end; it is refused at once, and the bytes held stay.
    QCOMPARE(failureText([&] { player.loadFromFile(u"pipe.wav"_s); }), u"Can not load data from the \"pipe.wav\" file"_s);
    QCOMPARE(failureText([&] { player.loadFromFile(u"locked.wav"_s); }),
             u"Can not load data from the \"locked.wav\" file"_s);
    QCOMPARE(player.data(), "good bytes"_ba);
}

void TestSoundComponents::fileDataForm_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("blockHex");

    QTest::newRow("no bytes: a count of 0") << QByteArray() << "00000000"_ba;
    QTest::newRow("three bytes") << "abc"_ba << "03000000616263"_ba;
    QTest::newRow("a zero byte among them") << QByteArray("a\0b", 3) << "03000000610062"_ba;
    QTest::newRow("300 bytes: count little-endian")
        << QByteArray(300, 'x') << "2c010000"_ba + QByteArray(300, 'x').toHex();
}

void TestSoundComponents::fileDataForm()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, blockHex);

    WorkDir dir;
    writeFile(u"in.wav"_s, bytes);
    TWavPlayer player;
    player.loadFromFile(u"in.wav"_s);
    QCOMPARE(player.fileData().toHex(), blockHex);

    TWavPlayer copy;
    copy.setFileData(QByteArray::fromHex(blockHex) + "trailing bytes belong to the next block");
    QCOMPARE(copy.data(), bytes);
    QCOMPARE(copy.dataSize(), quint32(bytes.size()));
}

void TestSoundComponents::fileDataDamaged_data()
{
    QTest::addColumn<QByteArray>("block");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("count cut short") << QByteArray("\x03\x00", 2);
    QTest::newRow("fewer bytes than counted") << QByteArray("\x05\x00\x00\x00" "abc", 7);
    QTest::newRow("a count of 4 GiB over 3 bytes") << QByteArray("\xFF\xFF\xFF\xFF" "abc", 7);
}

void TestSoundComponents::fileDataDamaged()
{
    QFETCH(QByteArray, block);

    TWavPlayer player;
    player.setFileData(QByteArray("\x04\x00\x00\x00" "kept", 8));
    QCOMPARE(failureText([&] { player.setFileData(block); }), u"Stream read error"_s);
    QCOMPARE(player.data(), "kept"_ba);
}

void TestSoundComponents::fileDataShortWrite()
{
    TWavPlayer player;
    player.setFileData(QByteArray("\x02\x00\x00\x00" "ok", 6));
    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (QBuffer): ReadOnly device");
    QCOMPARE(failureText([&] { player.writeData(readOnly); }), u"Stream write error"_s);
}

void TestSoundComponents::saveToFile()
{
    WorkDir dir;
    TWavPlayer player;
    player.setFileData(QByteArray("\x05\x00\x00\x00" "bytes", 9));
    player.setSaveName(u"saved.wav"_s);
    player.saveToSaveName();
    QCOMPARE(readFile(u"saved.wav"_s), "bytes"_ba);

    makeDir(u"ro"_s);
    writeFile(u"ro/old.wav"_s, "old");
    QFile::setPermissions(u"ro"_s, QFile::ReadOwner | QFile::ExeOwner);
    // A folder without write rights takes no new file, but a writable file in it is written in place.
    QVERIFY(failureText([&] { player.saveToFile(u"ro/new.wav"_s); }).startsWith(u"Cannot create file \""_s));
    player.saveToFile(u"ro/old.wav"_s);
    QCOMPARE(readFile(u"ro/old.wav"_s), "bytes"_ba);
    QFile::setPermissions(u"ro"_s, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(QDir(u"ro"_s).entryList(QDir::Files | QDir::Hidden), QStringList{u"old.wav"_s});
}

void TestSoundComponents::describedSettings()
{
    // The settings under their own names, and only the source name in use kept in a saved
    // description, never the size.
    TWavPlayer player;
    const QMetaObject *meta = player.metaObject();
    const auto value = [&](const char *name) { return meta->property(meta->indexOfProperty(name)).read(&player); };
    QCOMPARE(value("AsyncPlay"), QVariant(true));
    QCOMPARE(value("Looped"), QVariant(false));
    QCOMPARE(value("NoDefaultSound"), QVariant(true));
    QCOMPARE(value("NoStopSound"), QVariant(false));
    QCOMPARE(value("NoWaitIfBusy"), QVariant(true));
    QCOMPARE(value("PlayFrom").value<TWavPlayer::TPlayFrom>(), TWavPlayer::pfFile);
    QCOMPARE(value("FileName"), QVariant(QString()));
    QCOMPARE(value("ResourceName"), QVariant(u"WAVE1"_s));
    QCOMPARE(value("EventAlias"), QVariant(u".Default"_s));
    QCOMPARE(value("DataSize"), QVariant(0u));
    QCOMPARE(value("AutoSave"), QVariant(false));
    QVERIFY(!meta->property(meta->indexOfProperty("DataSize")).isStored());

    const QList<TWavPlayer::TPlayFrom> sources = {TWavPlayer::pfFile, TWavPlayer::pfResource, TWavPlayer::pfStored,
                                                  TWavPlayer::pfSystemEvent};
    QStringList stored;
    for (TWavPlayer::TPlayFrom from : sources) {
        player.setPlayFrom(from);
        stored << u"%1%2%3"_s.arg(player.isFileNameStored()).arg(player.isResourceNameStored()).arg(player.isEventAliasStored());
    }
    QCOMPARE(stored, QStringList({u"100"_s, u"010"_s, u"000"_s, u"001"_s}));
}

void TestSoundComponents::destructionStops()
{
    RecordingSoundPlayer sound;
    auto *window = new QWidget;
    auto *player = new TWavPlayer(window);
    player->setFileName(u"Звуки/смех2.wav"_s);
    player->play();
    delete window;
    QCOMPARE(describe(sound.requests), QStringList({u"0x22003 Звуки/смех2.wav"_s, u"stop"_s}));
    QCOMPARE(sound.requests.last(), SoundRequest{});
}

VEDALKA_TEST_MAIN(TestSoundComponents)
#include "tst_soundcomponents.moc"
