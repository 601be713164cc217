// The random source reproduces sequences worked out independently (with Python's arbitrary
// precision integers: seed = (seed * 134775813 + 1) mod 2^32; draw = (seed * n) >> 32).
#include "core/RandomSource.h"
#include "support/TestSupport.h"

using namespace TestSupport;

using Draws = QList<quint32>;

class TestRandom : public QObject
{
    Q_OBJECT

private slots:
    void sequences_data();
    void sequences();
    void randomizeTakesLow32BitsOfCounter_data();
    void randomizeTakesLow32BitsOfCounter();
    void realCounterMoves();
};

void TestRandom::sequences_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<quint32>("n");
    QTest::addColumn<Draws>("draws");

    QTest::newRow("seed 0, random(10)") << 0u << 10u << Draws{0, 0, 8, 2, 2, 6, 3, 1};
    QTest::newRow("seed 12345, random(100)") << 12345u << 100u << Draws{38, 28, 7, 55, 63, 34, 43, 7};
    QTest::newRow("seed 0xFFFFFFFF, random(12)") << 0xFFFFFFFFu << 12u << Draws{11, 2, 6, 1, 10, 0, 5, 11};
    QTest::newRow("random(0) is 0") << 777u << 0u << Draws{0, 0, 0, 0};
    QTest::newRow("random(1) is 0") << 777u << 1u << Draws{0, 0, 0, 0};
    QTest::newRow("n near 2^31") << 42u << 2147483647u << Draws{682808425, 1884326927, 441121872, 336883602};
    QTest::newRow("n = 2^31 + 5") << 42u << 2147483653u << Draws{682808427, 1884326932, 441121873, 336883603};
}

void TestRandom::sequences()
{
    QFETCH(quint32, seed);
    QFETCH(quint32, n);
    QFETCH(Draws, draws);
    RandomSource r;
    r.setSeed(seed);
    Draws got;
    for (qsizetype i = 0; i < draws.size(); ++i)
        got.append(r.random(n));
    QCOMPARE(got, draws);
}

void TestRandom::randomizeTakesLow32BitsOfCounter_data()
{
    QTest::addColumn<quint64>("counter");
    QTest::addColumn<quint32>("seed");

    QTest::newRow("small") << quint64(1234) << 1234u;
    QTest::newRow("above 32 bits") << quint64(0x123456789ABCDEF0ull) << 0x9ABCDEF0u;
}

void TestRandom::randomizeTakesLow32BitsOfCounter()
{
    QFETCH(quint64, counter);
    QFETCH(quint32, seed);
    FixedCounter fixed(counter);
    RandomSource r;
    r.randomize();
    QCOMPARE(r.seed(), seed);
}

void TestRandom::realCounterMoves()
{
    RandomSource a;
    a.randomize();
    const quint32 first = a.seed();
    QTRY_VERIFY([&] { a.randomize(); return a.seed() != first; }());
}

VEDALKA_TEST_MAIN(TestRandom)
#include "tst_random.moc"
