// The main window driven for real: its controls against the design, start-up in every state of
// the data files, and closing.
#include "app/Startup.h"
#include "app/Vedalka.h"
#include "platform/Contrast.h"
#include "platform/DisplayPlatform.h"
#include "platform/OnScreen.h"
#include "support/IconWriter.h"
#include "support/TestSupport.h"
#include "windows/Add.h"
#include "windows/OProgramme.h"
#include "windows/Proverit.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QLineEdit>
#include <QMenu>
#include <QWindow>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {

const QByteArray Header = cp(u"номер последней картинки"_s);

// "picture.dat" before start-up: written with the row's bytes, or missing.
enum class IndexSetup { Written, Missing };

// What stops start-up: the working folder read-only, a folder where a file should be, or a
// read-only picture index that already holds what start-up would write.
enum class StartSetup { ReadOnlyFolder, IndexFolder, LogFolder, ReadOnlyIndex };

void makeIcons(const QList<int> &numbers)
{
    makeDir(u"картинки"_s);
    for (int n : numbers)
        writeFile(u"картинки/%1.ico"_s.arg(n), "icon");
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void controls_data();
    void controls();
    void windowItself();
    void menus();
    void tabOrderAndRadioGroup();
    void startInEmptyFolder();
    void messagesComeBeforeTheWindow();
    void pictureIndexForms_data();
    void pictureIndexForms();
    void existingFilesAreKept();
    void secondaryWindows();
    void qtTextsInRussian();
    void failedStartStillShowsWindow_data();
    void failedStartStillShowsWindow();
    void closeRewritesLogInLineFormat();
    void failedLogSaveKeepsWindowOpen();
    void closeFromWindowSystem_data();
    void closeFromWindowSystem();
    void accessibleNames_data();
    void accessibleNames();
    void keptOnScreen_data();
    void keptOnScreen();
    void schemeColours_data();
    void schemeColours();
    void displayPlatforms_data();
    void displayPlatforms();
};

void TestMainWindow::initTestCase()
{
    Startup::prepareApplication();
}

void TestMainWindow::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("italic");

    const QColor red(255, 0, 0), fuchsia(255, 0, 255), green(0, 128, 0), black(0, 0, 0);
    const QColor windowText = QApplication::palette().color(QPalette::WindowText);
    QTest::newRow("Label1") << u"Label1"_s << QRect(32, 24, 572, 16)
                            << u"НАПИШИ В ПЕРВОЙ СТРОКЕ ИМЯ ЧЕЛОВЕКА, О КОТОРОМ ХОЧЕШЬ УЗНАТЬ"_s << red << true << false;
    QTest::newRow("Label2") << u"Label2"_s << QRect(32, 48, 610, 16)
                            << u"ВСЮ ВЕДАЛКУ И ВО ВТОРОЙ СТРОКЕ БУДЕТ НАПИСАНО НЕСКОЛЬКО СЛОВ О НЁМ"_s << red << true << false;
    QTest::newRow("Label3") << u"Label3"_s << QRect(40, 104, 363, 16) << u"ДЛЯ ЭТОГО НЕОБХОДИМО НАЖАТЬ КНОПКУ ВЕДАЛКА"_s
                            << fuchsia << false << true;
    QTest::newRow("Label4") << u"Label4"_s << QRect(64, 224, 92, 16) << u"Имя человека"_s << windowText << false << false;
    QTest::newRow("Label5") << u"Label5"_s << QRect(32, 272, 138, 16) << u"И ведалка о человеке"_s << windowText << false
                            << false;
    QTest::newRow("Image1") << u"Image1"_s << QRect(408, 80, 249, 121) << QString() << QColor() << false << false;
    QTest::newRow("Karikatura") << u"Karikatura"_s << QRect(184, 312, 89, 89) << QString() << QColor() << false << false;
    QTest::newRow("Chel") << u"Chel"_s << QRect(184, 224, 465, 24) << QString() << green << false << false;
    QTest::newRow("Vedalka") << u"Vedalka"_s << QRect(184, 272, 465, 24) << QString() << green << false << false;
    QTest::newRow("Button1") << u"Button1"_s << QRect(280, 360, 169, 65) << u"ВЕДАЛКА"_s << black << false << false;
    QTest::newRow("ZvukON") << u"ZvukON"_s << QRect(560, 368, 113, 17) << u"Звук включен"_s << QColor() << false << false;
    QTest::newRow("ZvukOFF") << u"ZvukOFF"_s << QRect(560, 392, 129, 17) << u"Звук выключен"_s << QColor() << false
                             << false;
    QTest::newRow("StaticText1") << u"StaticText1"_s << QRect(32, 320, 121, 81)
                                 << u"Самый похожий на него или на неё мультяшный герой"_s << windowText << false << false;
}

