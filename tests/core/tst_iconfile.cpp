// Icon loading and decoding on icon files the tests write themselves: the load test's error
// texts, the choice among several images, every bit depth, PNG entries and broken data.
#include "core/Failure.h"
#include "core/IconFile.h"
#include "platform/IconDisplay.h"
#include "resources/Resources.h"
#include "support/IconWriter.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QLoggingCategory>
#include <QRandomGenerator>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace TestSupport;
using namespace IconWriter;

using Entries = QList<IconDirEntry>;
using Mask = BitmapOptions::Mask;

namespace {

const QSize Large(32, 32);

// What stands where the icon is loaded from: a file with the row's bytes, nothing, a folder, or
// the file made unreadable.
enum class Setup { File, Missing, Folder, Unreadable };

// The picture an icon without alpha shows: fully transparent where the mask is set (the
// source's holes), opaque elsewhere.
QImage throughMask(const QImage &source)
{
    QImage image = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            image.setPixel(x, y, qAlpha(p) == 0 ? qRgba(0, 0, 0, 0) : (p | 0xff000000u));
        }
    }
    return image;
}

QImage filled(QSize size, QRgb colour)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

// Empty when the images are equal, else where and how they first differ.
QString difference(const QImage &actual, const QImage &expected)
{
    if (actual.isNull() && expected.isNull())
        return {};
    if (actual.isNull() != expected.isNull())
        return actual.isNull() ? u"no picture"_s : u"a picture where none was expected"_s;
    if (actual.size() != expected.size()) {
        return u"size %1x%2, expected %3x%4"_s.arg(actual.width()).arg(actual.height())
            .arg(expected.width()).arg(expected.height());
    }
    if (actual.format() != QImage::Format_ARGB32)
        return u"format %1"_s.arg(int(actual.format()));
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            if (actual.pixel(x, y) != expected.pixel(x, y)) {
                return u"pixel (%1, %2) is %3, expected %4"_s.arg(x).arg(y)
                    .arg(qulonglong(actual.pixel(x, y)), 8, 16, QChar(u'0')).arg(qulonglong(expected.pixel(x, y)), 8, 16, QChar(u'0'));
            }
        }
    }
    return {};
}

// libpng reports damaged data straight to the standard error stream, and Qt's image reader
// passes on its warnings; the sweeps over damaged files would drown a real failure's report.
class DamageReportsSilenced
{
public:
    DamageReportsSilenced()
        : m_saved(::dup(STDERR_FILENO))
    {
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        ::dup2(null, STDERR_FILENO);
        ::close(null);
        QLoggingCategory::setFilterRules(u"qt.gui.imageio=false"_s);
    }
    ~DamageReportsSilenced()
    {
        QLoggingCategory::setFilterRules(QString());
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
    }
    DamageReportsSilenced(const DamageReportsSilenced &) = delete;
    DamageReportsSilenced &operator=(const DamageReportsSilenced &) = delete;

private:
    int m_saved;
};

// The icon as the program meets it: a real file in the picture folder.
IconFile loadFile(const QByteArray &bytes)
{
    makeDir(u"картинки"_s);
    writeFile(u"картинки/0.ico"_s, bytes);
    IconFile icon;
    icon.load(u"картинки/0.ico"_s);
    return icon;
}

QByteArray single(const Entry &entry, const FileOptions &options = {})
{
    return iconFile({entry}, options);
}

BitmapOptions depth(int bits, const QList<QRgb> &palette = {})
{
    BitmapOptions o;
    o.bitsPerPixel = bits;
    o.palette = palette;
    return o;
}

IconDirEntry dirEntry(int width, int height, int colours)
{
    IconDirEntry e;
    e.width = quint8(width);
    e.height = quint8(height);
    e.colourCount = quint16(colours);
    return e;
}

// 32 colours that 16-bit pixels hold exactly: 5 bits a channel, widened so that 31 is 255.
QList<QRgb> fiveBitPalette()
{
    const auto widen = [](int c) { return (c << 3) | (c >> 2); };
    QList<QRgb> palette;
    for (int i = 0; i < 32; ++i)
        palette.append(qRgb(widen(i), widen(31 - i), widen(i * 7 % 32)));
    return palette;
}

// The five images of the usual example, each with a picture of its own.
struct Example
{
    QList<Entry> entries;
    QList<QImage> shown;
};

Example fiveEntries()
{
    Example ex;
    const QList<QRgb> p16 = testPalette(16);
    const QList<QRgb> other16 = testPalette(32).mid(16);
    const QImage a = palettePicture({16, 16}, p16, true);
    const QImage b = palettePicture(Large, other16, true);
    const QImage c = truecolourPicture({16, 16}, Alpha::Graded);
    const QImage d = truecolourPicture(Large, Alpha::Graded).mirrored(true, false);
    const QImage e = truecolourPicture({48, 48}, Alpha::Holes);
    ex.entries = {bitmapEntry(a, depth(4, p16)), bitmapEntry(b, depth(4, other16)), bitmapEntry(c, depth(32)),
                  bitmapEntry(d, depth(32)), bitmapEntry(e, depth(32))};
    ex.shown = {throughMask(a), throughMask(b), c, d, e};
    return ex;
}

} // namespace

class TestIconFile : public QObject
{
    Q_OBJECT

private slots:
    void loadFails_data();
    void loadFails();
    void loadAccepts_data();
    void loadAccepts();
    void failedLoadKeepsThePicture();
    void directoryFields();
    void colourLimitForDepth_data();
    void colourLimitForDepth();
    void chooseEntry_data();
    void chooseEntry();
    void decode_data();
    void decode();
    void oddSizeStretchedKeepsItsCorners();
    void decodeChoosesEntry_data();
    void decodeChoosesEntry();
    void sharpAtEveryRatio_data();
    void sharpAtEveryRatio();
    void brokenDataShowsNothing_data();
    void brokenDataShowsNothing();
    void everyTruncationIsRefused_data();
    void everyTruncationIsRefused();
    void damagedFilesNeverCrash();
    void display();
};

