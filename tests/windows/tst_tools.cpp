// The tools menu's icon commands on a real picture folder: the recount and the icon check.
#include "app/Startup.h"
#include "app/Vedalka.h"
#include "core/Cp1251.h"
#include "support/IconWriter.h"
#include "support/TestSupport.h"
#include "windows/Proverit.h"

#include <QApplication>
#include <QFile>
#include <QProgressBar>
#include <QTimer>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {

const QByteArray Header = Cp1251::encode(u"номер последней картинки"_s);

QByteArray goodIcon()
{
    const QImage picture = IconWriter::truecolourPicture(QSize(32, 32), IconWriter::Alpha::Holes);
    return IconWriter::iconFile({IconWriter::bitmapEntry(picture)});
}

void makeIcons(int count, const QList<int> &bad = {}, const QList<int> &extra = {})
{
    makeDir(u"картинки"_s);
    for (int i = 0; i < count; ++i)
        writeFile(u"картинки/%1.ico"_s.arg(i), bad.contains(i) ? QByteArray("\0\0\2\0\1\0", 6) : goodIcon());
    for (int i : extra)
        writeFile(u"картинки/%1.ico"_s.arg(i), "junk");
}

QString recountMessage(qint64 last)
{
    return u"Последняя иконка под номером %1\r\rЕсли после этой иконки есть иконки ещё, то номер иконки %2 пропущен.\r\r"
           "Чтобы в программе могли использоваться все иконки необходимо,\rчтобы названия иконок были числами от 0 до "
           "номера последней иконки,\rне пропуская ни одного числа!!!"_s.arg(last)
        .arg(last + 1);
}

// Paints of a widget, counted while the check runs without an event loop.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    QList<int> values;
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::Paint) {
            ++paints;
            values << static_cast<QProgressBar *>(o)->value();
        }
        return false;
    }
};

} // namespace

class TestTools : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Startup::prepareApplication(); }
    void init();
    void cleanup();
    void recount_data();
    void recount();
    void recountKeepsLaterLinesAndPicture();
    void recountSaveFails();
    void checkWindowLayout();
    void check_data();
    void check();
    void checkSkipsIconsRemovedSinceTheCount();
    void checkMovesTheBar();
    void checkHearsEventsMidway_data();
    void checkHearsEventsMidway();

private:
    void start();
    // Runs the check through the menu and returns the boxes it showed.
    QStringList runCheck();

    std::unique_ptr<WorkDir> m_dir;
    std::unique_ptr<TForm1> m_form;
};

void TestTools::init()
{
    m_dir = std::make_unique<WorkDir>();
    writeFile(u"baza.leh"_s, "a\r\n");
}

void TestTools::cleanup()
{
    m_form.reset();
    m_dir.reset();
}

