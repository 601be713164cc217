// The demo data set in demo/ against what the program expects of its data: a CP1251 phrase base
// with CR LF after every line that matches its UTF-8 source, an unbroken run of icons 0.ico,
// 1.ico, ... that hold 16, 32, 48 and 64 pixel images at 8 and 32 bits and load as pictures with
// transparency, and twelve laughter recordings in one PCM format that last one to three seconds.
#include "core/Cp1251.h"
#include "core/LineList.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QImageReader>
#include <QSet>
#include <QtEndian>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr int MinPhrases = 80;
constexpr int MinIcons = 12;
constexpr int Recordings = 12;
constexpr qint64 MaxRecordingBytes = 150 * 1024;
const QList<int> IconSizes{16, 32, 48, 64};
const QList<int> IconDepths{8, 32};

QString demoPath(const QString &name)
{
    return QDir(TestSupport::reachable(VEDALKA_DEMO_DIR)).filePath(name);
}

QString iconPath(int number)
{
    return demoPath(u"картинки/%1.ico"_s.arg(number));
}

QString recordingPath(int number)
{
    return demoPath(u"Звуки/смех%1.wav"_s.arg(number));
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// The number of icons the program uses: 0.ico, 1.ico, ... up to the first missing number.
int iconRunLength()
{
    int count = 0;
    while (QFileInfo(iconPath(count)).isFile())
        ++count;
    return count;
}

quint16 word(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint32 dword(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

struct IconEntry
{
    int width = 0;
    int height = 0;
    int colours = 0;
    int planes = 0;
    int bits = 0;
    quint32 size = 0;
    quint32 offset = 0;
};

// The directory of an .ico file; empty when the file is too short to hold the one it announces.
QList<IconEntry> readIconDirectory(const QByteArray &bytes)
{
    QList<IconEntry> entries;
    if (bytes.size() < 6)
        return entries;
    const int count = word(bytes, 4);
    if (bytes.size() < 6 + 16 * count)
        return entries;
    for (int i = 0; i < count; ++i) {
        const qsizetype at = 6 + 16 * i;
        entries.append({uchar(bytes[at]), uchar(bytes[at + 1]), uchar(bytes[at + 2]), word(bytes, at + 4),
                        word(bytes, at + 6), dword(bytes, at + 8), dword(bytes, at + 12)});
    }
    return entries;
}

struct WavFormat
{
    int audioFormat = 0;
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    int blockAlign = 0;
    int byteRate = 0;
    friend bool operator==(const WavFormat &, const WavFormat &) = default;
};

struct Wav
{
    bool valid = false;
    QString problem;
    WavFormat format;
    QByteArray samples;
};

// Walks the chunks of a RIFF WAVE file for its "fmt " and "data" chunks.
Wav parseWav(const QByteArray &bytes)
{
    Wav wav;
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE") {
        wav.problem = u"no RIFF WAVE header"_s;
        return wav;
    }
    if (dword(bytes, 4) != quint32(bytes.size() - 8)) {
        wav.problem = u"the RIFF size does not match the file size"_s;
        return wav;
    }
    bool haveFormat = false;
    bool haveData = false;
    qsizetype at = 12;
    while (at + 8 <= bytes.size()) {
        const QByteArray id = bytes.mid(at, 4);
        const quint32 size = dword(bytes, at + 4);
        if (at + 8 + qint64(size) > bytes.size()) {
            wav.problem = u"chunk %1 runs past the end of the file"_s.arg(QString::fromLatin1(id));
            return wav;
        }
        if (id == "fmt " && size >= 16) {
            const qsizetype f = at + 8;
            wav.format = {word(bytes, f), word(bytes, f + 2), int(dword(bytes, f + 4)), word(bytes, f + 14),
                          word(bytes, f + 12), int(dword(bytes, f + 8))};
            haveFormat = true;
        } else if (id == "data") {
            wav.samples = bytes.mid(at + 8, size);
            haveData = true;
        }
        at += 8 + size + (size & 1);
    }
    if (!haveFormat || !haveData) {
        wav.problem = u"a \"fmt \" or \"data\" chunk is missing"_s;
        return wav;
    }
    wav.valid = true;
    return wav;
}

// Syllables of a 16-bit mono recording: peaks of the loudness (20 ms windows every 10 ms) at
// most 20 dB under the loudest one, each parted from the one before by a dip of at least 6 dB.
// Returns the times of the peaks in seconds.
QList<double> syllablePeaks(const QByteArray &samples, int sampleRate)
{
    const auto *data = reinterpret_cast<const qint16 *>(samples.constData());
    const qsizetype count = samples.size() / 2;
    const qsizetype hop = sampleRate / 100;
    QList<double> level;
    for (qsizetype start = 0; start + 2 * hop <= count; start += hop) {
        double energy = 0;
        for (qsizetype i = start; i < start + 2 * hop; ++i) {
            const double sample = qFromLittleEndian<qint16>(data + i);
            energy += sample * sample;
        }
        level.append(10.0 * std::log10(energy / double(2 * hop) + 1.0));
    }
    if (level.size() < 3)
        return {};
    const double loudest = *std::max_element(level.cbegin(), level.cend());
    QList<qsizetype> peaks;
    for (qsizetype i = 1; i + 1 < level.size(); ++i) {
        if (level[i] < level[i - 1] || level[i] <= level[i + 1] || level[i] < loudest - 20.0)
            continue;
        if (!peaks.isEmpty()) {
            const qsizetype last = peaks.constLast();
            const double dip = *std::min_element(level.cbegin() + last, level.cbegin() + i + 1);
            if (dip > std::min(level[i], level[last]) - 6.0) {
                if (level[i] > level[last])
                    peaks.last() = i;
                continue;
            }
        }
        peaks.append(i);
    }
    QList<double> times;
    for (qsizetype peak : std::as_const(peaks))
        times.append(double(peak) / 100.0);
    return times;
}

} // namespace

class TestDemo : public QObject
{
    Q_OBJECT

private slots:
    void phraseBaseFormat();
    void phraseBaseMatchesItsSource();
    void phrases_data();
    void phrases();
    void iconRun();
    void iconDirectory_data();
    void iconDirectory();
    void iconPictures_data() { iconDirectory_data(); }
    void iconPictures();
    void recordings_data();
    void recordings();
    void recordingsShareOneFormat();
};

void TestDemo::phraseBaseFormat()
{
    const QByteArray bytes = contentOf(demoPath(u"baza.leh"_s));
    QVERIFY2(!bytes.isEmpty(), "baza.leh is missing or empty");
    QVERIFY2(!bytes.startsWith("\xef\xbb\xbf"), "baza.leh starts with a UTF-8 byte order mark");
    QVERIFY2(!bytes.contains('\0'), "a zero byte would cut the phrase base short");
    QVERIFY2(bytes.endsWith("\r\n"), "the last phrase has no CR LF");

    // Every break is the pair CR LF: as many pairs as there are CRs and as there are LFs.
    const qsizetype pairs = bytes.count("\r\n");
    QCOMPARE(bytes.count('\r'), pairs);
    QCOMPARE(bytes.count('\n'), pairs);

    LineList base;
    base.load(demoPath(u"baza.leh"_s));
    QCOMPARE(base.count(), pairs);
    QVERIFY2(base.count() >= MinPhrases, qPrintable(u"only %1 phrases"_s.arg(base.count())));
    QCOMPARE(base.toText(), bytes);

    const QList<QByteArray> &lines = base.lines();
    const QSet<QByteArray> distinct(lines.cbegin(), lines.cend());
    QCOMPARE(distinct.size(), lines.size());
}

void TestDemo::phraseBaseMatchesItsSource()
{
    const QByteArray source = contentOf(demoPath(u"phrases.txt"_s));
    QVERIFY2(!source.isEmpty(), "phrases.txt is missing or empty");
    QStringList expected = QString::fromUtf8(source).split(u'\n');
    if (expected.constLast().isEmpty())
        expected.removeLast();

    LineList base;
    base.load(demoPath(u"baza.leh"_s));
    QStringList actual;
    for (const QByteArray &line : base.lines())
        actual.append(Cp1251::decode(line));
    // A difference means baza.leh was not made again after phrases.txt changed.
    QCOMPARE(actual, expected);
}

void TestDemo::phrases_data()
{
    QTest::addColumn<QByteArray>("line");
    LineList base;
    base.load(demoPath(u"baza.leh"_s));
    for (qsizetype i = 0; i < base.count(); ++i)
        QTest::addRow("%lld: %s", qlonglong(i + 1), Cp1251::decode(base.get(i)).toUtf8().constData()) << base.get(i);
}

void TestDemo::phrases()
{
    QFETCH(QByteArray, line);
    const QString phrase = Cp1251::decode(line);
    QVERIFY(!phrase.isEmpty());
    QCOMPARE(phrase.trimmed(), phrase);
    QVERIFY(Cp1251::canEncode(phrase));
    QCOMPARE(Cp1251::encode(phrase), line);
    QCOMPARE(Cp1251::keepStorable(phrase), phrase);
    // It completes "<name> - <phrase>": Russian words, starting in lower case.
    QVERIFY(std::any_of(phrase.cbegin(), phrase.cend(), [](QChar c) { return c.script() == QChar::Script_Cyrillic; }));
    QVERIFY2(phrase.front().isLower(), "a phrase continues the name and starts in lower case");
}

void TestDemo::iconRun()
{
    const int count = iconRunLength();
    QVERIFY2(count >= MinIcons, qPrintable(u"only %1 icons in the run from 0.ico"_s.arg(count)));

    // Nothing lies beyond the run, where the program would never find it.
    const QStringList files = QDir(demoPath(u"картинки"_s)).entryList(QDir::Files);
    QCOMPARE(files.size(), count);
    for (const QString &name : files) {
        QVERIFY2(name.endsWith(u".ico"_s), qPrintable(name));
        bool isNumber = false;
        const int number = name.chopped(4).toInt(&isNumber);
        QVERIFY2(isNumber && name == u"%1.ico"_s.arg(number) && number < count, qPrintable(name));
    }

    // Every icon has its drawing.
    const QStringList drawings = QDir(demoPath(u"icons-src"_s)).entryList({u"*.svg"_s}, QDir::Files);
    QCOMPARE(drawings.size(), count);
}

void TestDemo::iconDirectory_data()
{
    QTest::addColumn<int>("number");
    const QStringList drawings =
        QDir(demoPath(u"icons-src"_s)).entryList({u"*.svg"_s}, QDir::Files, QDir::Name);
    const int count = iconRunLength();
    for (int i = 0; i < count; ++i) {
        const QString drawing = i < drawings.size() ? drawings[i] : u"no drawing"_s;
        QTest::addRow("%d.ico (%s)", i, drawing.toUtf8().constData()) << i;
    }
}

void TestDemo::iconDirectory()
{
    QFETCH(int, number);
    const QByteArray bytes = contentOf(iconPath(number));
    QVERIFY(bytes.size() >= 6);
    QCOMPARE(word(bytes, 0), quint16(0));
    QCOMPARE(word(bytes, 2), quint16(1));

    const QList<IconEntry> entries = readIconDirectory(bytes);
    QCOMPARE(entries.size(), IconSizes.size() * IconDepths.size());

    QSet<QPair<int, int>> found;
    QHash<int, int> depthOrder; // size -> depth of the last entry of that size seen so far
    for (const IconEntry &entry : entries) {
        QVERIFY(IconSizes.contains(entry.width));
        QCOMPARE(entry.height, entry.width);
        QVERIFY(IconDepths.contains(entry.bits));
        QCOMPARE(entry.planes, 1);
        // 0 stands for 256 colours or more.
        QCOMPARE(entry.colours, 0);
        QVERIFY2(!found.contains({entry.width, entry.bits}), "an image size and depth occurs twice");
        found.insert({entry.width, entry.bits});
        // A reader that takes the later of two equally good entries should end on the 32-bit one.
        if (entry.bits == 32)
            QVERIFY2(depthOrder.value(entry.width) == 8, "the 8-bit entry of a size comes before its 32-bit entry");
        depthOrder[entry.width] = entry.bits;

        QVERIFY(qint64(entry.offset) + entry.size <= bytes.size());
        QVERIFY(entry.size >= 40);
        const qsizetype at = entry.offset;
        QCOMPARE(dword(bytes, at), 40u);
        QCOMPARE(qint32(dword(bytes, at + 4)), entry.width);
        // The height counts the colour bits and the AND mask together.
        QCOMPARE(qint32(dword(bytes, at + 8)), 2 * entry.height);
        QCOMPARE(int(word(bytes, at + 12)), 1);
        QCOMPARE(int(word(bytes, at + 14)), entry.bits);
        QCOMPARE(dword(bytes, at + 16), 0u);

        const int palette = entry.bits == 8 ? 256 * 4 : 0;
        const int colourRow = (entry.width * entry.bits + 31) / 32 * 4;
        const int maskRow = (entry.width + 31) / 32 * 4;
        QCOMPARE(qint64(entry.size), qint64(40 + palette + (colourRow + maskRow) * entry.height));
    }
    QCOMPARE(found.size(), IconSizes.size() * IconDepths.size());
}

void TestDemo::iconPictures()
{
    QFETCH(int, number);
    const QList<IconEntry> entries = readIconDirectory(contentOf(iconPath(number)));
    QCOMPARE(entries.size(), IconSizes.size() * IconDepths.size());

    QImageReader reader(iconPath(number));
    QCOMPARE(reader.imageCount(), entries.size());
    QHash<int, QImage> at32; // depth -> the 32 x 32 picture
    for (int i = 0; i < entries.size(); ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.size(), QSize(entries[i].width, entries[i].height));
        if (entries[i].width == 32)
            at32.insert(entries[i].bits, image.convertToFormat(QImage::Format_ARGB32));
    }
    QCOMPARE(at32.size(), IconDepths.size());

    for (int depth : IconDepths) {
        const QImage &image = at32[depth];
        int transparent = 0;
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const int alpha = qAlpha(image.pixel(x, y));
                transparent += alpha == 0;
                opaque += alpha == 255;
            }
        // The window background shows around the figure, and the figure is more than a speck
        // (the slimmest one, a crescent moon, covers about a quarter of the square).
        QVERIFY2(transparent > 0, qPrintable(u"%1-bit picture has no transparent pixel"_s.arg(depth)));
        QVERIFY2(opaque >= image.width() * image.height() / 8,
                 qPrintable(u"%1-bit picture has only %2 opaque pixels"_s.arg(depth).arg(opaque)));
    }

    // The 8-bit picture is the 32-bit one with its colours reduced and its edge made hard: the
    // same outline (where the mask lets the window through) and nearly the same colours.
    const QImage &paletted = at32[8];
    const QImage &trueColour = at32[32];
    int worst = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const QRgb p = paletted.pixel(x, y);
            const QRgb t = trueColour.pixel(x, y);
            QVERIFY2((qAlpha(p) == 0) == (qAlpha(t) < 128), qPrintable(u"outlines differ at %1, %2"_s.arg(x).arg(y)));
            if (qAlpha(p) == 255 && qAlpha(t) == 255)
                worst = std::max({worst, std::abs(qRed(p) - qRed(t)), std::abs(qGreen(p) - qGreen(t)),
                                  std::abs(qBlue(p) - qBlue(t))});
        }
    QVERIFY2(worst <= 16, qPrintable(u"a colour of the 8-bit picture is %1 off"_s.arg(worst)));
}