void TestMainWindow::controls()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(QColor, colour);
    QFETCH(bool, bold);
    QFETCH(bool, italic);

    WorkDir dir;
    writeFile(u"baza.leh"_s, {});
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.resize(900, 700); // controls keep their places when the window grows

    auto *w = form.findChild<QWidget *>(name);
    QVERIFY(w);
    QCOMPARE(w->parentWidget(), form.centralWidget());
    QCOMPARE(w->geometry(), geometry);
    if (auto *label = qobject_cast<QLabel *>(w))
        QCOMPARE(label->text(), text);
    else if (auto *button = qobject_cast<QAbstractButton *>(w))
        QCOMPARE(button->text(), text);
    else if (auto *edit = qobject_cast<QLineEdit *>(w))
        QCOMPARE(edit->text(), text);

    if (colour.isValid()) {
        const QPalette::ColorRole role = qobject_cast<QLineEdit *>(w) ? QPalette::Text
            : qobject_cast<QPushButton *>(w)                        ? QPalette::ButtonText
                                                                    : QPalette::WindowText;
        QCOMPARE(w->palette().color(role), colour);
    }
    const QFont f = w->font();
    QCOMPARE(f.bold(), bold);
    QCOMPARE(f.italic(), italic);
    QCOMPARE(f.pixelSize(), 13);
    // The design font is not installed: a Cyrillic look-alike stands in for it, asked for by
    // name.
    QCOMPARE(f.family(), u"Liberation Sans"_s);
    QCOMPARE(QFontInfo(f).family(), u"Liberation Sans"_s);
}

void TestMainWindow::windowItself()
{
    WorkDir dir;
    writeFile(u"baza.leh"_s, {});
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.windowTitle(), u"ВЕДАЛКА"_s);
    QCOMPARE(form.objectName(), u"Form1"_s);
    QCOMPARE(form.centralWidget()->size(), QSize(688, 432));
    QCOMPARE(form.centralWidget()->palette().color(QPalette::Window), QColor(192, 192, 192));
    QVERIFY(form.centralWidget()->autoFillBackground());
    // The designed place (283, 110) would put the right edge off the test's 800 x 600 screen: the
    // window moves left just enough, frame included.
    QCOMPARE(form.pos(), QPoint(800 - form.frameGeometry().width(), 110));
    QCOMPARE(form.minimumSize(), form.size());
    QVERIFY(form.menuBar()->geometry().bottom() < form.centralWidget()->geometry().top());
    const Qt::WindowFlags flags = form.windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowMaximizeButtonHint);
    QVERIFY(!form.windowIcon().isNull());
    QVERIFY(!QApplication::windowIcon().isNull());
    QVERIFY(!form.Image1->picture().isNull());
    QVERIFY(form.Image1->proportional());
    QCOMPARE(form.Image1->pictureRect(), QRect(0, 0, 242, 121));
    QCOMPARE(form.Karikatura->pictureRect(), QRect(0, 0, 60, 80));
    QVERIFY(!form.Button1->autoDefault());
    QVERIFY(!form.Button1->isDefault());
    QVERIFY(form.Vedalka->isReadOnly());
}

