// File existence, empty store files and the icon run, on a real folder.
#include "core/Files.h"
#include "core/Stores.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;
using namespace TestSupport;

class TestFiles : public QObject
{
    Q_OBJECT

private slots:
    void exists();
    void createEmpty();
    void createEmptyKeepsAnExistingFile();
    void createEmptyFails_data();
    void createEmptyFails();
    void iconRun_data();
    void iconRun();
    void paths();
};

void TestFiles::exists()
{
    WorkDir dir;
    writeFile(u"file"_s, "x");
    makeDir(u"folder"_s);
    QVERIFY(Files::exists(u"file"_s));
    QVERIFY(!Files::exists(u"folder"_s));
    QVERIFY(!Files::exists(u"missing"_s));
    QVERIFY(QFile::link(u"file"_s, u"link"_s));
    QVERIFY(Files::exists(u"link"_s));
    QVERIFY(QFile::link(u"gone"_s, u"dangling"_s));
    QVERIFY(!Files::exists(u"dangling"_s));
}

void TestFiles::createEmpty()
{
    WorkDir dir;
    {
        Files::CreatedFile held(u"baza.leh"_s);
        QVERIFY(QFile::exists(u"baza.leh"_s));
    }
    QCOMPARE(readFile(u"baza.leh"_s), QByteArray(""));
}

void TestFiles::createEmptyKeepsAnExistingFile()
{
    WorkDir dir;
    writeFile(u"baza.leh"_s, "made meanwhile\r\n");
    Files::createEmpty(u"baza.leh"_s);
    QCOMPARE(readFile(u"baza.leh"_s), "made meanwhile\r\n"_ba);
}

void TestFiles::createEmptyFails_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");

    QTest::newRow("read-only folder") << u"ro/baza.leh"_s << u"Permission denied"_s;
    QTest::newRow("a folder in its place") << u"folder"_s << u"Is a directory"_s;
    QTest::newRow("missing folder") << u"нет/baza.leh"_s << u"No such file or directory"_s;
}

void TestFiles::createEmptyFails()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    WorkDir dir;
    makeDir(u"ro"_s);
    QFile::setPermissions(u"ro"_s, QFile::ReadOwner | QFile::ExeOwner);
    makeDir(u"folder"_s);
    QCOMPARE(failureText([&] { Files::createEmpty(name); }),
             u"Cannot create file \""_s + dir.path() + u'/' + name + u"\". "_s + reason);
}

void TestFiles::iconRun_data()
{
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<qint64>("count");

    QTest::newRow("no folder") << QStringList{} << qint64(0);
    QTest::newRow("empty folder") << QStringList{u"картинки/"_s} << qint64(0);
    QTest::newRow("0 to 7") << QStringList{u"0"_s, u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s, u"7"_s} << qint64(8);
    QTest::newRow("gap after 4") << QStringList{u"0"_s, u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"6"_s} << qint64(5);
    QTest::newRow("no icon 0") << QStringList{u"1"_s, u"2"_s} << qint64(0);
    QTest::newRow("a folder named 1.ico breaks the run") << QStringList{u"0"_s, u"1/"_s, u"2"_s} << qint64(1);
    QTest::newRow("leading zeros do not count") << QStringList{u"0"_s, u"01"_s} << qint64(1);
    // Past the first few icons the run comes from one read of the folder.
    const auto run = [](int from, int to, const QStringList &plus = {}) {
        QStringList names;
        for (int n = from; n <= to; ++n)
            names << QString::number(n);
        return names + plus;
    };
    QTest::newRow("0 to 99") << run(0, 99) << qint64(100);
    QTest::newRow("0 to 99 with a gap after 69") << run(0, 69, run(71, 99)) << qint64(70);
    QTest::newRow("a folder named 40.ico in a long run") << run(0, 39, run(41, 60, {u"40/"_s})) << qint64(40);
    QTest::newRow("030.ico does not stand for 30") << run(0, 29, run(31, 50, {u"030"_s})) << qint64(30);
    QTest::newRow("other names and numbers past the end") << run(0, 19, {u"x"_s, u"+20"_s, u"99999999999999999999"_s})
                                                          << qint64(20);
}

void TestFiles::iconRun()
{
    QFETCH(QStringList, present);
    QFETCH(qint64, count);
    WorkDir dir;
    for (const QString &p : present) {
        if (p == u"картинки/"_s)
            makeDir(p);
        else if (p.endsWith(u'/'))
            makeDir(u"картинки/"_s + p.chopped(1) + u".ico"_s);
        else {
            makeDir(u"картинки"_s);
            writeFile(u"картинки/"_s + p + u".ico"_s, "icon");
        }
    }
    QCOMPARE(Stores::countIconRun(), count);
}

void TestFiles::paths()
{
    QCOMPARE(Stores::iconPath(0), u"картинки/0.ico"_s);
    QCOMPARE(Stores::iconPath(-1), u"картинки/-1.ico"_s);
    QCOMPARE(Stores::laughterPath(12), u"Звуки/смех12.wav"_s);
    // Names go to the file system as UTF-8.
    QCOMPARE(QFile::encodeName(Stores::iconPath(3)), "\xd0\xba\xd0\xb0\xd1\x80\xd1\x82\xd0\xb8\xd0\xbd\xd0\xba\xd0\xb8/3.ico"_ba);
    QCOMPARE(Stores::pictureIndexHeader(), "\xed\xee\xec\xe5\xf0 \xef\xee\xf1\xeb\xe5\xe4\xed\xe5\xe9 \xea\xe0\xf0\xf2\xe8\xed\xea\xe8"_ba);
}

VEDALKA_TEST_MAIN(TestFiles)
#include "tst_files.moc"
