// The add-phrase window on a real phrase base: what it adds, what it leaves alone, and how it
// reports a base it cannot read or write.
#include "app/Startup.h"
#include "app/Vedalka.h"
#include "support/TestSupport.h"
#include "windows/Add.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QWindow>

#include <sys/file.h>

using namespace Qt::StringLiterals;
using namespace TestSupport;

// What keeps the add-phrase window from writing the base, or seems to.
enum class BaseSetup { ReadOnlyFile, FullDisk, Locked, ReadOnlyFolder, LinkedIntoReadOnlyFolder };

class TestAddPhrase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Startup::prepareApplication(); }
    void layout();
    void add_data();
    void add();
    void reopeningShowsNewCount();
    void focusAtEveryOpening_data();
    void focusAtEveryOpening();
    void throughTheMenuAsAUser();
    void missingBaseOnShow();
    void missingBaseOnAdd();
    void unwritableBase_data();
    void unwritableBase();

private:
    // Opens the window modally, lets `act` work in it, and returns once it is closed or the
    // action gave up on it.
    void runModal(TDobavlenie &window, const std::function<void()> &act);
};

void TestAddPhrase::runModal(TDobavlenie &window, const std::function<void()> &act)
{
    whenModalAppears([&](QWidget *) {
        act();
        if (window.isVisible())
            window.close();
    });
    window.exec();
}

void TestAddPhrase::layout()
{
    WorkDir dir;
    writeFile(u"baza.leh"_s, "a\r\nb\r\n");
    TDobavlenie w;
    QCOMPARE(w.windowTitle(), u"Добавление фразы"_s);
    QCOMPARE(w.size(), QSize(462, 169));
    QCOMPARE(w.pos(), QPoint(427, 167));
    QVERIFY(!w.windowIcon().isNull());
    QCOMPARE(w.font().pixelSize(), 11);
    // The controls sit in a client area built apart and put into the window: they still get
    // the window's font, in the installed look-alike.
    QCOMPARE(w.New->font().pixelSize(), 11);
    QCOMPARE(QFontInfo(w.New->font()).family(), u"Liberation Sans"_s);
    QCOMPARE(w.Image1->geometry(), QRect(80, 8, 57, 49));
    QCOMPARE(w.Image1->pictureRect(), QRect(0, 0, 32, 32));
    QCOMPARE(w.StaticText1->geometry(), QRect(168, 8, 233, 41));
    QCOMPARE(w.StaticText1->text(), u"Напишите ниже фразу о человеке, которую хотели бы добавить в базу"_s);
    QVERIFY(w.StaticText1->wordWrap());
    QCOMPARE(w.New->geometry(), QRect(24, 72, 417, 21));
    QCOMPARE(w.Dobavit->geometry(), QRect(200, 112, 75, 33));
    QCOMPARE(w.Dobavit->text(), u"Добавить "_s);
    QCOMPARE(w.Image2->geometry(), QRect(296, 104, 49, 57));
    QCOMPARE(w.Image2->pictureRect(), QRect(0, 0, 32, 32));
    QCOMPARE(w.Label2->geometry(), QRect(8, 120, 97, 13));
    QCOMPARE(w.Label2->text(), u"всего фраз в базе:"_s);
    QCOMPARE(w.Kol->pos(), QPoint(24, 136));
    QCOMPARE(w.New->nextInFocusChain(), static_cast<QWidget *>(w.Dobavit));
}