void TestIconFile::loadFails_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");

    const QByteArray good = single(bitmapEntry(truecolourPicture(Large, Alpha::Graded)));
    QTest::newRow("empty file") << Setup::File << QByteArray() << u"Stream read error"_s;
    QTest::newRow("five bytes") << Setup::File << good.left(5) << u"Stream read error"_s;
    QTest::newRow("type 2") << Setup::File << QByteArray("\0\0\2\0\1\0", 6) << u"Icon image is not valid"_s;
    QTest::newRow("type 2 of a cursor file") << Setup::File << single(bitmapEntry(truecolourPicture(Large, Alpha::Holes)), {0, 2, {}})
                                             << u"Icon image is not valid"_s;
    QTest::newRow("type word big-endian 1") << Setup::File << QByteArray("\0\0\0\1\1\0", 6) << u"Icon image is not valid"_s;
    QTest::newRow("type 0xffff") << Setup::File << QByteArray("\0\0\xff\xff\1\0", 6) << u"Icon image is not valid"_s;
    QTest::newRow("a bitmap file") << Setup::File << "BM6\0\0\0\0\0\0\0"_ba << u"Icon image is not valid"_s;
    QTest::newRow("missing file") << Setup::Missing << QByteArray() << u"No such file or directory"_s;
    QTest::newRow("a folder in place of the file") << Setup::Folder << QByteArray() << u"Is a directory"_s;
    QTest::newRow("unreadable file") << Setup::Unreadable << good << u"Permission denied"_s;
}

void TestIconFile::loadFails()
{
    QFETCH(Setup, setup);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    WorkDir dir;
    const QString name = u"картинки/3.ico"_s;
    makeDir(u"картинки"_s);
    if (setup == Setup::Folder) {
        makeDir(name);
    } else if (setup != Setup::Missing) {
        writeFile(name, bytes);
        if (setup == Setup::Unreadable)
            QFile::setPermissions(name, QFile::WriteOwner);
    }
    const QString expected = setup == Setup::File
        ? error
        : u"Cannot open file \""_s + dir.path() + u"/картинки/3.ico\". "_s + error;
    QCOMPARE(failureText([&] { IconFile().load(name); }), expected);
    if (setup == Setup::File) {
        QCOMPARE(failureText([&] { IconFile::fromBytes(bytes); }), expected);
    }
}

void TestIconFile::loadAccepts_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("type");

    // Only the header is examined at load: everything after the type word is taken as it is.
    QTest::newRow("six bytes, no images") << QByteArray("\0\0\1\0\0\0", 6) << 1;
    QTest::newRow("type 0") << QByteArray("\0\0\0\0\0\0", 6) << 0;
    QTest::newRow("type 0 with anything after it") << QByteArray("\0\0\0\0\7\0garbage", 13) << 0;
    QTest::newRow("reserved word set") << QByteArray("\xff\xff\1\0\1\0", 6) << 1;
    QTest::newRow("image count far beyond the file") << QByteArray("\0\0\1\0\xff\xff", 6) << 1;
    QTest::newRow("a whole icon") << single(bitmapEntry(truecolourPicture(Large, Alpha::Graded))) << 1;
}

void TestIconFile::loadAccepts()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, type);
    WorkDir dir;
    const IconFile icon = loadFile(bytes);
    QCOMPARE(icon.type(), type);
    QCOMPARE(icon.bytes(), bytes);
    QCOMPARE(icon.isStandardApplicationIcon(), type == 0);
    QCOMPARE(IconFile::fromBytes(bytes).type(), type);
}

void TestIconFile::failedLoadKeepsThePicture()
{
    WorkDir dir;
    const QImage source = truecolourPicture(Large, Alpha::Graded);
    IconFile icon = loadFile(single(bitmapEntry(source)));
    writeFile(u"картинки/1.ico"_s, "\0\0\3\0\0\0"_ba);
    QVERIFY_THROWS_EXCEPTION(Failure, icon.load(u"картинки/1.ico"_s));
    QCOMPARE(icon.type(), 1);
    QCOMPARE(difference(icon.decode(Large, 0), source), QString());
}

void TestIconFile::directoryFields()
{
    // One entry: 32 x 16, colour-count byte 0 with reserved byte 1 (256 colours), the unused
    // four bytes, size 0x12345678, offset 22.
    const QByteArray bytes("\0\0\1\0\1\0"
                           "\x20\x10\x00\x01\x01\x00\x20\x00\x78\x56\x34\x12\x16\x00\x00\x00", 22);
    IconDirEntry expected = dirEntry(32, 16, 256);
    expected.dataSize = 0x12345678;
    expected.dataOffset = 22;
    QCOMPARE(IconFile::fromBytes(bytes).entries(), Entries{expected});
    QCOMPARE(IconFile::fromBytes(bytes.chopped(1)).entries(), Entries{});
    QCOMPARE(IconFile::fromBytes(QByteArray("\0\0\0\0\1\0", 6) + bytes.mid(6)).entries(), Entries{});
}

void TestIconFile::colourLimitForDepth_data()
{
    QTest::addColumn<int>("depth");
    QTest::addColumn<quint32>("limit");

    QTest::newRow("monochrome") << 1 << 2u;
    QTest::newRow("16 colours") << 4 << 16u;
    QTest::newRow("256 colours") << 8 << 256u;
    QTest::newRow("high colour is unlimited") << 16 << 0u;
    QTest::newRow("true colour is unlimited") << 24 << 0u;
    QTest::newRow("32 bits is unlimited") << 32 << 0u;
}

