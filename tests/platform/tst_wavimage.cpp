// The WAV reader: the encodings it turns into playable samples, the damaged and foreign files
// it refuses, and files cut off at every length.
#include "platform/WavImage.h"
#include "support/TestSupport.h"

#include <QtEndian>

#include <cmath>
#include <limits>

using namespace TestSupport;
using WavImage::SampleFormat;

Q_DECLARE_METATYPE(WavImage::SampleFormat)

namespace {

QByteArray chunk(const QByteArray &id, const QByteArray &body)
{
    QByteArray c = id + le32(quint32(body.size())) + body;
    if (body.size() & 1)
        c += '\0';
    return c;
}

QByteArray riff(const QByteArray &chunks)
{
    return "RIFF" + le32(quint32(4 + chunks.size())) + "WAVE" + chunks;
}

QByteArray fmt(quint16 tag, int channels, int rate, int bits, int blockAlign = -1)
{
    if (blockAlign < 0)
        blockAlign = channels * bits / 8;
    return le16(tag) + le16(quint16(channels)) + le32(quint32(rate)) + le32(quint32(rate * blockAlign))
        + le16(quint16(blockAlign)) + le16(quint16(bits));
}

// The extensible header: the plain one, the extension size, valid bits, channel mask and the
// sub-format identifier.
QByteArray fmtExtensible(quint16 subTag, int channels, int rate, int bits, int validBits, quint16 extension = 22,
                         bool knownGuid = true)
{
    QByteArray guid = le16(subTag) + QByteArray("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    if (!knownGuid)
        guid[10] = 'X';
    return fmt(0xFFFE, channels, rate, bits) + le16(extension) + le16(quint16(validBits)) + le32(3) + guid;
}

QByteArray floats(std::initializer_list<float> values)
{
    QByteArray out;
    for (float v : values)
        out += le32(std::bit_cast<quint32>(v));
    return out;
}

QByteArray doubles(std::initializer_list<double> values)
{
    QByteArray out;
    for (double v : values) {
        char p[8];
        qToLittleEndian(std::bit_cast<quint64>(v), p);
        out += QByteArray(p, 8);
    }
    return out;
}

template<class T>
QByteArray native(std::initializer_list<T> values)
{
    QByteArray out;
    for (T v : values)
        out.append(reinterpret_cast<const char *>(&v), sizeof(T));
    return out;
}

} // namespace

class TestWavImage : public QObject
{
    Q_OBJECT

private slots:
    void decodes_data();
    void decodes();
    void refuses_data();
    void refuses();
    void everyCutOfAFile();
};

void TestWavImage::decodes_data()
{
    QTest::addColumn<QByteArray>("wav");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<SampleFormat>("format");
    QTest::addColumn<QByteArray>("samples");

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const QByteArray pcm16 = native<qint16>({1, -2, 300, -32768});

    QTest::newRow("8-bit unsigned, mono")
        << riff(chunk("fmt ", fmt(1, 1, 8000, 8)) + chunk("data", QByteArray("\x00\x80\xFF", 3)))
        << 8000 << 1 << SampleFormat::UInt8 << QByteArray("\x00\x80\xFF", 3);
    QTest::newRow("16-bit, stereo") << riff(chunk("fmt ", fmt(1, 2, 44100, 16)) + chunk("data", pcm16)) << 44100 << 2
                                    << SampleFormat::Int16 << pcm16;
    QTest::newRow("24-bit widened to 32")
        << riff(chunk("fmt ", fmt(1, 1, 48000, 24)) + chunk("data", QByteArray("\x01\x02\x03\xFF\xFF\xFF", 6)))
        << 48000 << 1 << SampleFormat::Int32 << native<qint32>({0x03020100, -256});
    QTest::newRow("32-bit") << riff(chunk("fmt ", fmt(1, 1, 22050, 32)) + chunk("data", le32(0x80000000u) + le32(7)))
                            << 22050 << 1 << SampleFormat::Int32 << native<qint32>({std::numeric_limits<qint32>::min(), 7});
    QTest::newRow("32-bit float, NaN silenced and clipped")
        << riff(chunk("fmt ", fmt(3, 2, 48000, 32)) + chunk("data", floats({0.5f, nan, 2.0f, -3.0f}))) << 48000 << 2
        << SampleFormat::Float << native<float>({0.5f, 0.0f, 1.0f, -1.0f});
    QTest::newRow("64-bit float narrowed")
        << riff(chunk("fmt ", fmt(3, 1, 96000, 64)) + chunk("data", doubles({0.25, -0.75, INFINITY}))) << 96000 << 1
        << SampleFormat::Float << native<float>({0.25f, -0.75f, 0.0f});
    QTest::newRow("A-law expanded")
        << riff(chunk("fmt ", fmt(6, 1, 8000, 8)) + chunk("data", QByteArray("\xD5\x55\x80", 3))) << 8000 << 1
        << SampleFormat::Int16 << native<qint16>({8, -8, 5504});
    QTest::newRow("mu-law expanded")
        << riff(chunk("fmt ", fmt(7, 1, 8000, 8)) + chunk("data", QByteArray("\xFF\x00\x80", 3))) << 8000 << 1
        << SampleFormat::Int16 << native<qint16>({0, -32124, 32124});
    QTest::newRow("extensible PCM") << riff(chunk("fmt ", fmtExtensible(1, 2, 44100, 16, 16)) + chunk("data", pcm16))
                                    << 44100 << 2 << SampleFormat::Int16 << pcm16;
    QTest::newRow("extensible float")
        << riff(chunk("fmt ", fmtExtensible(3, 1, 48000, 32, 32)) + chunk("data", floats({0.125f}))) << 48000 << 1
        << SampleFormat::Float << native<float>({0.125f});
    QTest::newRow("extensible 20 valid bits in 24")
        << riff(chunk("fmt ", fmtExtensible(1, 1, 48000, 24, 20)) + chunk("data", QByteArray("\x10\x00\x80", 3)))
        << 48000 << 1 << SampleFormat::Int32 << native<qint32>({qint32(0x80001000)});
    QTest::newRow("other chunks, odd-sized, skipped with their pad byte")
        << riff(chunk("LIST", "abc") + chunk("fmt ", fmt(1, 1, 8000, 8)) + chunk("fact", "12345") + chunk("data", "\x10\x20"))
        << 8000 << 1 << SampleFormat::UInt8 << QByteArray("\x10\x20");
    QTest::newRow("data before fmt") << riff(chunk("data", pcm16) + chunk("fmt ", fmt(1, 1, 8000, 16))) << 8000 << 1
                                     << SampleFormat::Int16 << pcm16;
    QByteArray zeroSize = riff(chunk("fmt ", fmt(1, 1, 8000, 16)) + chunk("data", pcm16));
    zeroSize.replace(4, 4, le32(0));
    QTest::newRow("RIFF size left 0 by a streaming writer")
        << zeroSize << 8000 << 1 << SampleFormat::Int16 << pcm16;
    QTest::newRow("half a frame at the end dropped")
        << riff(chunk("fmt ", fmt(1, 2, 8000, 16)) + chunk("data", pcm16 + "\x01\x02")) << 8000 << 2
        << SampleFormat::Int16 << pcm16;
    QTest::newRow("data chunk longer than the file: what is there")
        << riff(chunk("fmt ", fmt(1, 1, 8000, 16)) + "data" + le32(1000000) + pcm16) << 8000 << 1
        << SampleFormat::Int16 << pcm16;
    QTest::newRow("made by the test helper") << makeWav(11025, 1, 16, pcm16) << 11025 << 1 << SampleFormat::Int16 << pcm16;
}

void TestWavImage::decodes()
{
    QFETCH(QByteArray, wav);
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(SampleFormat, format);
    QFETCH(QByteArray, samples);

    const auto sound = WavImage::decode(wav);
    QVERIFY(sound);
    QCOMPARE(sound->sampleRate, rate);
    QCOMPARE(sound->channels, channels);
    QCOMPARE(sound->format, format);
    QCOMPARE(sound->samples.toHex(' '), samples.toHex(' '));
    QCOMPARE(sound->samples.size() % sound->bytesPerFrame(), 0);
}

void TestWavImage::refuses_data()
{
    QTest::addColumn<QByteArray>("wav");

    const QByteArray pcm = "\x01\x02\x03\x04";
    const QByteArray good = chunk("fmt ", fmt(1, 1, 8000, 16));
    const QByteArray data = chunk("data", pcm);

    QTest::newRow("no bytes") << QByteArray();
    QTest::newRow("RIFF header only") << QByteArray("RIFF\x04\x00\x00\x00WAVE", 12);
    QTest::newRow("text file") << QByteArray("just some words, long enough to look like a header\r\n");
    QTest::newRow("big-endian RIFX") << QByteArray("RIFX") + riff(good + data).mid(4);
    QTest::newRow("RIFF but AVI") << QByteArray("RIFF\x00\x00\x00\x00" "AVI ", 12) + good + data;
    QTest::newRow("no fmt chunk") << riff(data);
    QTest::newRow("no data chunk") << riff(good);
    QTest::newRow("empty data chunk") << riff(good + chunk("data", {}));
    QTest::newRow("data shorter than one frame") << riff(chunk("fmt ", fmt(1, 2, 8000, 16)) + chunk("data", "\x01\x02"));
    QTest::newRow("fmt chunk cut off by the end of the file") << riff(good).first(12 + 8 + 10);
    QTest::newRow("fmt chunk too small") << riff(chunk("fmt ", fmt(1, 1, 8000, 16).first(14)) + data);
    QTest::newRow("chunk size 0xFFFFFFFF before fmt") << riff("JUNK" + le32(0xFFFFFFFFu) + good + data);
    QTest::newRow("MS ADPCM") << riff(chunk("fmt ", fmt(2, 1, 8000, 4, 256)) + data);
    QTest::newRow("MPEG layer 3") << riff(chunk("fmt ", fmt(0x55, 1, 8000, 0, 1)) + data);
    QTest::newRow("12-bit PCM") << riff(chunk("fmt ", fmt(1, 1, 8000, 12, 2)) + data);
    QTest::newRow("16-bit float") << riff(chunk("fmt ", fmt(3, 1, 8000, 16)) + data);
    QTest::newRow("16-bit A-law") << riff(chunk("fmt ", fmt(6, 1, 8000, 16)) + data);
    QTest::newRow("no channels") << riff(chunk("fmt ", fmt(1, 0, 8000, 16, 2)) + data);
    QTest::newRow("9 channels") << riff(chunk("fmt ", fmt(1, 9, 8000, 16)) + chunk("data", QByteArray(18, '\0')));
    QTest::newRow("sample rate 0") << riff(chunk("fmt ", fmt(1, 1, 0, 16)) + data);
    QTest::newRow("sample rate 999") << riff(chunk("fmt ", fmt(1, 1, 999, 16)) + data);
    QTest::newRow("sample rate 384001") << riff(chunk("fmt ", fmt(1, 1, 384001, 16)) + data);
    QTest::newRow("sample rate 4294967295") << riff(chunk("fmt ", fmt(1, 1, -1, 16)) + data);
    QTest::newRow("block size not that of a frame") << riff(chunk("fmt ", fmt(1, 2, 8000, 16, 2)) + data);
    QTest::newRow("extensible header cut short") << riff(chunk("fmt ", fmtExtensible(1, 1, 8000, 16, 16).first(30)) + data);
    QTest::newRow("extensible, extension too small") << riff(chunk("fmt ", fmtExtensible(1, 1, 8000, 16, 16, 10)) + data);
    QTest::newRow("extensible, foreign sub-format")
        << riff(chunk("fmt ", fmtExtensible(1, 1, 8000, 16, 16, 22, false)) + data);
    QTest::newRow("extensible, more valid bits than stored")
        << riff(chunk("fmt ", fmtExtensible(1, 1, 8000, 16, 24)) + data);
}

void TestWavImage::refuses()
{
    QFETCH(QByteArray, wav);
    QVERIFY(!WavImage::decode(wav));
}

void TestWavImage::everyCutOfAFile()
{
    // A file cut off anywhere is refused while its header is incomplete, and gives the whole
    // frames that made it once the data has begun.
    QByteArray pcm;
    for (int i = 0; i < 64; ++i)
        pcm += le16(quint16(i * 97));
    const QByteArray wav = riff(chunk("LIST", "xyz") + chunk("fmt ", fmt(1, 2, 16000, 16)) + chunk("data", pcm));
    const qsizetype dataStart = wav.size() - pcm.size();
    for (qsizetype n = 0; n <= wav.size(); ++n) {
        const auto sound = WavImage::decode(QByteArrayView(wav).first(n));
        const qsizetype frames = n > dataStart ? (n - dataStart) / 4 : 0;
        if (frames == 0) {
            QVERIFY2(!sound, qPrintable(QString::number(n)));
        } else {
            QVERIFY2(sound, qPrintable(QString::number(n)));
            QCOMPARE(sound->samples, pcm.first(frames * 4));
        }
    }
}

VEDALKA_TEST_MAIN(TestWavImage)
#include "tst_wavimage.moc"