void TestMainWindow::menus()
{
    WorkDir dir;
    writeFile(u"baza.leh"_s, {});
    TForm1 form;
    const QList<QAction *> top = form.Oprogramme->actions();
    QCOMPARE(top.size(), 2);
    QCOMPARE(top.at(0)->text(), u"Помощь"_s);
    QCOMPARE(top.at(1)->text(), u"Инструменты"_s);
    QCOMPARE(form.N5->actions(), QList<QAction *>{form.N1});
    QCOMPARE(form.N2->actions(), (QList<QAction *>{form.N3, form.N4, form.N6}));
    QCOMPARE(form.N1->text(), u"О программе"_s);
    QCOMPARE(form.N3->text(), u"добавить фразу"_s);
    QCOMPARE(form.N4->text(), u"уточнить количество иконок"_s);
    QCOMPARE(form.N6->text(), u"проверить все используемые иконки"_s);

    QCOMPARE(form.ImageList1.size(), 6);
    const QList<std::pair<QIcon, int>> images = {{form.N5->icon(), 4}, {form.N1->icon(), 0}, {form.N2->icon(), 2},
                                                 {form.N3->icon(), 1}, {form.N4->icon(), 3}, {form.N6->icon(), 5}};
    for (const auto &[icon, index] : images) {
        const QImage got = icon.pixmap(16, 16).toImage();
        QVERIFY(!got.isNull());
        QCOMPARE(got, form.ImageList1.at(index).pixmap(16, 16).toImage());
    }
    // Menu bar items are wide enough for image and caption side by side.
    const QFontMetrics fm(form.Oprogramme->font());
    QVERIFY(form.Oprogramme->actionGeometry(top.at(0)).width() > fm.horizontalAdvance(u"Помощь"_s) + 16);
}

void TestMainWindow::tabOrderAndRadioGroup()
{
    WorkDir dir;
    writeFile(u"baza.leh"_s, {});
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.Chel->setFocus();
    QStringList order{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << QApplication::focusWidget()->objectName();
    }
    // Only the checked radio button is a tab stop.
    QCOMPARE(order, (QStringList{u"Chel"_s, u"Vedalka"_s, u"Button1"_s, u"ZvukON"_s, u"Chel"_s, u"Vedalka"_s}));

    QVERIFY(form.ZvukON->isChecked());
    QVERIFY(!form.ZvukOFF->isChecked());
    QTest::mouseClick(form.ZvukOFF, Qt::LeftButton);
    QVERIFY(form.ZvukOFF->isChecked());
    QVERIFY(!form.ZvukON->isChecked());
    form.Chel->setFocus();
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form.ZvukOFF);
}

void TestMainWindow::startInEmptyFolder()
{
    WorkDir dir;
    RecordingPresenter boxes;
    bool heldDuringMessages = true;
    boxes.onBox = [&](const RecordingPresenter::Box &) {
        heldDuringMessages = heldDuringMessages && QFile::exists(u"baza.leh"_s) == (boxes.boxes.size() > 1);
    };
    TForm1 form;
    QCOMPARE(boxes.messages(), (QStringList{u"какой-то идиот удалил файл baza.leh"_s, u"файл baza.leh был создан автоматически"_s,
                                            u"введите в базу новые фразы"_s}));
    QVERIFY(boxes.errors().isEmpty());
    QVERIFY(heldDuringMessages);
    QCOMPARE(readFile(u"baza.leh"_s), QByteArray(""));
    QCOMPARE(readFile(u"picture.dat"_s), Header + "\r\n-1\r\n");
    QCOMPARE(readFile(u"vedalka.log"_s), QByteArray(""));
    QCOMPARE(form.previousName(), "fffff"_ba);
    QVERIFY(form.ZvukON->isChecked());
    QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             (QStringList{u"baza.leh"_s, u"picture.dat"_s, u"vedalka.log"_s}));
}

void TestMainWindow::messagesComeBeforeTheWindow()
{
    WorkDir dir;
    RecordingPresenter boxes;
    QList<bool> windowVisible;
    boxes.onBox = [&](const RecordingPresenter::Box &) {
        const auto tops = QApplication::topLevelWidgets();
        bool anyVisible = false;
        for (QWidget *w : tops)
            anyVisible = anyVisible || (qobject_cast<TForm1 *>(w) && w->isVisible());
        windowVisible << anyVisible;
    };
    TForm1 form;
    form.show();
    QCOMPARE(windowVisible, (QList<bool>{false, false, false}));
}