void TestAddPhrase::add_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("after");

    const QByteArray base = cp(u"добрая\r\nумный \r\nМаша\r\n"_s);
    QTest::newRow("new phrase added at the end") << base << u"смешной"_s << base + cp(u"смешной\r\n"_s);
    QTest::newRow("duplicate leaves the file alone") << base << u"умный "_s << base;
    QTest::newRow("differs only in case") << base << u"маша"_s << base + cp(u"маша\r\n"_s);
    QTest::newRow("differs only by a trailing space") << base << u"добрая "_s << base + cp(u"добрая \r\n"_s);
    QTest::newRow("empty field leaves the file alone") << base << QString() << base;
    QTest::newRow("spaces only are a phrase") << base << u"   "_s << base + "   \r\n";
    QTest::newRow("into an empty base") << QByteArray() << u"первая"_s << cp(u"первая\r\n"_s);
    QTest::newRow("duplicate in a base of lone line feeds stays untouched") << "a\nb\n"_ba << u"b"_s << "a\nb\n"_ba;
    QTest::newRow("lone line feeds come back as CR LF") << "a\nb\n"_ba << u"c"_s << "a\r\nb\r\nc\r\n"_ba;
    QTest::newRow("a missing last break is mended") << "a\r\nb"_ba << u"c"_s << "a\r\nb\r\nc\r\n"_ba;
    QTest::newRow("LF CR pairs become an empty line") << "a\n\rb"_ba << u"c"_s << "a\r\n\r\nb\r\nc\r\n"_ba;
    QTest::newRow("the empty line of a base matches nothing typed") << "\r\n"_ba << u"x"_s << "\r\nx\r\n"_ba;
}

void TestAddPhrase::add()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, typed);
    QFETCH(QByteArray, after);
    WorkDir dir;
    writeFile(u"baza.leh"_s, before);
    RecordingPresenter boxes;
    TDobavlenie w;
    bool wasOpen = false;
    runModal(w, [&] {
        wasOpen = w.isVisible();
        typeText(w.New, typed);
        QTest::mouseClick(w.Dobavit, Qt::LeftButton);
    });
    QVERIFY(wasOpen);
    QVERIFY(!w.isVisible());
    QVERIFY(boxes.boxes.isEmpty());
    QCOMPARE(readFile(u"baza.leh"_s), after);
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList{u"baza.leh"_s});
}

void TestAddPhrase::reopeningShowsNewCount()
{
    WorkDir dir;
    writeFile(u"baza.leh"_s, "a\r\nb\r\n");
    TDobavlenie w;
    QString countShown;
    runModal(w, [&] {
        countShown = w.Kol->text();
        typeText(w.New, u"c"_s);
        QTest::mouseClick(w.Dobavit, Qt::LeftButton);
    });
    QCOMPARE(countShown, u"2"_s);
    QString newShown = u"?"_s;
    runModal(w, [&] {
        countShown = w.Kol->text();
        newShown = w.New->text();
        typeText(w.New, u"недописанная"_s);
    });
    QCOMPARE(countShown, u"3"_s);
    QCOMPARE(newShown, QString());
    // Closed without the button: nothing added, and the next showing starts empty again.
    QCOMPARE(readFile(u"baza.leh"_s), "a\r\nb\r\nc\r\n"_ba);
    runModal(w, [&] { newShown = w.New->text(); });
    QCOMPARE(newShown, QString());
}

void TestAddPhrase::focusAtEveryOpening_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("added with the button") << u"button"_s << "a\r\nnew\r\n"_ba;
    QTest::newRow("added with Enter in the field") << u"Enter"_s << "a\r\nnew\r\n"_ba;
    QTest::newRow("duplicate, with the button") << u"duplicate"_s << "a\r\n"_ba;
    QTest::newRow("closed with the close box") << u"close box"_s << "a\r\n"_ba;
    QTest::newRow("closed with Escape") << u"Escape"_s << "a\r\n"_ba;
    QTest::newRow("closed with the focus on the button") << u"Tab, close box"_s << "a\r\n"_ba;
}