void TestIconFile::colourLimitForDepth()
{
    QFETCH(int, depth);
    QFETCH(quint32, limit);
    QCOMPARE(IconFile::colourLimitForDepth(depth), limit);
}

void TestIconFile::chooseEntry_data()
{
    QTest::addColumn<Entries>("entries");
    QTest::addColumn<QSize>("target");
    QTest::addColumn<quint32>("limit");
    QTest::addColumn<int>("chosen");

    const Entries five{dirEntry(16, 16, 16), dirEntry(32, 32, 16), dirEntry(16, 16, 0), dirEntry(32, 32, 0),
                       dirEntry(48, 48, 0)};
    QTest::newRow("five entries, true colour") << five << Large << 0u << 3;
    QTest::newRow("five entries, 256 colours") << five << Large << 256u << 1;
    QTest::newRow("five entries, 16 colours") << five << Large << 16u << 1;
    QTest::newRow("five entries, 16-pixel target") << five << QSize(16, 16) << 0u << 2;
    QTest::newRow("five entries, 48-pixel target") << five << QSize(48, 48) << 0u << 4;
    QTest::newRow("no entries") << Entries{} << Large << 0u << -1;
    QTest::newRow("one entry") << Entries{dirEntry(48, 48, 0)} << Large << 0u << 0;
    QTest::newRow("ties go to the later entry") << Entries{dirEntry(32, 32, 16), dirEntry(32, 32, 16)} << Large << 0u << 1;
    QTest::newRow("a larger one below the target") << Entries{dirEntry(16, 16, 0), dirEntry(24, 24, 0)} << Large << 0u << 1;
    QTest::newRow("a smaller one below the target") << Entries{dirEntry(24, 24, 0), dirEntry(16, 16, 0)} << Large << 0u << 0;
    QTest::newRow("above the target only after one above") << Entries{dirEntry(16, 16, 0), dirEntry(48, 48, 0)} << Large << 0u << 0;
    QTest::newRow("nearer from above") << Entries{dirEntry(64, 64, 0), dirEntry(40, 40, 0)} << Large << 0u << 1;
    QTest::newRow("equally far below beats above") << Entries{dirEntry(48, 48, 0), dirEntry(16, 16, 0)} << Large << 0u << 1;
    QTest::newRow("farther below loses to above") << Entries{dirEntry(40, 40, 0), dirEntry(16, 16, 0)} << Large << 0u << 0;
    QTest::newRow("each side on its own") << Entries{dirEntry(32, 16, 0), dirEntry(16, 32, 0)} << Large << 0u << 0;
    QTest::newRow("wide beats narrow") << Entries{dirEntry(16, 32, 0), dirEntry(32, 32, 0)} << Large << 0u << 1;
    QTest::newRow("0 means 0, not 256") << Entries{dirEntry(0, 0, 0), dirEntry(32, 32, 0)} << Large << 0u << 1;
    QTest::newRow("0 is far from the target") << Entries{dirEntry(32, 32, 0), dirEntry(0, 0, 0)} << Large << 0u << 0;
    QTest::newRow("more colours win") << Entries{dirEntry(32, 32, 256), dirEntry(32, 32, 16)} << Large << 0u << 0;
    QTest::newRow("colour count 0 beats 256") << Entries{dirEntry(32, 32, 256), dirEntry(32, 32, 0)} << Large << 0u << 1;
    QTest::newRow("0 colours beyond a 256-colour screen") << Entries{dirEntry(32, 32, 256), dirEntry(32, 32, 0)} << Large << 256u << 0;
    QTest::newRow("256 within a 256-colour screen") << Entries{dirEntry(32, 32, 16), dirEntry(32, 32, 256)} << Large << 256u << 1;
    QTest::newRow("256 beyond a 16-colour screen") << Entries{dirEntry(32, 32, 16), dirEntry(32, 32, 256)} << Large << 16u << 0;
    QTest::newRow("the first entry stays though beyond the screen")
        << Entries{dirEntry(32, 32, 256), dirEntry(32, 32, 16)} << Large << 16u << 0;
    QTest::newRow("colour count word above 256") << Entries{dirEntry(32, 32, 256), dirEntry(32, 32, 0x1000)} << Large << 0u << 1;
    // A screen of another device pixel ratio chooses for as many device pixels: 32 x 1.25, x 1.5
    // and x 2 among the sizes an icon editor writes.
    const Entries sizes{dirEntry(16, 16, 0), dirEntry(32, 32, 0), dirEntry(48, 48, 0), dirEntry(64, 64, 0)};
    QTest::newRow("ratio 1: 32 of 16, 32, 48, 64") << sizes << Large << 0u << 1;
    QTest::newRow("ratio 1.25: 32 (below 40) of 16, 32, 48, 64") << sizes << QSize(40, 40) << 0u << 1;
    QTest::newRow("ratio 1.5: 48 of 16, 32, 48, 64") << sizes << QSize(48, 48) << 0u << 2;
    QTest::newRow("ratio 2: 64 of 16, 32, 48, 64") << sizes << QSize(64, 64) << 0u << 3;
    QTest::newRow("ratio 2: 48 of 16, 32, 48") << sizes.first(3) << QSize(64, 64) << 0u << 2;
    QTest::newRow("better size, too many colours")
        << Entries{dirEntry(16, 16, 16), dirEntry(32, 32, 256), dirEntry(32, 32, 16)} << Large << 16u << 2;
}