void TestMainWindow::pictureIndexForms_data()
{
    QTest::addColumn<IndexSetup>("setup");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QList<int>>("icons");
    QTest::addColumn<QByteArray>("after");

    const QByteArray h = Header;
    const auto written = [](const char *name) -> QTestData & { return QTest::newRow(name) << IndexSetup::Written; };
    QTest::newRow("missing file, no icons") << IndexSetup::Missing << QByteArray() << QList<int>{} << h + "\r\n-1\r\n";
    written("empty file, icons 0..2") << QByteArray() << QList<int>{0, 1, 2} << h + "\r\n2\r\n";
    written("one line gets the count appended") << "whatever\r\n"_ba << QList<int>{0} << h + "\r\n0\r\n";
    written("header kept, old count replaced") << h + "\r\n17\r\n" << QList<int>{0, 1} << h + "\r\n1\r\n";
    written("foreign header replaced, later lines kept")
        << "foreign\r\n5\r\nthird\r\n\r\nfifth"_ba << QList<int>{0, 1, 2, 3} << h + "\r\n3\r\nthird\r\n\r\nfifth\r\n";
    written("the run stops at the first gap") << h + "\r\n9\r\n" << QList<int>{0, 1, 2, 3, 4, 6} << h + "\r\n4\r\n";
    written("no icon 0") << h + "\r\n9\r\n" << QList<int>{1, 2} << h + "\r\n-1\r\n";
    written("lone line feeds come back as CR LF") << h + "\n0\nx\n" << QList<int>{} << h + "\r\n-1\r\nx\r\n";
    written("the same bytes leave the file alone") << h + "\r\n2\r\nx\r\n" << QList<int>{0, 1, 2} << h + "\r\n2\r\nx\r\n";
}

void TestMainWindow::pictureIndexForms()
{
    QFETCH(IndexSetup, setup);
    QFETCH(QByteArray, before);
    QFETCH(QList<int>, icons);
    QFETCH(QByteArray, after);
    WorkDir dir;
    RecordingPresenter boxes;
    writeFile(u"baza.leh"_s, {});
    if (setup == IndexSetup::Written)
        writeFile(u"picture.dat"_s, before);
    makeIcons(icons);
    struct stat old = {};
    ::stat("picture.dat", &old);
    TForm1 form;
    QVERIFY(boxes.boxes.isEmpty());
    QCOMPARE(readFile(u"picture.dat"_s), after);
    // A save puts a new file in place; bytes already there are not written again.
    struct stat now = {};
    QVERIFY(::stat("picture.dat", &now) == 0);
    QCOMPARE(now.st_ino == old.st_ino, before == after);
    QVERIFY(form.pictureIndex().has_value());
    QCOMPARE(form.pictureIndex()->toText(), after);
}

void TestMainWindow::existingFilesAreKept()
{
    WorkDir dir;
    RecordingPresenter boxes;
    writeFile(u"baza.leh"_s, "phrase\n");
    writeFile(u"vedalka.log"_s, "old\n");
    TForm1 form;
    QVERIFY(boxes.boxes.isEmpty());
    QCOMPARE(readFile(u"baza.leh"_s), "phrase\n"_ba);
    QCOMPARE(readFile(u"vedalka.log"_s), "old\n"_ba);
}

