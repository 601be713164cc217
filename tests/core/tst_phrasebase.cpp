// The phrase base read for a press must give exactly the lines a plain line list gives: the
// same count, and the same line for every number drawn, whatever the breaks and the file size.
#include "core/LineList.h"
#include "core/LineSplitter.h"
#include "core/PhraseBase.h"
#include "core/RandomSource.h"
#include "support/TestSupport.h"

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {

constexpr qsizetype Chunk = 256 * 1024; // the size the base is read in

// Lines of every break form, densely: short lines so that many breaks fall in every block.
QByteArray denseBreaks(qsizetype size, quint32 seed)
{
    RandomSource r;
    r.setSeed(seed);
    const char *breaks[] = {"\r\n", "\n", "\r", "\n\r", "\r\r\n", "\r\n\n"};
    QByteArray text;
    while (text.size() < size) {
        for (quint32 i = 0, n = r.random(5); i < n; ++i)
            text.append(char(0x20 + r.random(0xDF)));
        text.append(breaks[r.random(6)]);
    }
    return text.left(size);
}

// The number of lines a line list makes of the text.
qsizetype listCount(QByteArrayView text)
{
    return LineList::fromText(text).count();
}

const LineSplit::Method allMethods[] = {LineSplit::Method::Plain, LineSplit::Method::Avx2};

const char *methodName(LineSplit::Method m)
{
    switch (m) {
    case LineSplit::Method::Plain:
        return "plain";
    case LineSplit::Method::Avx2:
        return "AVX2";
    }
    return "?";
}

struct CountingSink
{
    qsizetype lines = 0;
    void piece(const char *, qsizetype) { }
    void lineEnd() { ++lines; }
};

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
    void countBreaksEveryMethod_data();
    void countBreaksEveryMethod();
    void countLinesInChunks_data();
    void countLinesInChunks();
    void inFormatEveryMethod_data() { countBreaksEveryMethod_data(); }
    void inFormatEveryMethod();
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
    QTest::newRow("empty text: a CR LF is one break") << "a\r\nb"_ba << QByteArray() << false;
    QTest::newRow("empty text: an empty line between a CR and a CR LF") << "a\r\r\nb"_ba << QByteArray() << true;
    QTest::newRow("empty text: a CR LF cut by the read edge") << QByteArray(Chunk - 1, 'y') + "\r\nz" << QByteArray() << false;
    QTest::newRow("empty text: an empty line at the read edge") << QByteArray(Chunk - 1, 'y') + "\r\r\nz" << QByteArray()
                                                                 << true;
    QTest::newRow("empty text: a zero byte after the last break") << QByteArray("a\r\n\0\r\n", 6) << QByteArray() << false;
    QTest::newRow("empty file") << QByteArray() << "a"_ba << false;
    QTest::newRow("after a zero byte") << QByteArray("a\r\n\0b\r\n", 7) << "b"_ba << false;
    const QByteArray longLine(Chunk + 100, 'q');
    QTest::newRow("a line across reads") << mixedText(Chunk - 50, 9) + "\r\n" + longLine + "\r\nz" << longLine << true;
    QTest::newRow("a line across reads, one byte short") << mixedText(Chunk - 50, 9) + "\r\n" + longLine + "\r\nz"
                                                         << longLine.chopped(1) << false;
    QTest::newRow("the first line") << "Маша\r\nx"_ba << "Маша"_ba << true;
    QTest::newRow("only inside a line") << "xМашаx\r\nМашаx\r\nxМаша"_ba << "Маша"_ba << false;
    QTest::newRow("the last line before a zero byte") << QByteArray("a\r\nМаша\0b\r\n", 11) << "Маша"_ba << true;
    QTest::newRow("across a zero byte") << QByteArray("a\r\nМа\0ша\r\n", 11) << "Маша"_ba << false;
    QTest::newRow("after a lone LF") << "a\nМаша\nb"_ba << "Маша"_ba << true;
    QTest::newRow("after a lone CR") << "a\rМаша\rb"_ba << "Маша"_ba << true;
    QTest::newRow("a phrase holding a break") << "a\r\nb\r\n"_ba << "a\r\nb"_ba << false;
    QTest::newRow("a phrase holding a zero byte") << QByteArray("a\r\n", 3) << QByteArray("a\0", 2) << false;
    QTest::newRow("a phrase longer than the file") << "ab"_ba << "abc"_ba << false;
    QTest::newRow("the whole file") << "Маша"_ba << "Маша"_ba << true;
    // The line placed so that it, its break or the break before it falls on the edge between
    // two reads, and the same text inside a longer line there.
    const QByteArray phrase = "фраза на границе";
    for (qsizetype shift = -qsizetype(phrase.size()) - 3; shift <= 3; ++shift) {
        const QByteArray before(Chunk + shift - 2, 'y');
        QTest::addRow("a line at the read edge %+lld", qlonglong(shift))
            << before + "\r\n" + phrase + "\r\nz" << phrase << true;
        QTest::addRow("inside a line at the read edge %+lld", qlonglong(shift))
            << before + "\r\nx" + phrase + "\r\n" + before + phrase + "x\r\n" << phrase << false;
        QTest::addRow("the last line at the read edge %+lld", qlonglong(shift)) << before + "\r\n" + phrase << phrase << true;
        QTest::addRow("a longer line at the read edge %+lld", qlonglong(shift))
            << before + "\r\n" + phrase + "x\r\n" << phrase << false;
    }
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
    QCOMPARE(failureText([&] { base.load(u"baza.leh"_s); }),
             u"Cannot open file \"%1/baza.leh\". No such file or directory"_s.arg(dir.path()));
    writeFile(u"baza.leh"_s, "one\r\n");
    base.load(u"baza.leh"_s);
    QCOMPARE(failureText([&] { base.line(1); }), u"List index out of bounds (1)"_s);
}

