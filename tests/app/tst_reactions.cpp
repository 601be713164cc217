// The main window's teasing: a click on the big picture, Enter in the name field, and the
// About window from the help menu; and what the fields say about characters they leave out.
#include "app/Startup.h"
#include "app/Vedalka.h"
#include "support/TestSupport.h"
#include "windows/Add.h"
#include "windows/OProgramme.h"
#include "windows/Proverit.h"

#include <QAccessible>
#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QWindow>

using namespace Qt::StringLiterals;
using namespace TestSupport;

class TestReactions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Startup::prepareApplication(); }
    void init();
    void cleanup();
    void pictureClickRemarks_data();
    void pictureClickRemarks();
    void pictureClickTouchesNothingElse();
    void enterScolds_data();
    void enterScolds();
    void otherKeysPass();
    void enterPressesFocusedButton_data();
    void enterPressesFocusedButton();
    void refusedCharactersAreNamed_data();
    void refusedCharactersAreNamed();
    void aboutWindow();
    void aboutClosesBothWays_data();
    void aboutClosesBothWays();

private:
    std::unique_ptr<WorkDir> m_dir;
    std::unique_ptr<TForm1> m_form;
};

// The window is made as main() makes it, so the application-wide filters are those of a real run.
void TestReactions::init()
{
    m_dir = std::make_unique<WorkDir>();
    writeFile(u"baza.leh"_s, "phrase\r\n");
    m_form = Startup::makeMainWindow();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
}

void TestReactions::cleanup()
{
    m_form.reset();
    m_dir.reset();
}

void TestReactions::pictureClickRemarks_data()
{
    QTest::addColumn<quint64>("counter");
    QTest::addColumn<QString>("remark");

    // random(5) after seeding with the counter's low 32 bits, worked out by hand.
    QTest::newRow("0") << quint64(0) << u"Щас как тыкну"_s;
    QTest::newRow("1") << quint64(31337) << u"не тыкай котёнка"_s;
    QTest::newRow("2") << quint64(5000000000) << u"Тыкни в лоб себе"_s;
    QTest::newRow("3") << quint64(987654321) << u"Ведалка в том, что ты долбоёб!!"_s;
    QTest::newRow("4") << quint64(0xFFFFFFFF) << u"От чуды-Юды отстань"_s;
}

void TestReactions::pictureClickRemarks()
{
    QFETCH(quint64, counter);
    QFETCH(QString, remark);
    FixedCounter fixed(counter);
    m_form->Vedalka->setText(u"прежний текст"_s);
    QTest::mouseClick(m_form->Image1, Qt::LeftButton, {}, QPoint(100, 50));
    QCOMPARE(m_form->Vedalka->text(), remark);
}

void TestReactions::pictureClickTouchesNothingElse()
{
    RecordingPresenter boxes;
    const QByteArray nameBefore = m_form->previousName();
    const QImage picture = m_form->Karikatura->picture().toImage();
    QTest::mouseClick(m_form->Image1, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(!m_form->Vedalka->text().isEmpty());
    QCOMPARE(m_form->previousName(), nameBefore);
    QCOMPARE(m_form->Karikatura->picture().toImage(), picture);
    QVERIFY(answersOf(m_form->resultLog()).isEmpty());
    QVERIFY(boxes.boxes.isEmpty());
    // A click beside the picture is no click on it.
    m_form->Vedalka->clear();
    QTest::mouseClick(m_form->centralWidget(), Qt::LeftButton, {}, QPoint(400, 70));
    QVERIFY(m_form->Vedalka->text().isEmpty());
}

void TestReactions::enterScolds_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("key");
    QTest::newRow("empty field, Return") << QString() << int(Qt::Key_Return);
    QTest::newRow("a name, Return") << u"Маша"_s << int(Qt::Key_Return);
    QTest::newRow("keypad Enter") << u"Петя"_s << int(Qt::Key_Enter);
}

void TestReactions::enterScolds()
{
    QFETCH(QString, name);
    QFETCH(int, key);
    RecordingPresenter boxes;
    m_form->Chel->setFocus();
    typeText(m_form->Chel, name);
    QTest::keyClick(m_form->Chel, Qt::Key(key));
    QTest::keyClick(m_form->Chel, Qt::Key(key));
    const QString scolding = u"Ты что читать не умеешь?\rНажимай кнопку ВЕДАЛКА"_s;
    QCOMPARE(boxes.messages(), (QStringList{scolding, scolding}));
    QCOMPARE(m_form->Chel->text(), name);
    // No answer: the output field and the log stay as they were.
    QVERIFY(m_form->Vedalka->text().isEmpty());
    QVERIFY(answersOf(m_form->resultLog()).isEmpty());
    QCOMPARE(m_form->previousName(), "fffff"_ba);
}

void TestReactions::otherKeysPass()
{
    RecordingPresenter boxes;
    m_form->Chel->setFocus();
    typeText(m_form->Chel, u"Вася\t \x1b"_s);
    QTest::keyClick(m_form->Chel, Qt::Key_Escape);
    QTest::keyClick(m_form->Chel, Qt::Key_Backspace);
    QVERIFY(boxes.boxes.isEmpty());
    QCOMPARE(m_form->Chel->text(), u"Вася"_s);
}