void TestMainWindow::secondaryWindows()
{
    WorkDir dir;
    writeFile(u"baza.leh"_s, {});
    TForm1 form;
    QVERIFY(!form.AboutForm);
    form.createWindows();
    const QList<QObject *> order = form.children();
    const qsizetype about = order.indexOf(form.AboutForm), add = order.indexOf(form.Dobavlenie),
                    check = order.indexOf(form.Proverka);
    QVERIFY(about >= 0 && about < add && add < check);

    struct Expect
    {
        SecondaryWindow *window;
        QString name, caption;
        QPoint position;
        QSize client;
    };
    const QList<Expect> expected = {
        {form.AboutForm, u"AboutForm"_s, u"О программе"_s, {315, 152}, {334, 172}},
        {form.Dobavlenie, u"Dobavlenie"_s, u"Добавление фразы"_s, {427, 167}, {462, 169}},
        {form.Proverka, u"Proverka"_s, u"Проверка"_s, {499, 222}, {276, 218}},
    };
    for (const Expect &e : expected) {
        QVERIFY(!e.window->isVisible());
        QCOMPARE(e.window->objectName(), e.name);
        QCOMPARE(e.window->windowTitle(), e.caption);
        QCOMPARE(e.window->pos(), e.position);
        QCOMPARE(e.window->size(), e.client);
        QCOMPARE(e.window->windowModality(), Qt::ApplicationModal);
        QVERIFY(!(e.window->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(e.window->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(e.window->windowFlags() & Qt::WindowCloseButtonHint);
    }
}

void TestMainWindow::qtTextsInRussian()
{
    QLineEdit edit;
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList texts;
    for (QAction *a : menu->actions())
        texts << a->text();
    QVERIFY2(texts.join(u' ').contains(u"Копировать"_s), qPrintable(texts.join(u" | "_s)));
}

void TestMainWindow::failedStartStillShowsWindow_data()
{
    QTest::addColumn<StartSetup>("setup");
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("hasIndex");

    QTest::newRow("read-only empty folder") << StartSetup::ReadOnlyFolder
                                            << u"Cannot create file \"%1/baza.leh\". Permission denied."_s << false;
    // A folder does not count as an existing file, so start-up tries to create one there.
    QTest::newRow("folder in place of picture.dat") << StartSetup::IndexFolder
                                                    << u"Cannot create file \"%1/picture.dat\". Is a directory."_s << false;
    QTest::newRow("folder in place of vedalka.log") << StartSetup::LogFolder
                                                    << u"Cannot create file \"%1/vedalka.log\". Is a directory."_s << true;
    QTest::newRow("read-only picture.dat with the same bytes")
        << StartSetup::ReadOnlyIndex << u"Cannot create file \"%1/picture.dat\". Permission denied."_s << true;
}

void TestMainWindow::failedStartStillShowsWindow()
{
    QFETCH(StartSetup, setup);
    QFETCH(QString, error);
    QFETCH(bool, hasIndex);
    WorkDir dir;
    RecordingPresenter boxes;
    if (setup == StartSetup::ReadOnlyFolder) {
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    } else if (setup == StartSetup::ReadOnlyIndex) {
        writeFile(u"baza.leh"_s, {});
        writeFile(u"picture.dat"_s, Header + "\r\n-1\r\n");
        QFile::setPermissions(u"picture.dat"_s, QFile::ReadOwner);
    } else {
        writeFile(u"baza.leh"_s, {});
        makeDir(setup == StartSetup::IndexFolder ? u"picture.dat"_s : u"vedalka.log"_s);
    }
    const std::unique_ptr<TForm1> made = Startup::makeMainWindow();
    TForm1 &form = *made;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(boxes.errors(), QStringList{error.arg(dir.path())});
    QCOMPARE(form.pictureIndex().has_value(), hasIndex);
    QVERIFY(!QFile::exists(u"vedalka.log"_s) || setup == StartSetup::LogFolder);
    // Closing without answers and without a loaded log has nothing to write.
    QVERIFY(form.close());
    QCOMPARE(boxes.errors().size(), 1);
}

void TestMainWindow::closeRewritesLogInLineFormat()
{
    WorkDir dir;
    writeFile(u"baza.leh"_s, {});
    writeFile(u"vedalka.log"_s, "first\nsecond\rthird"_ba);
    RecordingPresenter boxes;
    TForm1 form;
    form.show();
    QVERIFY(form.close());
    QVERIFY(boxes.boxes.isEmpty());
    QCOMPARE(readFile(u"vedalka.log"_s), "first\r\nsecond\r\nthird\r\n"_ba);
    QVERIFY(!form.pictureIndex().has_value());
}

void TestMainWindow::failedLogSaveKeepsWindowOpen()
{
    WorkDir dir;
    writeFile(u"baza.leh"_s, {});
    writeFile(u"vedalka.log"_s, "old\r\n");
    RecordingPresenter boxes;
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QFile::setPermissions(u"vedalka.log"_s, QFile::ReadOwner);
    QVERIFY(!form.close());
    QVERIFY(form.isVisible());
    QCOMPARE(boxes.errors(), QStringList{u"Cannot create file \"%1/vedalka.log\". Permission denied."_s.arg(dir.path())});
    QCOMPARE(readFile(u"vedalka.log"_s), "old\r\n"_ba);
    QVERIFY(!form.pictureIndex().has_value());

    QFile::setPermissions(u"vedalka.log"_s, QFile::ReadOwner | QFile::WriteOwner);
    QVERIFY(form.close());
    QCOMPARE(boxes.errors().size(), 1);
}

void TestMainWindow::closeFromWindowSystem_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("logWritable");
    QTest::newRow("close box") << u"close box"_s << true;
    QTest::newRow("Ctrl+Q") << u"Ctrl+Q"_s << true;
    QTest::newRow("Ctrl+Q, the log cannot be written") << u"Ctrl+Q"_s << false;
    QTest::newRow("close box, the log cannot be written") << u"close box"_s << false;
}

void TestMainWindow::closeFromWindowSystem()
{
    QFETCH(QString, how);
    QFETCH(bool, logWritable);
    WorkDir dir;
    writeFile(u"baza.leh"_s, {});
    writeFile(u"vedalka.log"_s, "a\n");
    RecordingPresenter boxes;
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    if (!logWritable)
        QFile::setPermissions(u"vedalka.log"_s, QFile::ReadOwner);
    // The window system's close request (close box, Alt+F4, the session) reaches closeEvent;
    // Ctrl+Q goes the same way from the keyboard, wherever the focus is.
    if (how == u"Ctrl+Q"_s) {
        form.Chel->setFocus();
        QTest::keyClick(form.Chel, Qt::Key_Q, Qt::ControlModifier);
    } else {
        form.windowHandle()->close();
    }
    if (logWritable) {
        QTRY_VERIFY(!form.isVisible());
        QCOMPARE(readFile(u"vedalka.log"_s), "a\r\n"_ba);
        QVERIFY(boxes.boxes.isEmpty());
    } else {
        QTRY_COMPARE(boxes.errors(),
                     QStringList{u"Cannot create file \"%1/vedalka.log\". Permission denied."_s.arg(dir.path())});
        QVERIFY(form.isVisible());
        QCOMPARE(readFile(u"vedalka.log"_s), "a\n"_ba);
        QVERIFY(form.Chel->text().isEmpty());
    }
}

void TestMainWindow::accessibleNames_data()
{
    QTest::addColumn<QString>("window");
    QTest::newRow("main window") << u"Form1"_s;
    QTest::newRow("main window after an answer") << u"answered"_s;
    QTest::newRow("add-phrase window") << u"Dobavlenie"_s;
    QTest::newRow("About window") << u"AboutForm"_s;
    QTest::newRow("icon check window") << u"Proverka"_s;
}

void TestMainWindow::accessibleNames()
{
    QFETCH(QString, window);
    WorkDir dir;
    writeFile(u"baza.leh"_s, "phrase\r\n");
    makeDir(u"картинки"_s);
    writeFile(u"картинки/0.ico"_s, IconWriter::iconFile({IconWriter::bitmapEntry(QImage(32, 32, QImage::Format_ARGB32))}));
    RecordingPresenter boxes;
    const std::unique_ptr<TForm1> made = Startup::makeMainWindow();
    TForm1 &form = *made;
    form.show();
    QWidget *shown = &form;
    if (window == u"answered"_s) {
        typeText(form.Chel, u"Маша"_s);
        QTest::mouseClick(form.Button1, Qt::LeftButton);
        QCOMPARE(form.Vedalka->text(), u"phrase"_s);
    } else if (window != form.objectName()) {
        shown = form.findChild<QWidget *>(window);
        QVERIFY(shown);
        shown->show();
    }
    QVERIFY(QTest::qWaitForWindowExposed(shown));

    // Every control the keyboard reaches and every picture is named; a picture is an image
    // with a description of what it shows.
    int named = 0;
    for (QWidget *w : shown->findChildren<QWidget *>()) {
        const bool focusable = (w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(shown) && w->window() == shown;
        const bool picture = w->inherits("PictureBox");
        if (!focusable && !picture)
            continue;
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
        QVERIFY2(a, qPrintable(w->objectName()));
        QVERIFY2(!a->text(QAccessible::Name).isEmpty(), qPrintable(w->objectName()));
        if (picture) {
            QCOMPARE(a->role(), QAccessible::Graphic);
            QVERIFY2(!a->text(QAccessible::Description).isEmpty(), qPrintable(w->objectName()));
        }
        ++named;
    }
    QVERIFY(named >= 2);

    if (shown == &form) {
        // The fields are named by their labels; the output field is read as the answer.
        QCOMPARE(QAccessible::queryAccessibleInterface(form.Chel)->text(QAccessible::Name), u"Имя человека"_s);
        QCOMPARE(form.Label4->buddy(), form.Chel);
        QCOMPARE(form.Label5->buddy(), form.Vedalka);
        QAccessibleInterface *answer = QAccessible::queryAccessibleInterface(form.Vedalka);
        QCOMPARE(answer->text(QAccessible::Name), u"Ответ Ведалки"_s);
        QCOMPARE(answer->text(QAccessible::Value), form.Vedalka->text());
        // The banner reacts to a click, so it can be pressed; the cartoon says which icon it shows.
        QCOMPARE(QAccessible::queryAccessibleInterface(form.Image1)->actionInterface()->actionNames(),
                 QStringList{QAccessibleActionInterface::pressAction()});
        QVERIFY(QAccessible::queryAccessibleInterface(form.Karikatura)->actionInterface()->actionNames().isEmpty());
        QCOMPARE(QAccessible::queryAccessibleInterface(form.Karikatura)->text(QAccessible::Description),
                 window == u"answered"_s ? u"Самый похожий мультяшный герой: картинки/0.ico"_s
                                         : u"Самый похожий мультяшный герой"_s);
    } else if (shown == form.Proverka) {
        QCOMPARE(QAccessible::queryAccessibleInterface(form.Proverka->ProgressBar1)->text(QAccessible::Name),
                 u"Ход проверки иконок"_s);
    } else if (shown == form.Dobavlenie) {
        QCOMPARE(form.Dobavlenie->StaticText1->buddy(), form.Dobavlenie->New);
        QCOMPARE(QAccessible::queryAccessibleInterface(form.Dobavlenie->New)->text(QAccessible::Name),
                 form.Dobavlenie->StaticText1->text());
    }
    QVERIFY(boxes.boxes.isEmpty());
}

void TestMainWindow::keptOnScreen_data()
{
    QTest::addColumn<QRect>("area");
    // Main, About, add-phrase, icon check; -1 puts the frame against the area's far edge.
    QTest::addColumn<QList<QPoint>>("places");

    QTest::newRow("a large screen: as designed")
        << QRect(0, 0, 1920, 1080) << QList<QPoint>{{283, 110}, {315, 152}, {427, 167}, {499, 222}};
    QTest::newRow("1920 x 1080 at scale 2, a panel on top: only the main window moves")
        << QRect(0, 30, 960, 510) << QList<QPoint>{{-1, -1}, {315, 152}, {427, 167}, {499, 222}};
    QTest::newRow("smaller than the main window: its corner at the area's")
        << QRect(10, 20, 600, 400) << QList<QPoint>{{10, 20}, {-1, 152}, {-1, 167}, {-1, -1}};
}

void TestMainWindow::keptOnScreen()
{
    QFETCH(QRect, area);
    QFETCH(QList<QPoint>, places);
    WorkDir dir;
    writeFile(u"baza.leh"_s, {});
    const std::unique_ptr<TForm1> made = Startup::makeMainWindow();
    TForm1 &form = *made;
    const QList<QWidget *> windows = {&form, form.AboutForm, form.Dobavlenie, form.Proverka};
    for (qsizetype i = 0; i < windows.size(); ++i) {
        const QSize size = windows[i]->size();
        // The frame the window system has not told yet: a 4-pixel border and a 19-pixel caption.
        const QSize outer = size + QSize(8, 27);
        OnScreen::keep(windows[i], area);
        QCOMPARE(windows[i]->pos(), QPoint(places[i].x() < 0 ? area.right() + 1 - outer.width() : places[i].x(),
                                           places[i].y() < 0 ? area.bottom() + 1 - outer.height() : places[i].y()));
        QCOMPARE(windows[i]->size(), size);
    }
}

void TestMainWindow::schemeColours_data()
{
    QTest::addColumn<QPalette>("scheme");
    QTest::addColumn<bool>("desktopColoursKept");

    QTest::newRow("light: the desktop's own") << QApplication::palette() << true;
    // qt6ct's "darker" scheme.
    QPalette dark;
    for (const auto &[role, colour] : {std::pair{QPalette::WindowText, 0xffffff}, {QPalette::Button, 0x424245},
                                       {QPalette::Text, 0xffffff}, {QPalette::ButtonText, 0xffffff},
                                       {QPalette::Base, 0x3d3d3d}, {QPalette::Window, 0x222020}})
        dark.setColor(role, QColor::fromRgb(QRgb(colour)));
    QTest::newRow("dark: the classic colours where the desktop's do not read") << dark << false;
    QPalette contrast(Qt::white, Qt::black, Qt::white, Qt::black, Qt::gray, Qt::white, Qt::white, Qt::black, Qt::black);
    QTest::newRow("high contrast, white on black") << contrast << false;
}

void TestMainWindow::schemeColours()
{
    QFETCH(QPalette, scheme);
    QFETCH(bool, desktopColoursKept);
    WorkDir dir;
    writeFile(u"baza.leh"_s, {});
    const std::unique_ptr<TForm1> made = Startup::makeMainWindow();
    TForm1 &form = *made;
    // The scheme changes while the window is open.
    const QPalette before = QApplication::palette();
    QApplication::setPalette(scheme);
    const auto restore = qScopeGuard([&before] { QApplication::setPalette(before); });

    const QColor silver(192, 192, 192);
    const std::pair<QWidget *, std::pair<QPalette::ColorRole, QPalette::ColorRole>> texts[] = {
        {form.Label4, {QPalette::WindowText, QPalette::Window}}, {form.Label5, {QPalette::WindowText, QPalette::Window}},
        {form.StaticText1, {QPalette::WindowText, QPalette::Window}}, {form.ZvukON, {QPalette::WindowText, QPalette::Window}},
        {form.Chel, {QPalette::Text, QPalette::Base}}, {form.Vedalka, {QPalette::Text, QPalette::Base}},
        {form.Button1, {QPalette::ButtonText, QPalette::Button}}};
    for (const auto &[widget, roles] : texts) {
        const QPalette p = widget->palette();
        QVERIFY2(Contrast::ratio(p.color(roles.first), p.color(roles.second)) >= Contrast::Minimum,
                 qPrintable(widget->objectName()));
    }
    QCOMPARE(form.centralWidget()->palette().color(QPalette::Window), silver);
    QCOMPARE(form.Chel->palette().color(QPalette::Text), QColor(0, 128, 0));
    QCOMPARE(form.Button1->palette().color(QPalette::ButtonText), QColor(Qt::black));
    QCOMPARE(form.Label4->palette().color(QPalette::WindowText) == scheme.color(QPalette::WindowText), desktopColoursKept);
    QCOMPARE(form.Chel->palette().color(QPalette::Base) == scheme.color(QPalette::Base), desktopColoursKept);
    QCOMPARE(form.Button1->palette().color(QPalette::Button) == scheme.color(QPalette::Button), desktopColoursKept);
}

void TestMainWindow::displayPlatforms_data()
{
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QByteArray>("platforms");

    QTest::newRow("X") << QStringList{u"DISPLAY=:0"_s, u"XDG_SESSION_TYPE=x11"_s} << "xcb;wayland"_ba;
    QTest::newRow("Wayland") << QStringList{u"WAYLAND_DISPLAY=wayland-0"_s, u"DISPLAY=:0"_s} << "wayland;xcb"_ba;
    QTest::newRow("Wayland by the session's type")
        << QStringList{u"XDG_SESSION_TYPE=wayland"_s, u"XDG_CURRENT_DESKTOP=KDE"_s} << "wayland;xcb"_ba;
    QTest::newRow("GNOME on Wayland keeps X first, as Qt has it")
        << QStringList{u"WAYLAND_DISPLAY=wayland-0"_s, u"XDG_CURRENT_DESKTOP=ubuntu:GNOME"_s} << "xcb;wayland"_ba;
    QTest::newRow("the user's choice stays") << QStringList{u"QT_QPA_PLATFORM=xcb"_s, u"WAYLAND_DISPLAY=w"_s} << QByteArray();
}

void TestMainWindow::displayPlatforms()
{
    QFETCH(QStringList, environment);
    QFETCH(QByteArray, platforms);
    QProcessEnvironment env;
    for (const QString &pair : environment)
        env.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    QCOMPARE(DisplayPlatform::fallbackList(env), platforms);
}

VEDALKA_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
