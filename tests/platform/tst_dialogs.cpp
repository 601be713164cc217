// Message boxes, the error display and the handler guard, with the real box driven once.
#include "core/Failure.h"
#include "platform/Dialogs.h"
#include "platform/MessageBox.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

using namespace Qt::StringLiterals;
using namespace TestSupport;

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void fullStopRule_data();
    void fullStopRule();
    void guardShowsFailureAndSkipsTheRest();
    void guardLetsCleanBodiesRun();
    void guardCatchesOtherExceptions();
    void realBoxClosedWithOk();
    void realBoxKeys_data();
    void realBoxKeys();
    void realErrorBox();
    void boxLayout();
    void longWordsShownWhole_data();
    void longWordsShownWhole();
};

void TestDialogs::fullStopRule_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");

    QTest::newRow("Latin letter") << u"Icon image is not valid"_s << u"Icon image is not valid."_s;
    QTest::newRow("Cyrillic letter") << u"Ошибка"_s << u"Ошибка."_s;
    QTest::newRow("digit") << u"Code 5"_s << u"Code 5."_s;
    QTest::newRow("closing parenthesis") << u"List index out of bounds (3)"_s << u"List index out of bounds (3)"_s;
    QTest::newRow("full stop") << u"Done."_s << u"Done."_s;
    QTest::newRow("space") << u"Trailing "_s << u"Trailing "_s;
    QTest::newRow("double quotation mark") << u"File \"x\""_s << u"File \"x\""_s;
    QTest::newRow("slash, code 47") << u"a/"_s << u"a/."_s;
    QTest::newRow("hyphen, code 45") << u"a-"_s << u"a-"_s;
    QTest::newRow("exclamation mark") << u"Ура!"_s << u"Ура!"_s;
    QTest::newRow("colon") << u"Reason:"_s << u"Reason:."_s;
    QTest::newRow("empty") << QString() << QString();
}

void TestDialogs::fullStopRule()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(Dialogs::errorDisplayText(text), shown);
    RecordingPresenter boxes;
    Dialogs::showError(text);
    QCOMPARE(boxes.errors(), QStringList{shown});
}

void TestDialogs::guardShowsFailureAndSkipsTheRest()
{
    RecordingPresenter boxes;
    QStringList steps;
    const bool completed = Dialogs::guard([&] {
        steps << u"before"_s;
        throw Failure(u"Stream read error"_s);
        steps << u"after"_s;
    });
    QVERIFY(!completed);
    QCOMPARE(steps, QStringList{u"before"_s});
    QCOMPARE(boxes.errors(), QStringList{u"Stream read error."_s});
}

void TestDialogs::guardLetsCleanBodiesRun()
{
    RecordingPresenter boxes;
    int runs = 0;
    QVERIFY(Dialogs::guard([&] { ++runs; }));
    QCOMPARE(runs, 1);
    QVERIFY(boxes.boxes.isEmpty());
}

void TestDialogs::guardCatchesOtherExceptions()
{
    RecordingPresenter boxes;
    QVERIFY(!Dialogs::guard([] { throw std::bad_alloc(); }));
    QVERIFY(!Dialogs::guard([] { throw 42; }));
    QCOMPARE(boxes.errors().size(), 2);
    QCOMPARE(boxes.errors().first(), u"Out of memory."_s);
}

void TestDialogs::realBoxClosedWithOk()
{
    QString caption, text;
    bool hasIcon = true;
    whenModalAppears([&](QWidget *w) {
        auto *box = qobject_cast<MessageBox *>(w);
        QVERIFY(box);
        caption = box->windowTitle();
        text = box->text();
        hasIcon = box->findChild<QLabel *>(u"icon"_s) != nullptr;
        QTest::mouseClick(box->okButton(), Qt::LeftButton);
    });
    Dialogs::showMessage(u"Ты что читать не умеешь?\rНажимай кнопку ВЕДАЛКА"_s);
    QCOMPARE(caption, u"Ведал-ка!"_s);
    QCOMPARE(text, u"Ты что читать не умеешь?\rНажимай кнопку ВЕДАЛКА"_s);
    QVERIFY(!hasIcon);
}

void TestDialogs::realBoxKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Enter is the default") << int(Qt::Key_Return);
    QTest::newRow("Escape is cancel") << int(Qt::Key_Escape);
    QTest::newRow("Space presses OK") << int(Qt::Key_Space);
}