void TestIconFile::chooseEntry()
{
    QFETCH(Entries, entries);
    QFETCH(QSize, target);
    QFETCH(quint32, limit);
    QFETCH(int, chosen);
    QCOMPARE(IconFile::chooseEntry(entries, target, limit), chosen);
}

void TestIconFile::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QImage>("expected");

    const QList<QRgb> p2 = testPalette(2);
    const QList<QRgb> p16 = testPalette(16);
    const QList<QRgb> p256 = testPalette(256);
    const QSize odd(23, 42);

    for (const QSize size : {Large, odd}) {
        const QByteArray s = QByteArray::number(size.width()) + 'x' + QByteArray::number(size.height());
        const QImage one = palettePicture(size, p2, true);
        const QImage four = palettePicture(size, p16, true);
        const QImage eight = palettePicture(size, p256, true);
        const QImage holes = truecolourPicture(size, Alpha::Holes);
        const QImage graded = truecolourPicture(size, Alpha::Graded);
        BitmapOptions noAlpha = depth(32);
        noAlpha.alpha = false;
        QTest::addRow("1 bpp %s with mask", s.constData()) << single(bitmapEntry(one, depth(1, p2))) << throughMask(one);
        QTest::addRow("4 bpp %s with mask", s.constData()) << single(bitmapEntry(four, depth(4, p16))) << throughMask(four);
        QTest::addRow("8 bpp %s with mask", s.constData()) << single(bitmapEntry(eight, depth(8, p256))) << throughMask(eight);
        QTest::addRow("24 bpp %s with mask", s.constData()) << single(bitmapEntry(holes, depth(24))) << throughMask(holes);
        const QImage high = palettePicture(size, fiveBitPalette(), true);
        QTest::addRow("16 bpp %s, 5-5-5, with mask", s.constData()) << single(bitmapEntry(high, depth(16))) << throughMask(high);
        QTest::addRow("32 bpp %s with alpha", s.constData()) << single(bitmapEntry(graded, depth(32))) << graded;
        QTest::addRow("32 bpp %s, alpha all 0, with mask", s.constData()) << single(bitmapEntry(holes, noAlpha)) << throughMask(holes);
        QTest::addRow("png %s", s.constData()) << single(pngEntry(graded)) << graded;
    }

    const auto opaque = [](int bits, const QList<QRgb> &palette) {
        BitmapOptions o = depth(bits, palette);
        o.mask = Mask::Opaque;
        return o;
    };
    const QImage solid2 = palettePicture(Large, p2, false);
    const QImage solid16 = palettePicture(Large, p16, false);
    const QImage solid256 = palettePicture(Large, p256, false);
    const QImage solidTrue = truecolourPicture(Large, Alpha::Opaque);
    QTest::newRow("1 bpp without transparency") << single(bitmapEntry(solid2, opaque(1, p2))) << solid2;
    QTest::newRow("4 bpp without transparency") << single(bitmapEntry(solid16, opaque(4, p16))) << solid16;
    QTest::newRow("8 bpp without transparency") << single(bitmapEntry(solid256, opaque(8, p256))) << solid256;
    QTest::newRow("24 bpp without transparency") << single(bitmapEntry(solidTrue, opaque(24, {}))) << solidTrue;

    // The top bit of a 16-bit pixel carries nothing.
    const QImage solidHigh = palettePicture(Large, fiveBitPalette(), false);
    Entry topBit = bitmapEntry(solidHigh, opaque(16, {}));
    for (qsizetype i = 40 + 1; i < 40 + 32 * 32 * 2; i += 2)
        topBit.data[i] = char(topBit.data[i] | 0x80);
    QTest::newRow("16 bpp: top bit set and ignored") << single(topBit) << solidHigh;

    BitmapOptions fewUsed = depth(8, p256);
    fewUsed.coloursUsed = 3;
    QTest::newRow("8 bpp: count of used colours ignored") << single(bitmapEntry(solid256, fewUsed)) << solid256;
    BitmapOptions reservedSet = depth(4, p16);
    reservedSet.tableReserved = 0x80;
    QTest::newRow("4 bpp: colour table's fourth byte ignored") << single(bitmapEntry(solid16, reservedSet)) << solid16;
    const QList<QRgb> five = testPalette(5);
    const QImage fiveColours = palettePicture(Large, five, true);
    QTest::newRow("8 bpp using 5 table entries") << single(bitmapEntry(fiveColours, depth(8, five))) << throughMask(fiveColours);

    BitmapOptions allSet = depth(24);
    allSet.mask = Mask::AllSet;
    QTest::newRow("24 bpp, every mask bit set: nothing shows")
        << single(bitmapEntry(solidTrue, allSet)) << filled(Large, qRgba(0, 0, 0, 0));
    const QImage graded = truecolourPicture(Large, Alpha::Graded);
    BitmapOptions alphaOverMask = depth(32);
    alphaOverMask.mask = Mask::AllSet;
    QTest::newRow("32 bpp: alpha wins over the mask") << single(bitmapEntry(graded, alphaOverMask)) << graded;
    BitmapOptions alphaNoMask = depth(32);
    alphaNoMask.mask = Mask::Absent;
    QTest::newRow("32 bpp: alpha without a mask") << single(bitmapEntry(graded, alphaNoMask)) << graded;

    const QImage tiny = palettePicture({1, 1}, p16, false);
    QTest::newRow("4 bpp 1x1") << single(bitmapEntry(tiny, depth(4, p16))) << tiny;
    const QImage biggest = truecolourPicture({255, 255}, Alpha::Holes);
    QTest::newRow("24 bpp 255x255") << single(bitmapEntry(biggest, depth(24))) << throughMask(biggest);
    BitmapOptions oddHeight = depth(8, p256);
    oddHeight.heightField = 2 * 32 + 1;
    QTest::newRow("odd height field rounds down") << single(bitmapEntry(solid256, oddHeight)) << solid256;
    QTest::newRow("reserved word set") << single(bitmapEntry(solid16, depth(4, p16)), {0x1234, 1, {}}) << solid16;

    // Drawn at the directory's size: a bitmap or PNG of another size is stretched to it.
    const QImage small = palettePicture({16, 16}, p16, true);
    Entry stretched = bitmapEntry(small, depth(4, p16));
    stretched.width = stretched.height = 32;
    QTest::newRow("16x16 bitmap in a 32x32 entry") << single(stretched) << throughMask(enlarged(small, 2));
    Entry shrunk = bitmapEntry(enlarged(small, 2), depth(4, p16));
    shrunk.width = shrunk.height = 16;
    QTest::newRow("32x32 bitmap in a 16x16 entry") << single(shrunk) << throughMask(small);
    const QImage smallGraded = truecolourPicture({16, 16}, Alpha::Graded);
    Entry pngStretched = pngEntry(smallGraded);
    pngStretched.width = 32;
    QImage wider(32, 16, QImage::Format_ARGB32);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 32; ++x)
            wider.setPixel(x, y, smallGraded.pixel(x / 2, y));
    }
    QTest::newRow("16x16 png in a 32x16 entry") << single(pngStretched) << wider;
    Entry pngShrunk = pngEntry(enlarged(smallGraded, 2));
    pngShrunk.width = pngShrunk.height = 16;
    QTest::newRow("32x32 png in a 16x16 entry") << single(pngShrunk) << smallGraded;
}