void TestReactions::enterPressesFocusedButton_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("key");
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("ВЕДАЛКА, Return: an answer") << u"Button1"_s << int(Qt::Key_Return) << QStringList();
    QTest::newRow("ВЕДАЛКА, keypad Enter") << u"Button1"_s << int(Qt::Key_Enter) << QStringList();
    QTest::newRow("Добавить: the window closes") << u"Dobavit"_s << int(Qt::Key_Return) << QStringList();
    QTest::newRow("Проверка: the check runs")
        << u"Proverka"_s << int(Qt::Key_Return) << QStringList{u"поздравляем, все иконки подходят для этой программы :)"_s};
}

void TestReactions::enterPressesFocusedButton()
{
    QFETCH(QString, button);
    QFETCH(int, key);
    QFETCH(QStringList, boxes);
    RecordingPresenter shown;
    QDialog *window = button == u"Dobavit"_s ? static_cast<QDialog *>(m_form->Dobavlenie)
                      : button == u"Proverka"_s ? m_form->Proverka
                                                : nullptr;
    if (!window) {
        m_form->Chel->setText(u"Маша"_s);
        m_form->Button1->setFocus();
        QTest::keyClick(m_form->Button1, Qt::Key(key), key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        QCOMPARE(m_form->Vedalka->text(), u"phrase"_s);
        QCOMPARE(answersOf(m_form->resultLog()), QList<QByteArray>{cp(u"Маша - phrase"_s)});
        QVERIFY(shown.boxes.isEmpty());
        return;
    }
    bool closed = false;
    whenModalAppears([&](QWidget *w) {
        QPushButton *b = w->findChild<QPushButton *>(button == u"Dobavit"_s ? u"Dobavit"_s : u"Button1"_s);
        b->setFocus();
        QTest::keyClick(b, Qt::Key(key));
        closed = !w->isVisible();
    });
    window->exec();
    QVERIFY(closed);
    QCOMPARE(shown.messages(), boxes);
}

void TestReactions::refusedCharactersAreNamed_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("pasted");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("held");
    QTest::addColumn<QString>("tip");
    QTest::addColumn<QString>("selected"); // the field's text, all selected, before the input

    QTest::newRow("typed: each letter is named as it is left out")
        << u"Chel"_s << false << u"Zoë Łukasz"_s << u"Zo ukasz"_s << u"Символ «Ł» не поддерживается"_s << QString();
    QTest::newRow("pasted: all of them")
        << u"Chel"_s << true << u"Zoë Łukasz"_s << u"Zo ukasz"_s << u"Символы «ë», «Ł» не поддерживаются"_s << QString();
    QTest::newRow("a repeated letter is named once")
        << u"Chel"_s << true << u"ŁŁaŁ"_s << u"a"_s << u"Символ «Ł» не поддерживается"_s << QString();
    QTest::newRow("an emoji is one character")
        << u"New"_s << true << u"смех 😀"_s << u"смех "_s << u"Символ «😀» не поддерживается"_s << QString();
    QTest::newRow("many: the first five")
        << u"New"_s << true << u"ĀĂĄĆĈĊ"_s << QString() << u"Символы «Ā», «Ă», «Ą», «Ć», «Ĉ» и другие не поддерживаются"_s << QString();
    QTest::newRow("the phrase field names them too")
        << u"New"_s << false << u"naïve"_s << u"nave"_s << u"Символ «ï» не поддерживается"_s << QString();
    QTest::newRow("storable text says nothing")
        << u"Chel"_s << false << u"Маша ёжик №1 €"_s << u"Маша ёжик №1 €"_s << QString() << QString();
    QTest::newRow("line breaks are dropped without a word")
        << u"Chel"_s << true << u"а\r\nб"_s << u"аб"_s << QString() << QString();
    QTest::newRow("typed over a selection: the field as it was")
        << u"Chel"_s << false << u"Ł"_s << u"Маша"_s << u"Символ «Ł» не поддерживается"_s << u"Маша"_s;
    QTest::newRow("pasted over a selection: the rest replaces it, undone by Ctrl+Z")
        << u"Chel"_s << true << u"Zoë"_s << u"Zo"_s << u"Символ «ë» не поддерживается"_s << u"Маша"_s;
}

