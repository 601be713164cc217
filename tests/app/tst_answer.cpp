// The answer to a name, driven through the real main window with a fixed clock and a recording
// sound player: the phrase, the log line, the cartoon icon and the laughter.
#include "app/Startup.h"
#include "app/Vedalka.h"
#include "core/Cp1251.h"
#include "core/LineList.h"
#include "core/RandomSource.h"
#include "platform/SystemSound.h"
#include "support/IconWriter.h"
#include "support/TestSupport.h"

#include <QFile>

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {

// The failing icon: these bytes written in its place, or the icon made unreadable.
enum class IconSetup { Written, Unreadable };

// Ten phrases, "фраза 0" ... "фраза 9".
QByteArray tenPhrases()
{
    QByteArray base;
    for (int i = 0; i < 10; ++i)
        base += cp(u"фраза %1"_s.arg(i)) + "\r\n";
    return base;
}

// Icon i is an opaque square of its own colour and size 16 + i, so the picture tells which
// icon was shown.
QColor iconColour(int i)
{
    return QColor::fromHsv((i * 47) % 360, 200, 220);
}

void makeIcons(int count)
{
    makeDir(u"картинки"_s);
    for (int i = 0; i < count; ++i) {
        QImage picture(16 + i, 16 + i, QImage::Format_ARGB32);
        picture.fill(iconColour(i));
        writeFile(u"картинки/%1.ico"_s.arg(i), IconWriter::iconFile({IconWriter::bitmapEntry(picture)}));
    }
}

void makeLaughter()
{
    makeDir(u"Звуки"_s);
    for (int m = 1; m <= 12; ++m)
        writeFile(u"Звуки/смех%1.wav"_s.arg(m), makeTone(8000, 1, 50));
}

// Which icon Karikatura shows, by colour and size; -1 for none of them.
int shownIcon(PictureBox *box)
{
    const QImage shown = box->picture().toImage();
    for (int i = 0; i < 20; ++i) {
        if (shown.size() == QSize(16 + i, 16 + i) && shown.pixel(0, 0) == iconColour(i).rgb())
            return i;
    }
    return -1;
}

} // namespace

class TestAnswer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Startup::prepareApplication(); }
    void cleanup();
    void knownDraws_data();
    void knownDraws();
    void answerMatchesLineList_data();
    void answerMatchesLineList();
    void fffffFirstDoesNothing();
    void sameNameTwiceDoesNothing();
    void caseMakesANewName();
    void emptyName();
    void emptyBase();
    void blankPhrase();
    void noIcons();
    void iconDeletedSinceTheCount();
    void soundOffDrawsNoLaughter();
    void missingLaughterFile();
    void failingIcon_data();
    void failingIcon();
    void undecodableIconShowsNothing();
    void sharpCartoon_data();
    void sharpCartoon();
    void baseReadAtEveryPress();
    void baseMissingAtPress();
    void longPhraseShownWhole();
    void typedAsAUserAndLogged();

private:
    void start(const QByteArray &base, int icons, bool laughter = true);
    void press(const QString &name);

    std::unique_ptr<WorkDir> m_dir;
    std::unique_ptr<TForm1> m_form;
    std::unique_ptr<RecordingPresenter> m_boxes;
    std::unique_ptr<RecordingSoundPlayer> m_sound;
};

void TestAnswer::start(const QByteArray &base, int icons, bool laughter)
{
    m_dir = std::make_unique<WorkDir>();
    m_boxes = std::make_unique<RecordingPresenter>();
    m_sound = std::make_unique<RecordingSoundPlayer>();
    writeFile(u"baza.leh"_s, base);
    makeIcons(icons);
    if (laughter)
        makeLaughter();
    m_form = Startup::makeMainWindow();
    m_form->show();
}

void TestAnswer::cleanup()
{
    m_form.reset();
    m_sound.reset();
    m_boxes.reset();
    m_dir.reset();
}

void TestAnswer::press(const QString &name)
{
    m_form->Chel->setText(name);
    QTest::mouseClick(m_form->Button1, Qt::LeftButton);
}