void TestIconFile::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QImage, expected);
    WorkDir dir;
    const IconFile icon = loadFile(bytes);
    QCOMPARE(difference(icon.decode(Large, 0), expected), QString());
}

void TestIconFile::oddSizeStretchedKeepsItsCorners()
{
    WorkDir dir;
    const QImage source = truecolourPicture({23, 42}, Alpha::Opaque);
    Entry e = bitmapEntry(source, depth(24));
    e.width = e.height = 32;
    const QImage image = loadFile(single(e)).decode(Large, 0);
    QCOMPARE(image.size(), Large);
    QCOMPARE(image.pixel(0, 0), source.pixel(0, 0));
    QCOMPARE(image.pixel(31, 0), source.pixel(22, 0));
    QCOMPARE(image.pixel(0, 31), source.pixel(0, 41));
    QCOMPARE(image.pixel(31, 31), source.pixel(22, 41));
}

void TestIconFile::decodeChoosesEntry_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("target");
    QTest::addColumn<quint32>("limit");
    QTest::addColumn<QImage>("expected");

    const Example five = fiveEntries();
    const QByteArray fiveFile = iconFile(five.entries);
    QTest::newRow("five entries, true colour: the fourth") << fiveFile << Large << 0u << five.shown[3];
    QTest::newRow("five entries, 256 colours: the second") << fiveFile << Large << 256u << five.shown[1];
    QTest::newRow("five entries, 16 colours: the second") << fiveFile << Large << 16u << five.shown[1];
    QTest::newRow("five entries, 16-pixel target: the third") << fiveFile << QSize(16, 16) << 0u << five.shown[2];
    QTest::newRow("five entries, 48-pixel target: the fifth") << fiveFile << QSize(48, 48) << 0u << five.shown[4];

    // The same picture at 2, 16, 256 and unlimited colours, the 256-colour one with its count
    // written as 256 (colour-count byte 0, reserved byte 1).
    const QList<QRgb> p2 = testPalette(2);
    const QList<QRgb> p16 = testPalette(16);
    const QList<QRgb> p256 = testPalette(256);
    const QImage mono = palettePicture(Large, p2, true);
    const QImage four = palettePicture(Large, p16, true);
    const QImage eight = palettePicture(Large, p256, true);
    const QImage truecolour = truecolourPicture(Large, Alpha::Graded);
    Entry eightEntry = bitmapEntry(eight, depth(8, p256));
    eightEntry.colourCount = 256;
    const QByteArray depths = iconFile({bitmapEntry(mono, depth(1, p2)), bitmapEntry(four, depth(4, p16)), eightEntry,
                                        bitmapEntry(truecolour, depth(32))});
    QTest::newRow("2-colour screen") << depths << Large << 2u << throughMask(mono);
    QTest::newRow("16-colour screen") << depths << Large << 16u << throughMask(four);
    QTest::newRow("256-colour screen") << depths << Large << 256u << throughMask(eight);
    QTest::newRow("true-colour screen") << depths << Large << 0u << truecolour;
    eightEntry.colourCount = 0;
    const QByteArray editorsWay = iconFile({bitmapEntry(four, depth(4, p16)), eightEntry, bitmapEntry(truecolour, depth(32))});
    QTest::newRow("256 colours stored as 0 are beyond a 256-colour screen") << editorsWay << Large << 256u << throughMask(four);
    QTest::newRow("256 colours stored as 0, true colour: the later 0") << editorsWay << Large << 0u << truecolour;

    // A PNG entry (a 256-pixel picture, whose size bytes are 0) beside a bitmap.
    const QImage bigPng = truecolourPicture({64, 64}, Alpha::Graded);
    Entry png256 = pngEntry(bigPng);
    png256.width = png256.height = 0;
    QTest::newRow("a 0 x 0 png entry loses to 32 x 32") << iconFile({png256, bitmapEntry(truecolour, depth(32))}) << Large << 0u
                                                       << truecolour;
    QTest::newRow("a 0 x 0 png entry keeps its place before fewer colours")
        << iconFile({png256, bitmapEntry(four, depth(4, p16))}) << Large << 0u << QImage();
    QTest::newRow("a 0 x 0 png entry alone shows nothing") << iconFile({png256}) << Large << 0u << QImage();
    QTest::newRow("png beside bitmaps") << iconFile({bitmapEntry(four, depth(4, p16)), pngEntry(truecolour)}) << Large << 0u
                                        << truecolour;
}

