// Writes icon files for the tests and the fuzzers' seed corpus: bitmaps at every bit depth, PNG
// entries and the directory around them, with switches that break each part on purpose. Also
// makes the synthetic pictures they encode, so a test can compare decoded pixels with its source.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>

#include <optional>

namespace IconWriter {

// How a picture is stored as a device-independent bitmap.
struct BitmapOptions
{
    enum class Mask {
        FromAlpha, // a set bit where the source pixel's alpha is 0
        Opaque,    // no bit set
        AllSet,    // every bit set
        Absent,    // no mask bytes at all
    };

    int bitsPerPixel = 32;      // 1, 4, 8, 16 (5-5-5), 24 or 32
    QList<QRgb> palette;        // 1, 4 and 8 bits: the colour table, filled up with black
    bool alpha = true;          // 32 bits: store the source's alpha; false stores 0 bytes
    Mask mask = Mask::FromAlpha;
    quint8 tableReserved = 0;   // the fourth byte of every colour table entry
    quint32 coloursUsed = 0;
    // Header fields written in place of the true ones.
    std::optional<quint32> headerSize;
    std::optional<qint32> widthField;
    std::optional<qint32> heightField;
    std::optional<quint16> bitCountField;
    std::optional<quint32> compression;
};

// The bitmap of the source (ARGB32; in palette pictures every opaque colour must be in the
// palette, fully transparent pixels are written as index 0).
QByteArray bitmap(const QImage &source, const BitmapOptions &options = {});
QByteArray png(const QImage &source);

// One directory entry and the data it points at.
struct Entry
{
    quint8 width = 0;
    quint8 height = 0;
    quint16 colourCount = 0;
    QByteArray data;
    // Written in place of the true size and offset.
    std::optional<quint32> dataSize;
    std::optional<quint32> dataOffset;
};

// An entry for the source's size: the colour count of 1, 4 and 8 bits (2, 16 and 0, as icon
// editors store 256), 0 above.
Entry bitmapEntry(const QImage &source, const BitmapOptions &options = {});
Entry pngEntry(const QImage &source);

struct FileOptions
{
    quint16 reserved = 0;
    quint16 type = 1;
    std::optional<quint16> count; // in place of the number of entries
};

// The header, the directory and the entries' data in order.
QByteArray iconFile(const QList<Entry> &entries, const FileOptions &options = {});

// n distinct opaque colours.
QList<QRgb> testPalette(int n);

// Colours from the palette in a pattern that tells rows and columns apart; with holes, some
// pixels are fully transparent (0).
QImage palettePicture(QSize size, const QList<QRgb> &palette, bool holes);

enum class Alpha {
    Opaque, // alpha 255 everywhere
    Holes,  // alpha 255, with some fully transparent (0) pixels
    Graded, // alpha values of every kind, 0 and 255 among them
};
QImage truecolourPicture(QSize size, Alpha alpha);

// Every pixel of the source repeated factor times across and down.
QImage enlarged(const QImage &source, int factor);

} // namespace IconWriter