void TestAnswer::knownDraws_data()
{
    QTest::addColumn<quint64>("counter");
    QTest::addColumn<int>("phrase");
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("laughter");

    // Worked out by hand from the generator, with 10 phrases, icons 0..4 and 12 laughs.
    QTest::newRow("counter 123456789") << quint64(123456789) << 5 << 1 << 5;
    QTest::newRow("counter 42") << quint64(42) << 3 << 4 << 3;
    QTest::newRow("counter 0xDEADBEEF") << quint64(0xDEADBEEF) << 3 << 0 << 8;
    QTest::newRow("counter above 32 bits") << quint64(0x500000007) << 2 << 4 << 4;
}

void TestAnswer::knownDraws()
{
    QFETCH(quint64, counter);
    QFETCH(int, phrase);
    QFETCH(int, icon);
    QFETCH(int, laughter);
    start(tenPhrases(), 5);
    FixedCounter fixed(counter);
    press(u"Маша"_s);
    QCOMPARE(m_form->Vedalka->text(), u"фраза %1"_s.arg(phrase));
    QCOMPARE(answersOf(m_form->resultLog()), QList<QByteArray>{cp(u"Маша - фраза %1"_s.arg(phrase))});
    QCOMPARE(shownIcon(m_form->Karikatura), icon);
    QCOMPARE(m_sound->sounds().size(), 1);
    QCOMPARE(m_sound->sounds().first().name, u"Звуки/смех%1.wav"_s.arg(laughter));
    QCOMPARE(m_sound->sounds().first().flags, quint32(0x22003));
    QCOMPARE(m_form->previousName(), cp(u"Маша"_s));
    QVERIFY(m_boxes->boxes.isEmpty());
}

void TestAnswer::answerMatchesLineList_data()
{
    QTest::addColumn<QByteArray>("base");
    QTest::addColumn<quint64>("counter");

    constexpr qsizetype Read = 256 * 1024;
    const QByteArray mixed = mixedText(3 * Read + 5000, 7, 8, 2000, 100);
    QByteArray zero = mixedText(3 * Read + 5000, 8, 8, 2000, 100);
    zero[2 * Read + 999] = '\0';
    const QByteArray crLfSplit = QByteArray(Read - 1, 'a') + "\r\n" + mixedText(2 * Read, 9, 8, 2000, 100);
    const QByteArray lfCrSplit = mixedText(Read - 1, 10, 8, 2000, 100).left(Read - 1) + "\n\r" + mixedText(2 * Read, 11, 8, 2000, 100);
    for (const quint64 counter : {quint64(1), quint64(42), quint64(123456789), quint64(0xDEADBEEF), quint64(0x5FFFFFFFF)}) {
        QTest::addRow("mixed breaks, counter %llu", counter) << mixed << counter;
        QTest::addRow("zero byte in the third read, counter %llu", counter) << zero << counter;
        QTest::addRow("CR LF split between reads, counter %llu", counter) << crLfSplit << counter;
        QTest::addRow("LF CR split between reads, counter %llu", counter) << lfCrSplit << counter;
    }
}

void TestAnswer::answerMatchesLineList()
{
    QFETCH(QByteArray, base);
    QFETCH(quint64, counter);
    start(base, 5);
    LineList list;
    list.load(u"baza.leh"_s);
    QVERIFY(list.count() > 0);
    // The draw of the press: the seed is the counter's low 32 bits, the phrase the first draw.
    RandomSource draw;
    draw.setSeed(quint32(counter));
    const QByteArray expected = list.get(draw.random(quint32(list.count())));

    FixedCounter fixed(counter);
    press(u"Маша"_s);
    QCOMPARE(answersOf(m_form->resultLog()), QList<QByteArray>{cp(u"Маша - "_s) + expected});
    QCOMPARE(m_form->Vedalka->text(), Cp1251::decode(expected));
    QVERIFY(m_boxes->boxes.isEmpty());
}

void TestAnswer::fffffFirstDoesNothing()
{
    start(tenPhrases(), 5);
    const QImage before = m_form->Karikatura->picture().toImage();
    press(u"fffff"_s);
    QVERIFY(m_form->Vedalka->text().isEmpty());
    QVERIFY(answersOf(m_form->resultLog()).isEmpty());
    QCOMPARE(m_form->Karikatura->picture().toImage(), before);
    QVERIFY(m_sound->requests.isEmpty());
    QVERIFY(m_boxes->boxes.isEmpty());
}

