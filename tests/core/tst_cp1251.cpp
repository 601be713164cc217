// The code page conversion: lossless for every byte, and the characters a field may hold.
#include "core/Cp1251.h"
#include "core/Cp1251Validator.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

class TestCp1251 : public QObject
{
    Q_OBJECT

private slots:
    void everyByteRoundTrips();
    void sameAsQtsConverter();
    void knownCharacters_data();
    void knownCharacters();
    void keepStorable_data();
    void keepStorable();
    void fieldKeepsToStorableText_data();
    void fieldKeepsToStorableText();
};

void TestCp1251::everyByteRoundTrips()
{
    QByteArray all;
    for (int b = 1; b < 256; ++b)
        all.append(char(b));
    const QString text = Cp1251::decode(all);
    QCOMPARE(text.size(), all.size());
    QCOMPARE(Cp1251::encode(text), all);
    QVERIFY(Cp1251::canEncode(text));
}

// The program's table against Qt's own converter (ICU's windows-1251), byte by byte; the one
// byte the code page leaves unassigned keeps its number.
void TestCp1251::sameAsQtsConverter()
{
    QStringDecoder decoder("windows-1251", QStringConverter::Flag::Stateless);
    QVERIFY(decoder.isValid());
    for (int b = 1; b < 256; ++b) {
        const QByteArray byte(1, char(b));
        QString expected = decoder.decode(byte);
        if (b == 0x98 && (expected.isEmpty() || expected.at(0) == QChar::ReplacementCharacter))
            expected = QString(QChar(char16_t(0x98)));
        QCOMPARE(Cp1251::decode(byte), expected);
    }
}

void TestCp1251::knownCharacters_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("capital Cyrillic") << "\xc0\xc1\xc2\xdf"_ba << u"АБВЯ"_s;
    QTest::newRow("small Cyrillic") << "\xe0\xff"_ba << u"ая"_s;
    QTest::newRow("yo") << "\xa8\xb8"_ba << u"Ёё"_s;
    QTest::newRow("unassigned 0x98 keeps its number") << "\x98"_ba << u"\u0098"_s;
    QTest::newRow("euro and dashes") << "\x88\x96\x97"_ba << u"€–—"_s;
    QTest::newRow("Ukrainian letters") << "\xaa\xba\xaf\xbf\xb2\xb3"_ba << u"ЄєЇїІі"_s;
    QTest::newRow("numero and quotes") << "\xb9\xab\xbb"_ba << u"№«»"_s;
    QTest::newRow("ASCII") << "Vedalka - 1!"_ba << u"Vedalka - 1!"_s;
}

void TestCp1251::knownCharacters()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(Cp1251::decode(bytes), text);
    QCOMPARE(Cp1251::encode(text), bytes);
}

void TestCp1251::keepStorable_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");

    QTest::newRow("Cyrillic name") << u"Маша"_s << u"Маша"_s;
    QTest::newRow("emoji dropped") << u"Маша 😀!"_s << u"Маша !"_s;
    QTest::newRow("Chinese dropped") << u"名字Петя"_s << u"Петя"_s;
    QTest::newRow("Latin letter with accent outside the page") << u"Zoë"_s << u"Zo"_s;
    QTest::newRow("line breaks and zero dropped") << u"a\rb\nc\u0000d"_s << u"abcd"_s;
    QTest::newRow("tab and other controls kept") << u"a\tb\u0001"_s << u"a\tb\u0001"_s;
    QTest::newRow("non-breaking space kept") << u"a\u00a0b"_s << u"a\u00a0b"_s;
}

void TestCp1251::keepStorable()
{
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    QCOMPARE(Cp1251::keepStorable(typed), kept);
    QVERIFY(Cp1251::canEncode(kept));
    QCOMPARE(Cp1251::decode(Cp1251::encode(kept)), kept);
}

// What a user types or pastes into a field ends up there only as far as it can be stored, so
// the field shows exactly what will be compared and logged.
void TestCp1251::fieldKeepsToStorableText_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("shown");

    QTest::newRow("typed Cyrillic") << QString() << u"Вася"_s << QString() << u"Вася"_s;
    QTest::newRow("typed emoji refused") << QString() << u"Ва😀ся"_s << QString() << u"Вася"_s;
    QTest::newRow("pasted text loses what cannot be stored") << u"Петя "_s << QString() << u"и 名 Zoë"_s << u"Петя и  Zo"_s;
    QTest::newRow("pasted line breaks do not split the line") << QString() << QString() << u"раз\nдва\rтри"_s << u"раздватри"_s;
}

void TestCp1251::fieldKeepsToStorableText()
{
    QFETCH(QString, start);
    QFETCH(QString, typed);
    QFETCH(QString, pasted);
    QFETCH(QString, shown);
    QLineEdit field;
    field.setValidator(new Cp1251Validator(&field));
    field.show();
    field.setFocus();
    TestSupport::typeText(&field, start + typed);
    if (!pasted.isEmpty()) {
        pasted.replace(u"\\n"_s, u"\n"_s).replace(u"\\r"_s, u"\r"_s);
        QGuiApplication::clipboard()->setText(pasted);
        field.paste();
    }
    QCOMPARE(field.text(), shown);
    QVERIFY(Cp1251::canEncode(field.text()));
}

VEDALKA_TEST_MAIN(TestCp1251)
#include "tst_cp1251.moc"