void TestIconFile::decodeChoosesEntry()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, target);
    QFETCH(quint32, limit);
    QFETCH(QImage, expected);
    WorkDir dir;
    QCOMPARE(difference(loadFile(bytes).decode(target, limit), expected), QString());
}

void TestIconFile::sharpAtEveryRatio_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QImage>("expected"); // the device pixels

    // Each size a picture of its own, so the pixels tell which entry was drawn.
    QList<QImage> pictures;
    QList<Entry> entries;
    for (const int side : {16, 32, 48, 64}) {
        QImage picture = truecolourPicture({side, side}, Alpha::Graded);
        if (side % 32 == 0)
            picture = picture.mirrored(true, false);
        pictures.append(picture);
        entries.append(bitmapEntry(picture, depth(32)));
    }
    const auto smooth = [](const QImage &source, int side) {
        return source.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_ARGB32);
    };
    const QByteArray all = iconFile(entries);
    QTest::newRow("16, 32, 48, 64 at ratio 1: 32, as it is") << all << 1.0 << pictures[1];
    QTest::newRow("16, 32, 48, 64 at ratio 1.25: 32, scaled to 40") << all << 1.25 << smooth(pictures[1], 40);
    QTest::newRow("16, 32, 48, 64 at ratio 1.5: 48, 1:1") << all << 1.5 << pictures[2];
    QTest::newRow("16, 32, 48, 64 at ratio 2: 64, 1:1") << all << 2.0 << pictures[3];
    QTest::newRow("16, 32, 48, 64 at ratio 3: 64, scaled to 96") << all << 3.0 << smooth(pictures[3], 96);
    QTest::newRow("32 alone at ratio 2: scaled to 64") << iconFile({entries[1]}) << 2.0 << smooth(pictures[1], 64);
    QTest::newRow("16 alone at ratio 2: its 16-pixel place, 32 pixels") << iconFile({entries[0]}) << 2.0 << smooth(pictures[0], 32);
    QTest::newRow("32 and 48 at ratio 2: 48, scaled to 64") << iconFile(entries.mid(1, 2)) << 2.0 << smooth(pictures[2], 64);
    Entry broken = entries[3];
    broken.data.truncate(40);
    QTest::newRow("a broken 64 at ratio 2: the 32, scaled") << iconFile({entries[1], broken}) << 2.0 << smooth(pictures[1], 64);

    // Type 0 names no picture: the program's own drawing for it, sharp at 2.
    Resources::init();
    const QByteArray type0("\0\0\0\0\0\0", 6);
    const auto drawing = [](const QString &path) { return QImage(path).convertToFormat(QImage::Format_ARGB32); };
    QTest::newRow("type 0 at ratio 1") << type0 << 1.0 << drawing(u":/icons/standard-application.png"_s);
    QTest::newRow("type 0 at ratio 2") << type0 << 2.0 << drawing(u":/icons/standard-application@2x.png"_s);
    QTest::newRow("type 0 at ratio 1.5") << type0 << 1.5 << smooth(drawing(u":/icons/standard-application@2x.png"_s), 48);
}

void TestIconFile::sharpAtEveryRatio()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qreal, ratio);
    QFETCH(QImage, expected);
    const QImage image = IconDisplay::picture(IconFile::fromBytes(bytes), ratio);
    QCOMPARE(image.devicePixelRatio(), ratio);
    QCOMPARE(difference(image.convertToFormat(QImage::Format_ARGB32), expected), QString());
    // The place stays what ratio 1 shows.
    const QImage atOne = IconDisplay::picture(IconFile::fromBytes(bytes));
    QCOMPARE(image.deviceIndependentSize(), QSizeF(atOne.size()));
}