void TestAddPhrase::focusAtEveryOpening()
{
    QFETCH(QString, how);
    QFETCH(QByteArray, after);
    WorkDir dir;
    writeFile(u"baza.leh"_s, "a\r\n");
    RecordingPresenter boxes;
    const std::unique_ptr<TForm1> made = Startup::makeMainWindow();
    TForm1 &form = *made;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    TDobavlenie &w = *form.Dobavlenie;
    // What has the focus as each opening's first letter is typed.
    QList<QWidget *> focused;
    QList<bool> closedByAction;
    const auto open = [&](const std::function<void()> &act) {
        runModal(w, [&] {
            QTRY_VERIFY(w.isActiveWindow());
            focused.append(QApplication::focusWidget());
            act();
            closedByAction.append(!w.isVisible());
        });
    };
    open([&] {
        typeText(w.New, how == u"duplicate"_s ? u"a"_s : u"new"_s);
        if (how == u"button"_s || how == u"duplicate"_s) {
            QTest::mouseClick(w.Dobavit, Qt::LeftButton);
        } else if (how == u"Enter"_s) {
            QTest::keyClick(w.New, Qt::Key_Return);
        } else if (how == u"Escape"_s) {
            QTest::keyClick(w.New, Qt::Key_Escape);
        } else {
            if (how.startsWith(u"Tab"_s))
                QTest::keyClick(w.New, Qt::Key_Tab);
            w.windowHandle()->close();
        }
    });
    open([&] {});
    open([&] { QTest::keyClick(w.New, Qt::Key_Escape); });
    QCOMPARE(focused, (QList<QWidget *>{w.New, w.New, w.New}));
    QCOMPARE(closedByAction, (QList<bool>{true, false, true}));
    QCOMPARE(readFile(u"baza.leh"_s), after);
    QVERIFY(boxes.boxes.isEmpty());
}

void TestAddPhrase::throughTheMenuAsAUser()
{
    WorkDir dir;
    writeFile(u"baza.leh"_s, cp(u"старая\r\n"_s));
    const std::unique_ptr<TForm1> made = Startup::makeMainWindow();
    TForm1 &form = *made;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    bool shown = false;
    whenModalAppears([&](QWidget *w) {
        shown = w == form.Dobavlenie;
        QTRY_VERIFY(w->isActiveWindow());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(form.Dobavlenie->New));
        typeText(form.Dobavlenie->New, u"пишет стихи ёлкам"_s);
        QTest::keyClick(form.Dobavlenie->New, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(form.Dobavlenie->Dobavit));
        QTest::keyClick(form.Dobavlenie->Dobavit, Qt::Key_Space);
    });
    form.N3->trigger();
    QVERIFY(shown);
    QVERIFY(!form.Dobavlenie->isVisible());
    QCOMPARE(readFile(u"baza.leh"_s),
             "\xf1\xf2\xe0\xf0\xe0\xff\r\n\xef\xe8\xf8\xe5\xf2 \xf1\xf2\xe8\xf5\xe8 \xb8\xeb\xea\xe0\xec\r\n"_ba);
}

void TestAddPhrase::missingBaseOnShow()
{
    WorkDir dir;
    RecordingPresenter boxes;
    TDobavlenie w;
    w.Kol->setText(u"7"_s);
    w.New->setText(u"было"_s);
    bool open = false;
    QString kol, text;
    runModal(w, [&] {
        open = w.isVisible();
        kol = w.Kol->text();
        text = w.New->text();
    });
    QVERIFY(open);
    QCOMPARE(kol, u"7"_s);
    QCOMPARE(text, u"было"_s);
    QCOMPARE(boxes.errors(), QStringList{u"Cannot open file \"%1/baza.leh\". No such file or directory."_s.arg(dir.path())});
}

void TestAddPhrase::missingBaseOnAdd()
{
    WorkDir dir;
    writeFile(u"baza.leh"_s, "a\r\n");
    RecordingPresenter boxes;
    TDobavlenie w;
    bool stillOpen = false;
    runModal(w, [&] {
        QFile::remove(u"baza.leh"_s);
        typeText(w.New, u"b"_s);
        QTest::mouseClick(w.Dobavit, Qt::LeftButton);
        stillOpen = w.isVisible();
    });
    QVERIFY(stillOpen);
    QCOMPARE(boxes.errors(), QStringList{u"Cannot open file \"%1/baza.leh\". No such file or directory."_s.arg(dir.path())});
    QVERIFY(!QFile::exists(u"baza.leh"_s));
}