void TestTools::start()
{
    m_form = Startup::makeMainWindow();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestTools::recount_data()
{
    QTest::addColumn<int>("atStart");
    QTest::addColumn<int>("added");
    QTest::addColumn<qint64>("last");

    QTest::newRow("icons 0 to 7") << 8 << 0 << qint64(7);
    QTest::newRow("no icons") << 0 << 0 << qint64(-1);
    QTest::newRow("icons added while running") << 2 << 5 << qint64(6);
}

void TestTools::recount()
{
    QFETCH(int, atStart);
    QFETCH(int, added);
    QFETCH(qint64, last);
    makeIcons(atStart, {}, {20});
    start();
    makeIcons(atStart + added);
    RecordingPresenter boxes;
    m_form->N4->trigger();
    QCOMPARE(boxes.messages(), QStringList{recountMessage(last)});
    QCOMPARE(readFile(u"picture.dat"_s), Header + "\r\n" + QByteArray::number(last) + "\r\n");
    QCOMPARE(m_form->pictureIndex()->get(1), QByteArray::number(last));
}

void TestTools::recountKeepsLaterLinesAndPicture()
{
    writeFile(u"picture.dat"_s, Header + "\r\n0\r\nthird line\r\n\r\n");
    start();
    const QPixmap shown = QPixmap::fromImage(IconWriter::truecolourPicture(QSize(32, 32), IconWriter::Alpha::Opaque));
    m_form->Karikatura->setPicture(shown);
    makeIcons(3);
    RecordingPresenter boxes;
    m_form->N4->trigger();
    QCOMPARE(readFile(u"picture.dat"_s), Header + "\r\n2\r\nthird line\r\n\r\n");
    QCOMPARE(m_form->Karikatura->picture().toImage(), shown.toImage());
}

void TestTools::recountSaveFails()
{
    start();
    makeIcons(4);
    QFile::setPermissions(u"picture.dat"_s, QFile::ReadOwner);
    RecordingPresenter boxes;
    m_form->N4->trigger();
    QVERIFY(boxes.messages().isEmpty());
    QCOMPARE(boxes.errors(), QStringList{u"Cannot create file \"%1/picture.dat\". Permission denied."_s.arg(m_dir->path())});
    QCOMPARE(readFile(u"picture.dat"_s), Header + "\r\n-1\r\n");
    // The index in memory already holds the new number, for the next answers.
    QCOMPARE(m_form->pictureIndex()->get(1), "3"_ba);
}

void TestTools::checkWindowLayout()
{
    start();
    TProverka *w = m_form->Proverka;
    QCOMPARE(w->windowTitle(), u"Проверка"_s);
    QCOMPARE(w->size(), QSize(276, 218));
    QCOMPARE(w->pos(), QPoint(499, 222));
    QCOMPARE(w->font().pixelSize(), 11);
    QCOMPARE(w->Image1->geometry(), QRect(40, 40, 97, 97));
    QCOMPARE(w->StaticText1->geometry(), QRect(40, 56, 193, 57));
    QCOMPARE(w->StaticText1->text(), u"Для проверки нажмите кнопку ниже. Цель проверки - узнать все ли иконки из папки "
                                     "картинки будут загружаться."_s);
    QCOMPARE(w->Button1->geometry(), QRect(104, 128, 81, 41));
    QCOMPARE(w->Button1->text(), u"Проверка"_s);
    QCOMPARE(w->ProgressBar1->geometry(), QRect(16, 176, 249, 16));
    QVERIFY(w->ProgressBar1->isHidden());
    QCOMPARE(w->ProgressBar1->focusPolicy(), Qt::NoFocus);
    // The picture lies beneath the other controls.
    QCOMPARE(w->client->children().indexOf(w->Image1), 0);
}

QStringList TestTools::runCheck()
{
    RecordingPresenter boxes;
    bool ranInOpenWindow = false;
    boxes.onBox = [&](const RecordingPresenter::Box &) {
        ranInOpenWindow = m_form->Proverka->isVisible() && m_form->Proverka->ProgressBar1->isVisible();
    };
    whenModalAppears([&](QWidget *w) {
        if (w == m_form->Proverka)
            QTest::mouseClick(m_form->Proverka->Button1, Qt::LeftButton);
    });
    m_form->N6->trigger();
    if (!ranInOpenWindow)
        return {u"<the box came without the open window and its bar>"_s};
    if (m_form->Proverka->isVisible() || m_form->Proverka->ProgressBar1->isVisibleTo(m_form->Proverka))
        return {u"<the window or its bar stayed>"_s};
    return boxes.texts();
}

void TestTools::check_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("bad");
    QTest::addColumn<QList<int>>("afterGap");
    QTest::addColumn<QString>("message");

    const QString congratulation = u"поздравляем, все иконки подходят для этой программы :)"_s;
    QTest::newRow("icons 0 to 9 all load") << 10 << QList<int>{} << QList<int>{} << congratulation;
    QTest::newRow("no icons at all") << 0 << QList<int>{} << QList<int>{} << congratulation;
    QTest::newRow("icon 3 fails, 7 is never tried") << 10 << QList<int>{3, 7} << QList<int>{}
                                                   << u"иконка под номером 3 не канает, её необходимо удалить :("_s;
    QTest::newRow("icon 0 fails") << 1 << QList<int>{0} << QList<int>{}
                                  << u"иконка под номером 0 не канает, её необходимо удалить :("_s;
    QTest::newRow("broken icons after a gap are not checked") << 4 << QList<int>{} << QList<int>{5, 6} << congratulation;
}

