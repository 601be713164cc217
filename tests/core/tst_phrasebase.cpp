// The phrase base read for a press must give exactly the lines a plain line list gives: the
// same count, and the same line for every number drawn, whatever the breaks and the file size.
#include "core/Failure.h"
#include "core/LineList.h"
#include "core/PhraseBase.h"
#include "core/RandomSource.h"
#include "support/TestSupport.h"

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {

constexpr qsizetype Chunk = 256 * 1024; // the size the base is read in

// A text of about `size` bytes with lines of varied length and every kind of break.
QByteArray mixedText(qsizetype size, quint32 seed)
{
    RandomSource r;
    r.setSeed(seed);
    const char *breaks[] = {"\r\n", "\n", "\r", "\n\r", "\r\r\n"};
    QByteArray text;
    while (text.size() < size) {
        const quint32 len = r.random(10) == 0 ? r.random(3000) : r.random(120);
        for (quint32 i = 0; i < len; ++i)
            text.append(char(0x20 + r.random(0xDF)));
        text.append(breaks[r.random(5)]);
    }
    return text;
}

} // namespace

class TestPhraseBase : public QObject
{
    Q_OBJECT

private slots:
    void sameAsLineList_data();
    void sameAsLineList();
    void everyLineOfSmallTexts_data();
    void everyLineOfSmallTexts();
    void containsExactLinesOnly_data();
    void containsExactLinesOnly();
    void smallReadsSameAsLineList_data();
    void smallReadsSameAsLineList();
    void errors();
};

void TestPhraseBase::sameAsLineList_data()
{
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("1 KB") << mixedText(1000, 1);
    QTest::newRow("several reads") << mixedText(5 * Chunk + 123, 2);
    QByteArray split = QByteArray(Chunk - 1, 'a') + "\r\nb\r\n" + mixedText(Chunk, 3);
    QTest::newRow("CR LF split between two reads") << split;
    QTest::newRow("LF CR split between two reads") << QByteArray(Chunk - 1, 'a') + "\n\rb" + mixedText(Chunk, 4);
    QTest::newRow("a line longer than a read") << mixedText(1000, 5) + QByteArray(3 * Chunk, 'x') + "\r\n" + mixedText(1000, 6);
    QTest::newRow("empty lines at read boundaries") << QByteArray(Chunk - 2, 'c') + "\r\n\r\n\r\n" + QByteArray(Chunk, 'd');
    QByteArray zero = mixedText(2 * Chunk + 77, 7);
    zero[Chunk + 11] = '\0';
    QTest::newRow("zero byte in a later read") << zero;
    QTest::newRow("no break at the end") << mixedText(Chunk + 5, 8) + "tail";
}

void TestPhraseBase::sameAsLineList()
{
    QFETCH(QByteArray, text);
    WorkDir dir;
    writeFile(u"baza.leh"_s, text);
    LineList list;
    list.load(u"baza.leh"_s);
    PhraseBase base;
    base.load(u"baza.leh"_s);
    QCOMPARE(base.count(), list.count());
    QVERIFY(list.count() > 0);

    // The pick of a press: random(count) after seeding, for many seeds.
    RandomSource r;
    for (quint32 seed = 0; seed < 300; ++seed) {
        r.setSeed(seed * 2654435761u);
        const qsizetype k = r.random(quint32(base.count()));
        QCOMPARE(base.line(k), list.get(k));
    }
    QCOMPARE(base.line(0), list.get(0));
    QCOMPARE(base.line(base.count() - 1), list.get(list.count() - 1));
}

void TestPhraseBase::everyLineOfSmallTexts_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("CR LF") << "a\r\nb\r\n"_ba;
    QTest::newRow("LF CR") << "a\n\rb\n\r"_ba;
    QTest::newRow("lone CR and LF") << "a\rb\nc"_ba;
    QTest::newRow("blank lines") << "\r\n\r\nx\r\n"_ba;
    QTest::newRow("zero byte mid-line") << QByteArray("ab\0cd\r\nef", 9);
    QTest::newRow("zero byte at a line start") << QByteArray("ab\r\n\0cd", 7);
}

void TestPhraseBase::everyLineOfSmallTexts()
{
    QFETCH(QByteArray, text);
    WorkDir dir;
    writeFile(u"baza.leh"_s, text);
    LineList list;
    list.load(u"baza.leh"_s);
    PhraseBase base;
    base.load(u"baza.leh"_s);
    QCOMPARE(base.count(), list.count());
    for (qsizetype i = 0; i < list.count(); ++i)
        QCOMPARE(base.line(i), list.get(i));
}