void TestIconFile::brokenDataShowsNothing_data()
{
    QTest::addColumn<QByteArray>("bytes");

    const QImage source = truecolourPicture(Large, Alpha::Holes);
    const Entry good = bitmapEntry(source, depth(24));
    const auto changed = [&](auto change) {
        Entry e = good;
        change(e);
        return single(e);
    };
    const auto header = [&](auto change) {
        BitmapOptions o = depth(24);
        change(o);
        return single(bitmapEntry(source, o));
    };
    const quint32 fileSize = quint32(single(good).size());

    QTest::newRow("type 0") << single(good, {0, 0, {}});
    QTest::newRow("zero image count") << single(good, {0, 1, quint16(0)});
    QTest::newRow("directory runs past the end") << single(good, {0, 1, quint16(300)});
    QTest::newRow("data offset beyond the file") << changed([&](Entry &e) { e.dataOffset = fileSize + 100; });
    QTest::newRow("data offset at the end") << changed([&](Entry &e) { e.dataOffset = fileSize; });
    QTest::newRow("data size beyond the file") << changed([](Entry &e) { e.dataSize = quint32(e.data.size() + 1); });
    QTest::newRow("offset and size wrap at 32 bits") << changed([](Entry &e) {
        e.dataOffset = 0xfffffff0u;
        e.dataSize = 0x20;
    });
    QTest::newRow("data size 0xffffffff") << changed([](Entry &e) { e.dataSize = 0xffffffffu; });
    QTest::newRow("data size 0") << changed([](Entry &e) { e.dataSize = 0; });
    QTest::newRow("entry size 0 x 0") << changed([](Entry &e) { e.width = e.height = 0; });
    QTest::newRow("entry width 0") << changed([](Entry &e) { e.width = 0; });
    QTest::newRow("data size short of the bitmap") << changed([](Entry &e) { e.dataSize = quint32(e.data.size() - 1); });

    for (const int bits : {0, 2, 7, 15, 33, 64})
        QTest::addRow("bit count %d", bits) << header([bits](BitmapOptions &o) { o.bitCountField = quint16(bits); });
    QTest::newRow("run-length compression") << header([](BitmapOptions &o) { o.compression = 1; });
    QTest::newRow("bit-field compression") << header([](BitmapOptions &o) { o.compression = 3; });
    QTest::newRow("header size 12") << header([](BitmapOptions &o) { o.headerSize = 12; });
    QTest::newRow("header size 108") << header([](BitmapOptions &o) { o.headerSize = 108; });
    QTest::newRow("width 0") << header([](BitmapOptions &o) { o.widthField = 0; });
    QTest::newRow("negative width") << header([](BitmapOptions &o) { o.widthField = -32; });
    QTest::newRow("width 0x7fffffff") << header([](BitmapOptions &o) { o.widthField = 0x7fffffff; });
    QTest::newRow("height field 0") << header([](BitmapOptions &o) { o.heightField = 0; });
    QTest::newRow("height field 1") << header([](BitmapOptions &o) { o.heightField = 1; });
    QTest::newRow("top-down bitmap (negative height)") << header([](BitmapOptions &o) { o.heightField = -64; });
    QTest::newRow("height field -0x80000000") << header([](BitmapOptions &o) { o.heightField = std::numeric_limits<qint32>::min(); });
    QTest::newRow("height field 0x7fffffff") << header([](BitmapOptions &o) { o.heightField = 0x7fffffff; });
    QTest::newRow("bitmap 257 wide") << single(bitmapEntry(truecolourPicture({257, 1}, Alpha::Opaque), depth(24)));
    QTest::newRow("bitmap 257 high") << single(bitmapEntry(truecolourPicture({1, 257}, Alpha::Opaque), depth(24)));

    QTest::newRow("colour bits cut short") << changed([](Entry &e) { e.data.truncate(40 + 32 * 96 / 2); });
    const QList<QRgb> p256 = testPalette(256);
    Entry eightBits = bitmapEntry(palettePicture(Large, p256, true), depth(8, p256));
    eightBits.data.chop(1);
    QTest::newRow("8 bpp mask one byte short") << single(eightBits);
    Entry tableOnly = bitmapEntry(palettePicture(Large, p256, true), depth(8, p256));
    tableOnly.data.truncate(40 + 1000);
    QTest::newRow("8 bpp colour table cut short") << single(tableOnly);
    BitmapOptions noAlphaNoMask = depth(32);
    noAlphaNoMask.alpha = false;
    noAlphaNoMask.mask = Mask::Absent;
    QTest::newRow("32 bpp, alpha all 0, no mask") << single(bitmapEntry(source, noAlphaNoMask));

    const QByteArray png = IconWriter::png(truecolourPicture(Large, Alpha::Graded));
    Entry cutPng = pngEntry(truecolourPicture(Large, Alpha::Graded));
    cutPng.data.truncate(cutPng.data.size() / 2);
    QTest::newRow("png cut short") << single(cutPng);
    Entry signatureOnly = cutPng;
    signatureOnly.data = png.left(8);
    QTest::newRow("png signature only") << single(signatureOnly);
    Entry noHeader = cutPng;
    noHeader.data = png.left(8) + QByteArray(100, 'x');
    QTest::newRow("png without its header chunk") << single(noHeader);
    QTest::newRow("png 1025 wide") << single(pngEntry(truecolourPicture({1025, 1}, Alpha::Opaque)));
    Entry claimsHuge = pngEntry(truecolourPicture({1, 1}, Alpha::Opaque));
    claimsHuge.data.replace(16, 8, QByteArray("\0\0\xea\x60\0\0\xea\x60", 8));
    QTest::newRow("png claiming 60000 x 60000") << single(claimsHuge);
    Entry corrupt = pngEntry(truecolourPicture(Large, Alpha::Graded));
    for (qsizetype i = 40; i < corrupt.data.size() - 20; i += 7)
        corrupt.data[i] = char(corrupt.data[i] ^ 0x5a);
    QTest::newRow("png with damaged image data") << single(corrupt);
}

void TestIconFile::brokenDataShowsNothing()
{
    QFETCH(QByteArray, bytes);
    const DamageReportsSilenced quiet;
    WorkDir dir;
    const IconFile icon = loadFile(bytes);
    QVERIFY(icon.decode(Large, 0).isNull());
    QVERIFY(icon.decode(QSize(16, 16), 16).isNull());
}