void TestPhraseBase::countBreaksEveryMethod_data()
{
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one byte of each kind") << QByteArray("\r\na\0", 4);
    QTest::newRow("mixed lines") << mixedText(20000, 11);
    QTest::newRow("dense breaks of every form") << denseBreaks(20000, 12);
    // Every byte a break: the byte-wide counters of the wide scans must be summed in time.
    QTest::newRow("carriage returns only") << QByteArray(50000, '\r');
    QTest::newRow("line feeds only") << QByteArray(50000, '\n');
    QTest::newRow("CR LF only") << QByteArray("\r\n").repeated(25000);
    QTest::newRow("LF CR only") << QByteArray("\n\r").repeated(25000);
    QTest::newRow("no break") << QByteArray(5000, 'x');
    for (const int at : {0, 1, 2, 15, 16, 17, 31, 32, 33, 34, 63, 64, 65, 8159, 8160, 8161, 8192}) {
        QByteArray zero = denseBreaks(9000, quint32(at));
        zero[at] = '\0';
        QTest::addRow("zero byte at %d", at) << zero;
    }
    QByteArray splitPair = denseBreaks(200, 13);
    splitPair[31] = '\r';
    splitPair[32] = '\n';
    QTest::newRow("CR LF across a block edge") << splitPair;
}

void TestPhraseBase::countBreaksEveryMethod()
{
    QFETCH(QByteArray, text);
    const char *const begin = text.constData();
    const char *const end = begin + text.size();

    // From the start, every way agrees with the line list: the breaks before the end of the
    // text, plus the line a missing final break or a zero byte leaves open.
    for (const LineSplit::Method method : allMethods) {
        if (!LineSplit::available(method))
            continue;
        qsizetype breaks = 0;
        const char *stop = LineSplit::countBreaks(method, begin, end, false, breaks);
        const qsizetype zero = text.indexOf('\0');
        QCOMPARE(stop - begin, zero < 0 ? text.size() : zero);
        const bool open = stop > begin && stop[-1] != '\r' && stop[-1] != '\n';
        QVERIFY2(breaks + (open ? 1 : 0) == listCount(text), methodName(method));
    }

    // From any starting byte, after a carriage return or not, every way gives what the plain
    // scan gives.
    for (qsizetype from = 0; from <= qMin<qsizetype>(text.size(), 70); ++from) {
        for (const bool afterCr : {false, true}) {
            qsizetype plainBreaks = 0;
            const char *plainStop = LineSplit::countBreaks(LineSplit::Method::Plain, begin + from, end, afterCr, plainBreaks);
            for (const LineSplit::Method method : allMethods) {
                if (!LineSplit::available(method))
                    continue;
                qsizetype breaks = 0;
                const char *stop = LineSplit::countBreaks(method, begin + from, end, afterCr, breaks);
                const QByteArray where = QByteArray(methodName(method)) + " from " + QByteArray::number(from)
                                         + (afterCr ? " after CR" : "");
                QVERIFY2(stop == plainStop, where.constData());
                QVERIFY2(breaks == plainBreaks, where.constData());
            }
        }
    }
}