void TestPhraseBase::containsExactLinesOnly_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("phrase");
    QTest::addColumn<bool>("found");

    const QByteArray base = "Маша\r\nдобрая \r\n\r\nlast"_ba;
    QTest::newRow("a line") << base << "Маша"_ba << true;
    QTest::newRow("the last line without a break") << base << "last"_ba << true;
    QTest::newRow("with its trailing space") << base << "добрая "_ba << true;
    QTest::newRow("without the trailing space") << base << "добрая"_ba << false;
    QTest::newRow("a prefix") << base << "Ма"_ba << false;
    QTest::newRow("longer") << base << "Маша!"_ba << false;
    QTest::newRow("other case") << base << "маша"_ba << false;
    QTest::newRow("the empty line") << base << QByteArray() << true;
    QTest::newRow("empty text, no empty line") << "a\r\n"_ba << QByteArray() << false;
    QTest::newRow("empty file") << QByteArray() << "a"_ba << false;
    QTest::newRow("after a zero byte") << QByteArray("a\r\n\0b\r\n", 7) << "b"_ba << false;
    const QByteArray longLine(Chunk + 100, 'q');
    QTest::newRow("a line across reads") << mixedText(Chunk - 50, 9) + "\r\n" + longLine + "\r\nz" << longLine << true;
    QTest::newRow("a line across reads, one byte short") << mixedText(Chunk - 50, 9) + "\r\n" + longLine + "\r\nz"
                                                         << longLine.chopped(1) << false;
}

void TestPhraseBase::containsExactLinesOnly()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, phrase);
    QFETCH(bool, found);
    WorkDir dir;
    writeFile(u"baza.leh"_s, text);
    PhraseBase base;
    base.load(u"baza.leh"_s);
    QCOMPARE(base.contains(phrase), found);
    QCOMPARE(LineList::fromText(text).lines().contains(phrase), found);
}

void TestPhraseBase::smallReadsSameAsLineList_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qsizetype>("readSize");

    const QList<std::pair<const char *, QByteArray>> texts = {
        {"CR LF", "ab\r\ncd\r\n"_ba},
        {"LF CR", "a\n\rb\n\r"_ba},
        {"blank lines", "\r\n\r\r\n\n\nx"_ba},
        {"zero byte after a CR", QByteArray("ab\r\0cd", 6)},
        {"zero byte mid-line", QByteArray("ab\0cd\r\nef", 9)},
        {"mixed", mixedText(3000, 10)},
    };
    for (const auto &[name, text] : texts) {
        for (const qsizetype readSize : {1, 2, 3, 7, 64}) {
            QTest::addRow("%s, reads of %lld", name, qlonglong(readSize)) << text << readSize;
        }
    }
}

// Every read boundary is a checkpoint: reads of a few bytes put one inside every kind of break.
void TestPhraseBase::smallReadsSameAsLineList()
{
    QFETCH(QByteArray, text);
    QFETCH(qsizetype, readSize);
    const LineList list = LineList::fromText(text);
    PhraseBase base;
    base.loadText(text, readSize);
    QCOMPARE(base.count(), list.count());
    for (qsizetype i = list.count() - 1; i >= 0; --i)
        QCOMPARE(base.line(i), list.get(i));
    for (const QByteArray &line : list.lines()) {
        QVERIFY(base.contains(line));
        QCOMPARE(base.contains(line + 'x'), list.lines().contains(line + 'x'));
    }
}

void TestPhraseBase::errors()
{
    WorkDir dir;
    PhraseBase base;
    try {
        base.load(u"baza.leh"_s);
        QFAIL("no failure");
    } catch (const Failure &f) {
        QCOMPARE(f.text(), u"Cannot open file \"%1/baza.leh\". No such file or directory"_s.arg(dir.path()));
    }
    writeFile(u"baza.leh"_s, "one\r\n");
    base.load(u"baza.leh"_s);
    try {
        base.line(1);
        QFAIL("no failure");
    } catch (const Failure &f) {
        QCOMPARE(f.text(), u"List index out of bounds (1)"_s);
    }
}

VEDALKA_TEST_MAIN(TestPhraseBase)
#include "tst_phrasebase.moc"