void TestReactions::refusedCharactersAreNamed()
{
    QFETCH(QString, field);
    QFETCH(bool, pasted);
    QFETCH(QString, input);
    QFETCH(QString, held);
    QFETCH(QString, tip);
    QFETCH(QString, selected);
    RecordingPresenter boxes;
    QLineEdit *edit = m_form->Chel;
    if (field == u"New"_s) {
        m_form->Dobavlenie->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form->Dobavlenie));
        edit = m_form->Dobavlenie->New;
    }
    const QString description = edit->accessibleDescription();
    edit->setFocus();
    if (!selected.isEmpty()) {
        edit->setText(selected);
        edit->selectAll();
    }
    if (pasted)
        edit->insert(input);
    else
        typeText(edit, input);
    // What the field holds is what is compared and stored; the tip says what it left out, and
    // stays while the user types on.
    QTRY_COMPARE(edit->text(), held);
    if (!selected.isEmpty()) {
        // A refused letter leaves the selection and nothing to undo; what a paste put in, Ctrl+Z
        // takes back.
        QCOMPARE(edit->selectedText(), held == selected ? selected : QString());
        QCOMPARE(edit->isUndoAvailable(), held != selected);
        QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(edit->text(), selected);
    }
    auto *shown = edit->findChild<QLabel *>(u"refusalTip"_s);
    QVERIFY(shown);
    QCOMPARE(shown->isVisible(), !tip.isEmpty());
    if (!tip.isEmpty()) {
        QCOMPARE(shown->text(), tip);
        // A screen reader hears the tip as the field's description.
        QCOMPARE(QAccessible::queryAccessibleInterface(edit)->text(QAccessible::Description), tip);
        QVERIFY(shown->geometry().top() >= edit->mapToGlobal(QPoint(0, edit->height())).y());
        typeText(edit, u"ещё"_s);
        QVERIFY(shown->isVisible());
        // Gone when the field is left, and (once is enough) by itself after a few seconds.
        QTest::keyClick(edit, Qt::Key_Tab);
        QVERIFY(!shown->isVisible());
        QCOMPARE(edit->accessibleDescription(), description);
        if (!pasted) {
            edit->setFocus();
            edit->insert(u"Ł"_s);
            QVERIFY(shown->isVisible());
            QTRY_VERIFY_WITH_TIMEOUT(!shown->isVisible(), 8000);
        }
    }
    QVERIFY(boxes.boxes.isEmpty());
    m_form->Dobavlenie->hide();
}

void TestReactions::aboutWindow()
{
    TAboutForm *about = m_form->AboutForm;
    QCOMPARE(about->size(), QSize(334, 172));
    QCOMPARE(about->pos(), QPoint(315, 152));
    QCOMPARE(about->windowTitle(), u"О программе"_s);
    QVERIFY(!about->windowIcon().isNull());
    QCOMPARE(about->font().family(), u"Liberation Sans"_s);
    QCOMPARE(about->font().pixelSize(), 14);

    QCOMPARE(about->StaticText1->geometry(), QRect(16, 8, 297, 97));
    QCOMPARE(about->StaticText1->text(),
             u"Внимание! Данная программа является программой-шуткой, поэтому она не рекомендуется людям без чувства "
             "юмора. Также в программе используется ненормативная лексика. Поэтому не надо писать в неё имена "
             "родителей, и вообще лучше её им не показывать!"_s);
    QVERIFY(about->StaticText1->wordWrap());
    QCOMPARE(about->StaticText1->focusPolicy(), Qt::NoFocus);
    QCOMPARE(about->StaticText1->font().family(), u"Z003"_s);
    QCOMPARE(about->StaticText1->font().pixelSize(), 14);
    QVERIFY(QFontInfo(about->StaticText1->font()).family().startsWith(u"Z003"_s));

    QCOMPARE(about->Label6->pos(), QPoint(120, 104));
    QVERIFY(!about->Label6->text().isEmpty());
    QCOMPARE(about->Label6->font().pixelSize(), 12);
    QCOMPARE(QFontInfo(about->Label6->font()).family(), u"Liberation Sans"_s);
    QCOMPARE(about->Image1->geometry(), QRect(64, 120, 41, 33));
    QCOMPARE(about->Image1->pictureRect(), QRect(0, 0, 32, 32));
    QCOMPARE(about->Button1->geometry(), QRect(120, 128, 75, 25));
    // Cyrillic О and К.
    QCOMPARE(about->Button1->text(), u"\u041e\u041a"_s);
}

void TestReactions::aboutClosesBothWays_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("the ОК button") << false;
    QTest::newRow("the close box") << true;
}

void TestReactions::aboutClosesBothWays()
{
    QFETCH(bool, closeBox);
    for (int round = 0; round < 2; ++round) {
        bool shown = false;
        bool creditFits = false;
        whenModalAppears([&](QWidget *w) {
            shown = w == m_form->AboutForm && w->isVisible();
            // The credit line is as wide as its text once the window shows.
            const QLabel *credit = m_form->AboutForm->Label6;
            creditFits = credit->width() == credit->sizeHint().width();
            if (closeBox)
                w->windowHandle()->close();
            else
                QTest::mouseClick(m_form->AboutForm->Button1, Qt::LeftButton);
        });
        m_form->N1->trigger();
        QVERIFY(shown);
        QVERIFY(creditFits);
        QVERIFY(!m_form->AboutForm->isVisible());
        QVERIFY(m_form->isVisible());
    }
    QCOMPARE(m_form->AboutForm->Button1->text(), u"ОК"_s);
}

VEDALKA_TEST_MAIN(TestReactions)
#include "tst_reactions.moc"