void TestPhraseBase::countLinesInChunks_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("chunk");

    const QByteArray mixed = mixedText(30000, 21);
    const QByteArray dense = denseBreaks(30000, 22);
    QByteArray zero = denseBreaks(30000, 23);
    zero[17001] = '\0';
    QByteArray zeroAtLineStart = "ab\r\n"_ba + denseBreaks(3000, 24);
    zeroAtLineStart[4] = '\0';
    for (const int chunk : {1, 2, 3, 7, 16, 31, 32, 33, 100, 4096, 1 << 20}) {
        QTest::addRow("mixed lines, chunks of %d", chunk) << mixed << chunk;
        QTest::addRow("dense breaks, chunks of %d", chunk) << dense << chunk;
        QTest::addRow("zero byte, chunks of %d", chunk) << zero << chunk;
        QTest::addRow("zero byte at a line start, chunks of %d", chunk) << zeroAtLineStart << chunk;
        QTest::addRow("no final break, chunks of %d", chunk) << mixed + "tail" << chunk;
        QTest::addRow("final CR, chunks of %d", chunk) << dense + "x\r" << chunk;
    }
}

void TestPhraseBase::countLinesInChunks()
{
    QFETCH(QByteArray, text);
    QFETCH(int, chunk);

    // Counting in bulk leaves the splitter exactly where feeding it line by line does.
    LineSplitter counting;
    LineSplitter feeding;
    CountingSink sink;
    qsizetype counted = 0;
    for (qsizetype at = 0; at < text.size(); at += chunk) {
        const qsizetype n = qMin<qsizetype>(chunk, text.size() - at);
        counted += counting.countLines(text.constData() + at, n);
        feeding.feed(text.constData() + at, n, sink);
        QCOMPARE(counted, sink.lines);
        QCOMPARE(counting.lineOpen(), feeding.lineOpen());
        QCOMPARE(counting.skipLf(), feeding.skipLf());
        QCOMPARE(counting.ended(), feeding.ended());
    }
    CountingSink last;
    counting.finish(last);
    QCOMPARE(counted + last.lines, listCount(text));
}

void TestPhraseBase::inFormatEveryMethod()
{
    QFETCH(QByteArray, text);
    // Texts mostly in the line format, with the row's breaks out of format here and there.
    const QByteArray formatted = LineList::fromText(mixedText(4000, 31)).toText();
    for (const QByteArray &sample : {text, formatted + text, formatted + text + formatted}) {
        const char *const begin = sample.constData();
        const char *const end = begin + sample.size();
        for (qsizetype from = 0; from <= qMin<qsizetype>(sample.size(), 70); from += (from < 40 ? 1 : 7)) {
            const char *const plain = LineSplit::inFormatEnd(LineSplit::Method::Plain, begin + from, end);
            for (const LineSplit::Method method : allMethods) {
                if (!LineSplit::available(method))
                    continue;
                const QByteArray where = QByteArray(methodName(method)) + " from " + QByteArray::number(from);
                QVERIFY2(LineSplit::inFormatEnd(method, begin + from, end) == plain, where.constData());
            }
            // The part found comes back unchanged from a line list, but for the break its
            // last line gets when it ends mid-line; the next byte is out of format.
            const QByteArrayView part(begin + from, plain);
            QByteArray again = LineList::fromText(part).toText();
            if (!part.isEmpty() && !part.endsWith('\n'))
                again.chop(2);
            QCOMPARE(again, part.toByteArray());
            if (plain < end) {
                const char c = *plain;
                const bool breaksFormat = c == '\0' || (c == '\r' && (plain + 1 == end || plain[1] != '\n'))
                                          || (c == '\n' && (plain == begin + from || plain[-1] != '\r'));
                QVERIFY2(breaksFormat, QByteArray("stopped at byte " + QByteArray::number(plain - begin)).constData());
            }
        }
    }
}

VEDALKA_TEST_MAIN(TestPhraseBase)
#include "tst_phrasebase.moc"