void TestDemo::recordings_data()
{
    QTest::addColumn<int>("number");
    for (int i = 1; i <= Recordings; ++i)
        QTest::addRow("смех%d.wav", i) << i;
}

void TestDemo::recordings()
{
    QFETCH(int, number);
    const QByteArray bytes = contentOf(recordingPath(number));
    QVERIFY2(!bytes.isEmpty(), "missing or empty");
    QVERIFY2(bytes.size() <= MaxRecordingBytes, qPrintable(u"%1 bytes"_s.arg(bytes.size())));

    const Wav wav = parseWav(bytes);
    QVERIFY2(wav.valid, qPrintable(wav.problem));
    const WavFormat &f = wav.format;
    QCOMPARE(f.audioFormat, 1); // PCM
    QCOMPARE(f.channels, 1);
    QCOMPARE(f.bitsPerSample, 16);
    QVERIFY(f.sampleRate >= 8000 && f.sampleRate <= 48000);
    QCOMPARE(f.blockAlign, f.channels * f.bitsPerSample / 8);
    QCOMPARE(f.byteRate, f.sampleRate * f.blockAlign);
    QCOMPARE(wav.samples.size() % f.blockAlign, 0);

    const double seconds = double(wav.samples.size()) / f.byteRate;
    QVERIFY2(seconds >= 1.0 && seconds <= 3.0, qPrintable(u"lasts %1 s"_s.arg(seconds)));

    // Loud enough to hear, without clipping.
    const auto *data = reinterpret_cast<const qint16 *>(wav.samples.constData());
    int peak = 0;
    for (qsizetype i = 0; i < wav.samples.size() / 2; ++i)
        peak = std::max(peak, std::abs(int(qFromLittleEndian<qint16>(data + i))));
    QVERIFY2(peak >= 16384 && peak < 32767, qPrintable(u"peak %1"_s.arg(peak)));

    // Laughter comes in bursts of syllables, four to eight a second; steady tones or noise
    // would show one long peak instead.
    const QList<double> peaks = syllablePeaks(wav.samples, f.sampleRate);
    QVERIFY2(peaks.size() >= 5, qPrintable(u"%1 syllables"_s.arg(peaks.size())));
    QList<double> gaps;
    for (qsizetype i = 1; i < peaks.size(); ++i) {
        // A pause for breath between two bursts is not a step of the rhythm.
        if (peaks[i] - peaks[i - 1] < 0.35)
            gaps.append(peaks[i] - peaks[i - 1]);
    }
    QVERIFY(gaps.size() >= 4);
    std::sort(gaps.begin(), gaps.end());
    const double rate = 1.0 / gaps[gaps.size() / 2];
    QVERIFY2(rate >= 4.0 && rate <= 8.0, qPrintable(u"%1 syllables a second"_s.arg(rate)));
}

void TestDemo::recordingsShareOneFormat()
{
    const Wav first = parseWav(contentOf(recordingPath(1)));
    QVERIFY2(first.valid, qPrintable(first.problem));
    for (int i = 2; i <= Recordings; ++i) {
        const Wav wav = parseWav(contentOf(recordingPath(i)));
        QVERIFY2(wav.valid, qPrintable(wav.problem));
        QVERIFY2(wav.format == first.format, qPrintable(u"смех%1.wav differs from смех1.wav"_s.arg(i)));
    }
}

VEDALKA_TEST_MAIN(TestDemo, VEDALKA_DEMO_DIR)
#include "tst_demo.moc"