void TestDialogs::realBoxKeys()
{
    QFETCH(int, key);
    bool seen = false;
    whenModalAppears([&](QWidget *w) {
        seen = true;
        QTest::keyClick(w->focusWidget() ? w->focusWidget() : w, Qt::Key(key));
    });
    Dialogs::showMessage(u"введите в базу новые фразы"_s);
    QVERIFY(seen);
    QVERIFY(!QApplication::activeModalWidget());
}

void TestDialogs::realErrorBox()
{
    QString text;
    bool hasIcon = false;
    whenModalAppears([&](QWidget *w) {
        auto *box = qobject_cast<MessageBox *>(w);
        QVERIFY(box);
        text = box->text();
        hasIcon = box->findChild<QLabel *>(u"icon"_s) != nullptr;
        box->okButton()->click();
    });
    Dialogs::guard([] { throw Failure(u"Icon image is not valid"_s); });
    QCOMPARE(text, u"Icon image is not valid."_s);
    QVERIFY(hasIcon);
}

void TestDialogs::boxLayout()
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    // A short text gives a narrow box; a long one wraps at half the screen's width.
    MessageBox small(u"Имя-то напиши"_s, false);
    small.show();
    QVERIFY(small.width() < screen.width() / 2);
    QCOMPARE(small.frameGeometry().center(), screen.center());

    const QString longText = QString(u"слово "_s).repeated(400);
    MessageBox big(longText, false);
    big.show();
    auto *label = big.findChild<QLabel *>(u"text"_s);
    QVERIFY(label);
    QCOMPARE(label->width(), screen.width() / 2);
    QVERIFY(big.height() > 5 * label->fontMetrics().height());
    QVERIFY(big.okButton()->isDefault());

    // A line that fits is never broken.
    for (const QString &text : {u"Ты что читать не умеешь?\rНажимай кнопку ВЕДАЛКА"_s,
                                u"поздравляем, все иконки подходят для этой программы :)"_s}) {
        MessageBox box(text, false);
        QCOMPARE(box.findChild<QLabel *>(u"text"_s)->text(), QString(text).replace(u'\r', u'\n'));
    }

    // Each carriage return starts a line of its own.
    MessageBox lines(u"a\rb\r\rc"_s, false);
    lines.show();
    auto *l3 = lines.findChild<QLabel *>(u"text"_s);
    QVERIFY(l3->height() >= 4 * l3->fontMetrics().lineSpacing());
}

void TestDialogs::longWordsShownWhole_data()
{
    QTest::addColumn<QString>("text");
    const QString path = u"/home/user/"_s + QString(u"очень_длинное_имя_папки_без_пробелов_"_s).repeated(12) + u"vedalka.log"_s;
    QTest::newRow("a path without spaces") << u"Cannot create file \"%1\". Permission denied."_s.arg(path);
    QTest::newRow("the word alone") << QString(900, u'Ж');
    QTest::newRow("a long word after a short line") << u"Ошибка:\r"_s + QString(700, u'x') + u" и конец"_s;
    QTest::newRow("spaces are kept") << u"a  b   "_s + QString(600, u'w') + u"  c"_s;
}

void TestDialogs::longWordsShownWhole()
{
    QFETCH(QString, text);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    MessageBox box(text, true);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    auto *label = box.findChild<QLabel *>(u"text"_s);
    QVERIFY(label);
    QCOMPARE(box.text(), text);
    QCOMPARE(label->width(), screen.width() / 2);
    QVERIFY(box.frameGeometry().width() <= screen.width());
    // Every character is shown, in order, on lines that fit the label.
    QString expected = text;
    expected.remove(u'\r');
    QCOMPARE(QString(label->text()).remove(u'\n'), expected);
    const QStringList lines = label->text().split(u'\n');
    QVERIFY(lines.size() >= 2);
    for (QString line : lines) {
        while (line.endsWith(u' '))
            line.chop(1);
        QVERIFY2(label->fontMetrics().horizontalAdvance(line) <= label->width(), qPrintable(line));
    }
    QVERIFY(label->height() >= lines.size() * label->fontMetrics().lineSpacing());
    QCOMPARE(box.frameGeometry().center(), screen.center());
}

VEDALKA_TEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