void TestTools::check()
{
    QFETCH(int, count);
    QFETCH(QList<int>, bad);
    QFETCH(QList<int>, afterGap);
    QFETCH(QString, message);
    makeIcons(count, bad, afterGap);
    start();
    QCOMPARE(runCheck(), QStringList{message});
    // A second check runs the same way.
    QCOMPARE(runCheck(), QStringList{message});
}

void TestTools::checkSkipsIconsRemovedSinceTheCount()
{
    makeIcons(3);
    start();
    // A short file and a missing one: the missing one is skipped, not reported.
    writeFile(u"картинки/1.ico"_s, "x");
    QFile::remove(u"картинки/2.ico"_s);
    QCOMPARE(runCheck(), QStringList{u"иконка под номером 1 не канает, её необходимо удалить :("_s});
}

void TestTools::checkMovesTheBar()
{
    makeIcons(300);
    start();
    PaintCounter counter;
    m_form->Proverka->ProgressBar1->installEventFilter(&counter);
    QCOMPARE(runCheck(), QStringList{u"поздравляем, все иконки подходят для этой программы :)"_s});
    // Painted as the check went, not only at its end, and not once per icon of a long run.
    QVERIFY2(counter.paints > 20, qPrintable(QString::number(counter.paints)));
    QVERIFY(counter.paints < 300);
    QVERIFY(std::is_sorted(counter.values.begin(), counter.values.end()));
    QCOMPARE(counter.values.last(), 299);
}

void TestTools::checkHearsEventsMidway_data()
{
    QTest::addColumn<QString>("event");
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("the user closes the window") << u"close"_s << QStringList();
    QTest::newRow("the session ends the program") << u"SIGTERM"_s << QStringList();
    QTest::newRow("a second click starts no second check")
        << u"click"_s << QStringList{u"поздравляем, все иконки подходят для этой программы :)"_s};
}

void TestTools::checkHearsEventsMidway()
{
    QFETCH(QString, event);
    QFETCH(QStringList, boxes);
    // Many large icons: one file of 16 MB under 400 names.
    makeDir(u"картинки"_s);
    writeFile(u"big.ico"_s, goodIcon() + QByteArray(16 << 20, '\0'));
    for (int i = 0; i < 400; ++i)
        QVERIFY(QFile::link(m_dir->file(u"big.ico"_s), u"картинки/%1.ico"_s.arg(i)));
    start();

    RecordingPresenter shown;
    TProverka *check = m_form->Proverka;
    int valueAtEvent = -1;
    whenModalAppears([&](QWidget *w) {
        if (w != check)
            return;
        // Runs as soon as the check lets events through.
        QTimer::singleShot(0, check, [&] {
            valueAtEvent = check->ProgressBar1->value();
            if (event == u"close"_s)
                check->close();
            else if (event == u"SIGTERM"_s)
                ::raise(SIGTERM);
            else
                QTest::mouseClick(check->Button1, Qt::LeftButton);
        });
        QTest::mouseClick(check->Button1, Qt::LeftButton);
    });
    m_form->N6->trigger();
    if (event == u"SIGTERM"_s)
        QTRY_VERIFY(!m_form->isVisible());
    QCOMPARE(shown.texts(), boxes);
    // The event came while the check ran, and a close ended it there.
    QVERIFY(valueAtEvent > 0 && valueAtEvent < 399);
    QCOMPARE(check->ProgressBar1->value() == 399, event == u"click"_s);
    QVERIFY(!check->isVisible());
    QVERIFY(check->ProgressBar1->isHidden());
    QCOMPARE(m_form->isVisible(), event != u"SIGTERM"_s);
}

VEDALKA_TEST_MAIN(TestTools)
#include "tst_tools.moc"