void TestIconFile::everyTruncationIsRefused_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<qsizetype>("enoughFrom");
    QTest::addColumn<QImage>("expected");
    QTest::addColumn<qsizetype>("forgivenEnd"); // bytes at the end whose loss may go unnoticed

    const QList<QRgb> p2 = testPalette(2);
    const QList<QRgb> p16 = testPalette(16);
    const QList<QRgb> p256 = testPalette(256);
    const QSize size(23, 10);
    const QImage mono = palettePicture(size, p2, true);
    const QImage four = palettePicture(size, p16, true);
    const QImage eight = palettePicture(size, p256, true);
    const QImage holes = truecolourPicture(size, Alpha::Holes);
    const QImage graded = truecolourPicture(size, Alpha::Graded);
    BitmapOptions noAlpha = depth(32);
    noAlpha.alpha = false;

    const auto row = [](const char *name, const QByteArray &data, const QImage &expected, qsizetype enoughFrom = -1) {
        QTest::newRow(name) << data << (enoughFrom < 0 ? data.size() : enoughFrom) << expected << qsizetype(0);
    };
    row("1 bpp", bitmap(mono, depth(1, p2)), throughMask(mono));
    row("4 bpp", bitmap(four, depth(4, p16)), throughMask(four));
    row("8 bpp", bitmap(eight, depth(8, p256)), throughMask(eight));
    row("24 bpp", bitmap(holes, depth(24)), throughMask(holes));
    const QImage high = palettePicture(size, fiveBitPalette(), true);
    row("16 bpp", bitmap(high, depth(16)), throughMask(high));
    row("32 bpp, alpha all 0", bitmap(holes, noAlpha), throughMask(holes));
    // With alpha the mask is not needed.
    row("32 bpp with alpha", bitmap(graded, depth(32)), graded, 40 + 23 * 4 * 10);
    // Qt's PNG reader forgives an end chunk cut short; it must never show part of a picture.
    const QByteArray pngData = png(graded);
    QTest::newRow("png") << pngData << pngData.size() << graded << qsizetype(12);
}

void TestIconFile::everyTruncationIsRefused()
{
    QFETCH(QByteArray, data);
    QFETCH(qsizetype, enoughFrom);
    QFETCH(QImage, expected);
    QFETCH(qsizetype, forgivenEnd);

    const DamageReportsSilenced quiet;
    Entry entry;
    entry.width = quint8(expected.width());
    entry.height = quint8(expected.height());
    for (qsizetype n = 0; n <= data.size(); ++n) {
        entry.data = data.left(n);
        const QImage image = IconFile::fromBytes(single(entry)).decode(Large, 0);
        const bool whole = n >= enoughFrom || (n >= data.size() - forgivenEnd && !image.isNull());
        const QString diff = difference(image, whole ? expected : QImage());
        QVERIFY2(diff.isEmpty(), qPrintable(u"%1 of %2 bytes: %3"_s.arg(n).arg(data.size()).arg(diff)));
    }
    entry.data = data;
    const QByteArray whole = single(entry);
    for (qsizetype n = 6; n < whole.size(); ++n)
        QVERIFY2(IconFile::fromBytes(whole.left(n)).decode(Large, 0).isNull(), qPrintable(QString::number(n)));
}

void TestIconFile::damagedFilesNeverCrash()
{
    const QList<QRgb> p16 = testPalette(16);
    const QList<QRgb> p256 = testPalette(256);
    const QList<QByteArray> originals{
        iconFile(fiveEntries().entries),
        single(bitmapEntry(palettePicture({23, 42}, testPalette(2), true), depth(1, testPalette(2)))),
        single(bitmapEntry(palettePicture({17, 9}, p16, true), depth(4, p16))),
        single(bitmapEntry(palettePicture({31, 32}, p256, true), depth(8, p256))),
        single(bitmapEntry(truecolourPicture({5, 32}, Alpha::Holes), depth(24))),
        single(bitmapEntry(palettePicture({13, 7}, fiveBitPalette(), true), depth(16))),
        single(pngEntry(truecolourPicture({32, 32}, Alpha::Graded))),
    };
    const char interesting[] = {0, 1, char(0x7f), char(0x80), char(0xff), 32, 16};
    const DamageReportsSilenced quiet;
    QRandomGenerator random(20240601);
    for (const QByteArray &original : originals) {
        for (int round = 0; round < 400; ++round) {
            QByteArray bytes = original;
            const int changes = 1 + int(random.bounded(4));
            for (int c = 0; c < changes; ++c) {
                // Most damage lands in the headers, where it matters most.
                const qsizetype limit = random.bounded(2) ? qMin(bytes.size(), qsizetype(6 + 16 * 5 + 60)) : bytes.size();
                const qsizetype at = qsizetype(random.bounded(quint32(limit)));
                bytes[at] = random.bounded(2) ? interesting[random.bounded(int(sizeof interesting))] : char(random.bounded(256));
            }
            if (random.bounded(4) == 0)
                bytes.truncate(qsizetype(random.bounded(quint32(bytes.size()))));
            IconFile icon;
            try {
                icon = IconFile::fromBytes(bytes);
            } catch (const Failure &) {
                continue;
            }
            const Entries entries = icon.entries();
            for (const quint32 limit : {0u, 16u, 256u}) {
                const QImage image = icon.decode(Large, limit);
                if (image.isNull())
                    continue;
                const IconDirEntry &e = entries.at(IconFile::chooseEntry(entries, Large, limit));
                QCOMPARE(image.size(), QSize(e.width, e.height));
                QCOMPARE(image.format(), QImage::Format_ARGB32);
            }
        }
    }
}

void TestIconFile::display()
{
    // The offscreen platform's style and true-colour screen stand for the usual desktop.
    QCOMPARE(IconDisplay::targetSize(), Large);
    QCOMPARE(IconDisplay::colourLimit(), 0u);
    const QImage standard = IconDisplay::picture(IconFile::fromBytes(QByteArray("\0\0\0\0\0\0", 6)));
    QCOMPARE(standard.size(), Large);
    QVERIFY(!standard.isNull());
    const Example five = fiveEntries();
    QCOMPARE(difference(IconDisplay::picture(IconFile::fromBytes(iconFile(five.entries))), five.shown[3]), QString());
    QVERIFY(IconDisplay::picture(IconFile::fromBytes(QByteArray("\0\0\1\0\0\0", 6))).isNull());
}

VEDALKA_TEST_MAIN(TestIconFile)
#include "tst_iconfile.moc"