void TestAddPhrase::unwritableBase_data()
{
    QTest::addColumn<BaseSetup>("setup");
    QTest::addColumn<QString>("error");
    QTest::newRow("read-only base") << BaseSetup::ReadOnlyFile << u"Cannot create file \"%1/baza.leh\". Permission denied."_s;
    QTest::newRow("full disk") << BaseSetup::FullDisk << u"Stream write error."_s;
    QTest::newRow("held by another program")
        << BaseSetup::Locked << u"Cannot create file \"%1/baza.leh\". Resource temporarily unavailable."_s;
    // Only a new file needs the folder: the base there is written in place. An empty error
    // means the phrase is added.
    QTest::newRow("read-only folder, writable base") << BaseSetup::ReadOnlyFolder << QString();
    QTest::newRow("base linked into a read-only folder") << BaseSetup::LinkedIntoReadOnlyFolder << QString();
}

void TestAddPhrase::unwritableBase()
{
    QFETCH(BaseSetup, setup);
    QFETCH(QString, error);
    WorkDir dir;
    const QByteArray before = QByteArray("phrase\r\n").repeated(20000);
    const QString real = setup == BaseSetup::LinkedIntoReadOnlyFolder ? u"ro/baza.leh"_s : u"baza.leh"_s;
    if (setup == BaseSetup::LinkedIntoReadOnlyFolder) {
        makeDir(u"ro"_s);
        QVERIFY(QFile::link(real, u"baza.leh"_s));
    }
    writeFile(real, before);
    RecordingPresenter boxes;
    TDobavlenie w;
    bool stillOpen = false;
    QElapsedTimer took;
    runModal(w, [&] {
        typeText(w.New, u"новая"_s);
        if (setup == BaseSetup::ReadOnlyFile)
            QFile::setPermissions(u"baza.leh"_s, QFile::ReadOwner);
        else if (setup == BaseSetup::ReadOnlyFolder)
            QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        else if (setup == BaseSetup::LinkedIntoReadOnlyFolder)
            QFile::setPermissions(u"ro"_s, QFile::ReadOwner | QFile::ExeOwner);
        took.start();
        if (setup == BaseSetup::Locked) {
            // Another program keeps the base locked for longer than the window waits.
            QFile other(u"baza.leh"_s);
            QVERIFY(other.open(QIODevice::ReadOnly));
            QCOMPARE(::flock(other.handle(), LOCK_EX), 0);
            QTest::mouseClick(w.Dobavit, Qt::LeftButton);
        } else if (setup == BaseSetup::FullDisk) {
            FileSizeLimit limit(before.size() / 2);
            QTest::mouseClick(w.Dobavit, Qt::LeftButton);
        } else {
            QTest::mouseClick(w.Dobavit, Qt::LeftButton);
        }
        stillOpen = w.isVisible();
    });
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (setup == BaseSetup::LinkedIntoReadOnlyFolder) {
        QFile::setPermissions(u"ro"_s, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(QFileInfo(u"baza.leh"_s).isSymLink());
    }
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList{u"baza.leh"_s});
    if (error.isEmpty()) {
        QVERIFY(!stillOpen);
        QVERIFY(boxes.boxes.isEmpty());
        QCOMPARE(readFile(real), before + cp(u"новая\r\n"_s));
        return;
    }
    QVERIFY(stillOpen);
    QVERIFY(took.elapsed() < 5000);
    QCOMPARE(boxes.errors(), QStringList{error.contains(u"%1"_s) ? error.arg(dir.path()) : error});
    QCOMPARE(readFile(u"baza.leh"_s), before);
}

VEDALKA_TEST_MAIN(TestAddPhrase)
#include "tst_addphrase.moc"
