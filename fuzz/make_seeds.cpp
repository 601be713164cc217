// Writes the fuzz targets' starting inputs into <folder>/<target>/: small files of every form
// each reader meets, and broken ones of each kind, made with the same writers as the tests.
// The fuzzers' own corpora grow from these; neither is kept in the repository.
#include "core/Cp1251.h"
#include "support/IconWriter.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstring>

using namespace Qt::StringLiterals;
using namespace IconWriter;
using TestSupport::le16;
using TestSupport::le32;
using TestSupport::makeWav;

namespace {

QString root;
int written = 0;

void seed(const QString &target, const QString &name, const QByteArray &bytes)
{
    const QString dir = root + u'/' + target;
    QFile file(dir + u'/' + name);
    if (!QDir().mkpath(dir) || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    ++written;
}

void lineSeeds()
{
    const QString t = u"linelist"_s;
    seed(t, u"empty"_s, {});
    seed(t, u"crlf"_s, "first\r\nsecond\r\n");
    seed(t, u"lfcr"_s, "a\n\rb\n\r");
    seed(t, u"lone-breaks"_s, "a\rb\nc");
    seed(t, u"blank-lines"_s, "\r\n\r\n\r\r\n\n\nx\r\n");
    seed(t, u"zero-mid-line"_s, QByteArray("ab\0cd\r\nef", 9));
    seed(t, u"zero-at-line-start"_s, QByteArray("ab\r\n\0cd", 7));
    seed(t, u"zero-after-cr"_s, QByteArray("ab\r\0\ncd", 7));
    seed(t, u"no-final-break"_s, "one\r\ntwo");
    seed(t, u"cp1251"_s, Cp1251::encode(u"Маша - добрая\r\nПетя - умный\r\nЁжик \u2116 5\r\n"_s));
    QByteArray every;
    for (int b = 1; b < 256; ++b)
        every.append(char(b));
    seed(t, u"every-byte"_s, every + "\r\n" + every);
    QByteArray longLines;
    for (int i = 0; i < 40; ++i)
        longLines += QByteArray(i * 37 % 200, char('a' + i % 26)) + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r");
    seed(t, u"mixed-lengths"_s, longLines);
}

void iconSeeds()
{
    const QString t = u"iconfile"_s;
    const QSize small(16, 16);
    const QList<QRgb> p2 = testPalette(2), p16 = testPalette(16), p256 = testPalette(256);
    const auto depth = [](int bits, const QList<QRgb> &palette) {
        BitmapOptions o;
        o.bitsPerPixel = bits;
        o.palette = palette;
        return o;
    };
    const QImage one = palettePicture(small, p2, true);
    const QImage four = palettePicture(small, p16, true);
    const QImage eight = palettePicture(small, p256, true);
    const QImage holes = truecolourPicture(small, Alpha::Holes);
    const QImage graded = truecolourPicture(small, Alpha::Graded);

    seed(t, u"1bpp"_s, iconFile({bitmapEntry(one, depth(1, p2))}));
    seed(t, u"4bpp"_s, iconFile({bitmapEntry(four, depth(4, p16))}));
    seed(t, u"8bpp"_s, iconFile({bitmapEntry(eight, depth(8, p256))}));
    seed(t, u"24bpp"_s, iconFile({bitmapEntry(holes, depth(24, {}))}));
    seed(t, u"32bpp-alpha"_s, iconFile({bitmapEntry(graded, depth(32, {}))}));
    BitmapOptions noAlpha = depth(32, {});
    noAlpha.alpha = false;
    seed(t, u"32bpp-mask"_s, iconFile({bitmapEntry(holes, noAlpha)}));
    seed(t, u"png"_s, iconFile({pngEntry(graded)}));
    seed(t, u"odd-size-4bpp"_s, iconFile({bitmapEntry(palettePicture(QSize(7, 3), p16, true), depth(4, p16))}));

    // Several sizes and depths, as icon editors write them: the choice has work to do.
    const QImage big = truecolourPicture(QSize(32, 32), Alpha::Graded);
    seed(t, u"directory"_s,
         iconFile({bitmapEntry(four, depth(4, p16)), bitmapEntry(palettePicture(QSize(32, 32), p256, true), depth(8, p256)),
                   bitmapEntry(big, depth(32, {})), pngEntry(truecolourPicture(QSize(24, 24), Alpha::Holes))}));
    Entry stretched = bitmapEntry(holes, depth(24, {}));
    stretched.width = 24;
    stretched.height = 20;
    seed(t, u"stretched"_s, iconFile({stretched}));

    // Broken on purpose, one part at a time.
    seed(t, u"type0"_s, iconFile({}, {0, 0, {}}));
    seed(t, u"type2"_s, iconFile({bitmapEntry(four, depth(4, p16))}, {0, 2, {}}));
    seed(t, u"count-too-large"_s, iconFile({bitmapEntry(four, depth(4, p16))}, {0, 1, 3}));
    Entry pastEnd = bitmapEntry(four, depth(4, p16));
    pastEnd.dataOffset = 0x7fffffff;
    seed(t, u"offset-past-end"_s, iconFile({pastEnd}));
    BitmapOptions header = depth(8, p256);
    header.headerSize = 108;
    seed(t, u"header-size"_s, iconFile({bitmapEntry(eight, header)}));
    BitmapOptions rle = depth(8, p256);
    rle.compression = 1;
    seed(t, u"compressed"_s, iconFile({bitmapEntry(eight, rle)}));
    BitmapOptions topDown = depth(24, {});
    topDown.heightField = -32;
    seed(t, u"top-down"_s, iconFile({bitmapEntry(holes, topDown)}));
    BitmapOptions noMask = depth(24, {});
    noMask.mask = BitmapOptions::Mask::Absent;
    seed(t, u"no-mask"_s, iconFile({bitmapEntry(holes, noMask)}));
    seed(t, u"truncated"_s, iconFile({bitmapEntry(graded, depth(32, {}))}).chopped(300));
    seed(t, u"png-truncated"_s, iconFile({pngEntry(graded)}).chopped(40));
    seed(t, u"header-only"_s, QByteArray("\0\0\1\0\0\0", 6));
}

// A WAV file with the extensible format header around the sub-format tag.
QByteArray extensibleWav(int rate, int channels, int bits, int validBits, quint16 subFormat, const QByteArray &samples)
{
    const int blockAlign = channels * bits / 8;
    QByteArray fmt = le16(0xFFFE) + le16(quint16(channels)) + le32(quint32(rate)) + le32(quint32(rate * blockAlign))
        + le16(quint16(blockAlign)) + le16(quint16(bits)) + le16(22) + le16(quint16(validBits)) + le32(3)
        + le16(subFormat) + QByteArray("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    QByteArray body = "WAVEfmt " + le32(quint32(fmt.size())) + fmt + "data" + le32(quint32(samples.size())) + samples;
    return "RIFF" + le32(quint32(body.size())) + body;
}

void wavSeeds()
{
    const QString t = u"wavimage"_s;
    QByteArray bytes;
    for (int i = 0; i < 96; ++i)
        bytes.append(char(i * 37));
    seed(t, u"pcm8"_s, makeWav(8000, 1, 8, bytes));
    seed(t, u"pcm16-stereo"_s, TestSupport::makeTone(8000, 2, 3));
    seed(t, u"pcm24"_s, makeWav(22050, 1, 24, bytes));
    seed(t, u"pcm32"_s, makeWav(48000, 2, 32, bytes));
    QByteArray floats;
    for (const float v : {0.0f, 0.5f, -1.0f, 2.0f, -0.25f, 1.0f}) {
        char b[4];
        std::memcpy(b, &v, 4);
        floats.append(b, 4);
    }
    seed(t, u"float32"_s, makeWav(44100, 1, 32, floats, 3));
    seed(t, u"float64"_s, makeWav(44100, 1, 64, bytes.first(64), 3));
    seed(t, u"alaw"_s, makeWav(8000, 1, 8, bytes, 6));
    seed(t, u"mulaw"_s, makeWav(8000, 2, 8, bytes, 7));
    seed(t, u"extensible-pcm24"_s, extensibleWav(48000, 2, 24, 20, 1, bytes));
    seed(t, u"extensible-float"_s, extensibleWav(48000, 1, 32, 32, 3, floats));
    seed(t, u"odd-data-size"_s, makeWav(8000, 1, 8, bytes.first(33)));
    seed(t, u"data-cut-short"_s, makeWav(8000, 1, 16, bytes).chopped(20));
    QByteArray listFirst = makeWav(8000, 1, 16, bytes);
    listFirst.insert(12, "LIST" + le32(5) + "INFOx" + '\0');
    seed(t, u"list-chunk-first"_s, listFirst);
    QByteArray dataFirst = makeWav(8000, 1, 8, bytes);
    const QByteArray fmt = dataFirst.sliced(12, 24);
    dataFirst.remove(12, 24);
    seed(t, u"data-before-fmt"_s, dataFirst + fmt);
    seed(t, u"adpcm"_s, makeWav(8000, 1, 4, bytes, 2));
    seed(t, u"rate-too-low"_s, makeWav(500, 1, 8, bytes));
    seed(t, u"nine-channels"_s, makeWav(8000, 9, 8, bytes));
}

void fileDataSeeds()
{
    const QString t = u"filedata"_s;
    const QByteArray wav = TestSupport::makeTone(8000, 1, 2);
    seed(t, u"empty-block"_s, le32(0));
    seed(t, u"wav"_s, le32(quint32(wav.size())) + wav);
    seed(t, u"bytes-after"_s, le32(3) + "abcdef");
    seed(t, u"count-too-large"_s, le32(100) + "abc");
    seed(t, u"count-huge"_s, le32(0xffffffffu) + "abc");
    seed(t, u"short-count"_s, QByteArray("\x01\x00", 2));
}

} // namespace

// Notes in fuzz_savenote's marks: flag 2 makes the last line of the trailer after \x01.
void noteSeeds()
{
    const QString t = u"savenote"_s;
    const QByteArray ours = "\x02new line\r\n\x01" "file $F\nid $I\nat $Z\n";
    seed(t, u"completes"_s, ours);
    seed(t, u"in-state-folder"_s, "\x03" + ours.mid(1));
    seed(t, u"rewrite-prefix"_s, "\x02old\r\nlines\r\nmore\r\n\x01" "file $F\nid $I\nat 0\n");
    for (const char *taken : {"C", "O", "V", "U", "F"})
        seed(t, u"takes-"_s + QLatin1StringView(taken), ours + "takes $" + taken + '\n');
    seed(t, u"kept-answers"_s, "\x02" "a\r\n\x01" "file $F\nid -\nat end\n");
    seed(t, u"other-file"_s, "\x02" "a\r\n\x01" "file $V\nid $I\nat $Z\n");
    seed(t, u"other-id"_s, "\x02" "a\r\n\x01" "file $F\nid 1 2\nat $Z\n");
    seed(t, u"past-the-end"_s, "\x02" "a\r\n\x01" "file $F\nid $I\nat 9223372036854775807\n");
    seed(t, u"made-by-hand"_s, "\x00" "a\r\nfile $F\nid $I\nat $Z\nvedalka-note 1 00000049\n");
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    root = QFile::decodeName(argv[1]);
    lineSeeds();
    iconSeeds();
    wavSeeds();
    fileDataSeeds();
    noteSeeds();
    std::printf("%d seeds written to %s\n", written, argv[1]);
    return 0;
}