void TestAnswer::sameNameTwiceDoesNothing()
{
    start(tenPhrases(), 5);
    {
        FixedCounter fixed(42);
        press(u"Петя"_s);
    }
    const QString phrase = m_form->Vedalka->text();
    const QImage picture = m_form->Karikatura->picture().toImage();
    FixedCounter other(123456789);
    press(u"Петя"_s);
    QCOMPARE(m_form->Vedalka->text(), phrase);
    QCOMPARE(m_form->Karikatura->picture().toImage(), picture);
    QCOMPARE(answersOf(m_form->resultLog()).size(), 1);
    QCOMPARE(m_sound->requests.size(), 1);
}

void TestAnswer::caseMakesANewName()
{
    start(tenPhrases(), 5);
    press(u"петя"_s);
    press(u"Петя"_s);
    press(u"Петя "_s);
    QCOMPARE(answersOf(m_form->resultLog()).size(), 3);
}

void TestAnswer::emptyName()
{
    start(tenPhrases(), 5);
    press(u"Вова"_s);
    press(QString());
    QCOMPARE(m_form->Vedalka->text(), u"Имя-то напиши"_s);
    QCOMPARE(answersOf(m_form->resultLog()).size(), 1);
    QCOMPARE(m_form->previousName(), QByteArray());
    QCOMPARE(m_sound->requests.size(), 1);
    // The same name as before the empty one is new again.
    press(u"Вова"_s);
    QCOMPARE(answersOf(m_form->resultLog()).size(), 2);
}

void TestAnswer::emptyBase()
{
    start(QByteArray(), 5);
    press(u"Маша"_s);
    QCOMPARE(m_boxes->messages(), QStringList{u"В базе нет ни одной фразы. Добавьте"_s});
    QVERIFY(answersOf(m_form->resultLog()).isEmpty());
    QVERIFY(m_sound->requests.isEmpty());
    press(u"Маша"_s);
    QCOMPARE(m_boxes->messages().size(), 1);
    QCOMPARE(m_form->previousName(), cp(u"Маша"_s));
}

void TestAnswer::blankPhrase()
{
    start("\r\n"_ba, 5);
    m_form->Vedalka->setText(u"старое"_s);
    press(u"Оля"_s);
    QCOMPARE(m_form->Vedalka->text(), QString());
    QCOMPARE(answersOf(m_form->resultLog()), QList<QByteArray>{cp(u"Оля - "_s)});
}

void TestAnswer::noIcons()
{
    start(tenPhrases(), 0);
    QCOMPARE(m_form->pictureIndex()->get(1), "-1"_ba);
    const QImage before = m_form->Karikatura->picture().toImage();
    for (const QString &name : {u"а"_s, u"б"_s, u"в"_s}) {
        press(name);
        QCOMPARE(m_form->Karikatura->picture().toImage(), before);
    }
    QCOMPARE(answersOf(m_form->resultLog()).size(), 3);
    QVERIFY(m_sound->requests.isEmpty());
}

void TestAnswer::iconDeletedSinceTheCount()
{
    start(tenPhrases(), 5);
    QFile::remove(u"картинки/1.ico"_s);
    const QImage before = m_form->Karikatura->picture().toImage();
    FixedCounter fixed(123456789); // draws icon 1
    press(u"Маша"_s);
    QCOMPARE(m_form->Vedalka->text(), u"фраза 5"_s);
    QCOMPARE(m_form->Karikatura->picture().toImage(), before);
    QVERIFY(m_sound->requests.isEmpty());
    QVERIFY(m_boxes->boxes.isEmpty());
    QCOMPARE(m_form->previousName(), cp(u"Маша"_s));
}

void TestAnswer::soundOffDrawsNoLaughter()
{
    start(tenPhrases(), 5);
    QTest::mouseClick(m_form->ZvukOFF, Qt::LeftButton);
    FixedCounter fixed(123456789);
    press(u"Маша"_s);
    QCOMPARE(shownIcon(m_form->Karikatura), 1);
    QVERIFY(m_sound->requests.isEmpty());
    // Two draws only: the phrase and the icon.
    QCOMPARE(RandomSource::global().seed(), 1699992339u);
    QTest::mouseClick(m_form->ZvukON, Qt::LeftButton);
    press(u"Даша"_s);
    QCOMPARE(m_sound->sounds().size(), 1);
    QCOMPARE(RandomSource::global().seed(), 1678830432u);
}

void TestAnswer::missingLaughterFile()
{
    start(tenPhrases(), 5, false);
    FixedCounter fixed(42);
    press(u"Маша"_s);
    QCOMPARE(shownIcon(m_form->Karikatura), 4);
    QVERIFY(m_sound->requests.isEmpty());
    QVERIFY(m_boxes->boxes.isEmpty());
}

void TestAnswer::failingIcon_data()
{
    QTest::addColumn<IconSetup>("setup");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");
    QTest::newRow("type 2") << IconSetup::Written << QByteArray("\0\0\2\0\1\0", 6) << u"Icon image is not valid."_s;
    QTest::newRow("shorter than 6 bytes") << IconSetup::Written << QByteArray("\0\0\1", 3) << u"Stream read error."_s;
    QTest::newRow("unreadable") << IconSetup::Unreadable << QByteArray()
                                << u"Cannot open file \"%1/картинки/1.ico\". Permission denied."_s;
}

void TestAnswer::failingIcon()
{
    QFETCH(IconSetup, setup);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    start(tenPhrases(), 5);
    if (setup == IconSetup::Unreadable)
        QFile::setPermissions(u"картинки/1.ico"_s, QFile::WriteOwner);
    else
        writeFile(u"картинки/1.ico"_s, bytes);
    const QImage before = m_form->Karikatura->picture().toImage();
    FixedCounter fixed(123456789); // draws phrase 5 and icon 1
    press(u"Маша"_s);
    QCOMPARE(m_boxes->errors(), QStringList{error.contains(u"%1"_s) ? error.arg(m_dir->path()) : error});
    QCOMPARE(m_form->Vedalka->text(), u"фраза 5"_s);
    QCOMPARE(answersOf(m_form->resultLog()), QList<QByteArray>{cp(u"Маша - фраза 5"_s)});
    QCOMPARE(m_form->Karikatura->picture().toImage(), before);
    QVERIFY(m_sound->requests.isEmpty());
    // The press did not run to its end, so the same name answers again.
    QCOMPARE(m_form->previousName(), "fffff"_ba);
    press(u"Маша"_s);
    QCOMPARE(answersOf(m_form->resultLog()).size(), 2);
}

void TestAnswer::undecodableIconShowsNothing()
{
    start(tenPhrases(), 5);
    // Passes the load test, but its only entry points far beyond the file.
    IconWriter::Entry entry = IconWriter::bitmapEntry(IconWriter::truecolourPicture(QSize(32, 32), IconWriter::Alpha::Opaque));
    entry.dataOffset = 1u << 30;
    writeFile(u"картинки/1.ico"_s, IconWriter::iconFile({entry}));
    FixedCounter fixed(123456789);
    press(u"Маша"_s);
    QVERIFY(m_boxes->boxes.isEmpty());
    QVERIFY(m_form->Karikatura->picture().isNull());
    m_form->Karikatura->repaint();
    QVERIFY(m_boxes->boxes.isEmpty());
    QCOMPARE(m_sound->sounds().size(), 1);
    QCOMPARE(m_form->previousName(), cp(u"Маша"_s));
}

void TestAnswer::sharpCartoon_data()
{
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<int>("side"); // of the entry drawn 1:1

    QTest::newRow("ratio 1: the 32 entry") << 1.0 << 32;
    QTest::newRow("ratio 1.5: the 48 entry") << 1.5 << 48;
    QTest::newRow("ratio 2: the 64 entry") << 2.0 << 64;
}

void TestAnswer::sharpCartoon()
{
    QFETCH(qreal, ratio);
    QFETCH(int, side);
    start(tenPhrases(), 5);
    // Icon 1 holds 16, 32, 48 and 64 pixel entries, each a picture of its own.
    QList<IconWriter::Entry> entries;
    QImage drawn;
    for (const int size : {16, 32, 48, 64}) {
        QImage picture = IconWriter::truecolourPicture(QSize(size, size), IconWriter::Alpha::Graded);
        picture = picture.mirrored(size % 32 == 0, size > 32);
        entries.append(IconWriter::bitmapEntry(picture));
        if (size == side)
            drawn = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    writeFile(u"картинки/1.ico"_s, IconWriter::iconFile(entries));
    FixedCounter fixed(123456789); // draws icon 1
    press(u"Маша"_s);
    // The place stays 32 x 32 logical pixels at every ratio.
    QCOMPARE(m_form->Karikatura->pictureRect(), QRect(0, 0, 32, 32));
    const QPixmap shown = m_form->Karikatura->pictureAt(ratio);
    QCOMPARE(shown.devicePixelRatio(), ratio);
    QImage pixels = shown.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    pixels.setDevicePixelRatio(1);
    QCOMPARE(pixels, drawn);
    // Drawn by the control onto a surface of that ratio, pixel for pixel.
    QImage surface((QSizeF(89, 89) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    surface.setDevicePixelRatio(ratio);
    surface.fill(Qt::transparent);
    m_form->Karikatura->render(&surface, QPoint(), QRegion(), QWidget::RenderFlags());
    surface.setDevicePixelRatio(1);
    QCOMPARE(surface.copy(0, 0, side, side), drawn);
    QCOMPARE(surface.pixel(side, side), 0u);
}

void TestAnswer::baseReadAtEveryPress()
{
    start(cp(u"первая\r\n"_s), 0);
    press(u"а"_s);
    QCOMPARE(m_form->Vedalka->text(), u"первая"_s);
    writeFile(u"baza.leh"_s, cp(u"вторая\n"_s));
    press(u"б"_s);
    QCOMPARE(m_form->Vedalka->text(), u"вторая"_s);
}

void TestAnswer::baseMissingAtPress()
{
    start(tenPhrases(), 5);
    press(u"а"_s);
    QFile::remove(u"baza.leh"_s);
    const QString shown = m_form->Vedalka->text();
    press(u"б"_s);
    QCOMPARE(m_boxes->errors(), QStringList{u"Cannot open file \"%1/baza.leh\". No such file or directory."_s.arg(m_dir->path())});
    QCOMPARE(m_form->Vedalka->text(), shown);
    QCOMPARE(answersOf(m_form->resultLog()).size(), 1);
    QCOMPARE(m_form->previousName(), cp(u"а"_s));
}

void TestAnswer::longPhraseShownWhole()
{
    // A long phrase is shown whole and from its start.
    const QByteArray longPhrase = cp(u"очень "_s).repeated(15000) + "!";
    start(longPhrase + "\r\n" + QByteArray(3000000, 'z'), 0);
    FixedCounter fixed(0); // random(2) gives 0 for this counter
    press(u"а"_s);
    QCOMPARE(m_form->Vedalka->text(), Cp1251::decode(longPhrase));
    QCOMPARE(m_form->Vedalka->cursorPosition(), 0);
    QCOMPARE(answersOf(m_form->resultLog()), QList<QByteArray>{cp(u"а - "_s) + longPhrase});

    // A line of millions of characters is shown in part, and logged whole.
    FixedCounter other(123456789); // random(2) gives 1
    press(u"б"_s);
    QCOMPARE(m_form->Vedalka->text(), QString(100000, u'z') + u'…');
    QCOMPARE(answersOf(m_form->resultLog()).last(), cp(u"б - "_s) + QByteArray(3000000, 'z'));
}

void TestAnswer::typedAsAUserAndLogged()
{
    start(tenPhrases(), 5);
    writeFile(u"vedalka.log"_s, cp(u"Старый - ответ\r\n"_s));
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    m_form->Chel->setFocus();
    typeText(m_form->Chel, u"Ёжик"_s);
    {
        FixedCounter fixed(42);
        QTest::mouseClick(m_form->Button1, Qt::LeftButton);
    }
    m_form->Chel->clear();
    typeText(m_form->Chel, u"Маша"_s);
    {
        FixedCounter fixed(123456789);
        m_form->Button1->setFocus();
        QTest::keyClick(m_form->Button1, Qt::Key_Space);
    }
    QVERIFY(m_form->close());
    QCOMPARE(readFile(u"vedalka.log"_s), cp(u"Старый - ответ\r\nЁжик - фраза 3\r\nМаша - фраза 5\r\n"_s));
}

VEDALKA_TEST_MAIN(TestAnswer)
#include "tst_answer.moc"
