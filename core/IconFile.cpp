#include "core/IconFile.h"

#include "core/Failure.h"
#include "core/Files.h"

#include <QtEndian>

#include <cstdlib>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 HeaderBytes = 6;
constexpr qint64 EntryBytes = 16;
constexpr qint64 BitmapHeaderBytes = 40;

const uchar *at(QByteArrayView data, qint64 offset)
{
    return reinterpret_cast<const uchar *>(data.data()) + offset;
}

quint16 word(QByteArrayView data, qint64 offset)
{
    return qFromLittleEndian<quint16>(at(data, offset));
}

quint32 dword(QByteArrayView data, qint64 offset)
{
    return qFromLittleEndian<quint32>(at(data, offset));
}

qint32 signedDword(QByteArrayView data, qint64 offset)
{
    return qFromLittleEndian<qint32>(at(data, offset));
}

// Colour counts and limits compare with 0 standing for "unlimited", above every real count.
quint64 colours(quint32 count)
{
    return count == 0 ? std::numeric_limits<quint64>::max() : count;
}

// One side of a later entry against the current choice's: no farther from the target, and above
// it only where the current choice's side is above it too.
bool sideFits(int side, int current, int target)
{
    return std::abs(side - target) <= std::abs(current - target) && (side <= target || current > target);
}

bool isPng(QByteArrayView data)
{
    return data.startsWith(QByteArrayView("\x89PNG\r\n\x1a\n", 8));
}

QImage decodePng(QByteArrayView data)
{
    // IHDR is always the first chunk; its size is checked before Qt's reader allocates anything.
    if (data.size() < 24 || data.sliced(12, 4) != QByteArrayView("IHDR"))
        return {};
    const quint32 width = qFromBigEndian<quint32>(at(data, 16));
    const quint32 height = qFromBigEndian<quint32>(at(data, 20));
    if (width == 0 || height == 0 || width > quint32(IconFile::MaxPngSide) || height > quint32(IconFile::MaxPngSide))
        return {};
    const QImage image = QImage::fromData(data, "PNG");
    if (image.size() != QSize(int(width), int(height)))
        return {};
    return image.convertToFormat(QImage::Format_ARGB32);
}

// A 16-bit pixel: 5 bits each of red, green and blue from the top down, the top bit unused.
// Each channel is widened so that 31 becomes 255.
QRgb fromFiveFiveFive(quint16 pixel)
{
    const auto widen = [](int c) { return (c << 3) | (c >> 2); };
    return qRgb(widen((pixel >> 10) & 31), widen((pixel >> 5) & 31), widen(pixel & 31));
}

// A bottom-up device-independent bitmap: 40-byte header, colour table, colour bits, 1-bit mask.
QImage decodeBitmap(QByteArrayView data)
{
    if (data.size() < BitmapHeaderBytes || dword(data, 0) != BitmapHeaderBytes)
        return {};
    const qint64 width = signedDword(data, 4);
    // The height counts the colour bits and the mask. Top-down bitmaps (a negative height) are
    // not icons; they are refused like any other header we cannot draw.
    const qint64 height = qint64(signedDword(data, 8)) / 2;
    const int bitCount = word(data, 14);
    const quint32 compression = dword(data, 16);
    if (width <= 0 || width > IconFile::MaxBitmapSide || height <= 0 || height > IconFile::MaxBitmapSide
        || compression != 0)
        return {};

    int tableSize = 0;
    switch (bitCount) {
    case 1:
    case 4:
    case 8:
        // The table always has its full size; the header's count of used colours is ignored.
        tableSize = 1 << bitCount;
        break;
    case 16:
    case 24:
    case 32:
        // Every depth above 8 bits carries its colours in the pixels, without a table.
        break;
    default:
        return {};
    }

    const qint64 colourStride = (width * bitCount + 31) / 32 * 4;
    const qint64 maskStride = (width + 31) / 32 * 4;
    const qint64 tableAt = BitmapHeaderBytes;
    const qint64 colourAt = tableAt + qint64(tableSize) * 4;
    const qint64 maskAt = colourAt + colourStride * height;
    const qint64 end = maskAt + maskStride * height;
    if (maskAt > data.size())
        return {};

    QRgb table[256] = {};
    for (int i = 0; i < tableSize; ++i) {
        const uchar *c = at(data, tableAt + qint64(i) * 4);
        table[i] = qRgb(c[2], c[1], c[0]);
    }

    QImage image(int(width), int(height), QImage::Format_ARGB32);
    if (image.isNull())
        return {};
    bool anyAlpha = false;
    for (int y = 0; y < int(height); ++y) {
        const uchar *row = at(data, colourAt + (height - 1 - y) * colourStride);
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < int(width); ++x) {
            switch (bitCount) {
            case 1:
                out[x] = table[(row[x / 8] >> (7 - x % 8)) & 1];
                break;
            case 4:
                out[x] = table[(row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0xf];
                break;
            case 8:
                out[x] = table[row[x]];
                break;
            case 16:
                out[x] = fromFiveFiveFive(quint16(row[2 * x] | row[2 * x + 1] << 8));
                break;
            case 24:
                out[x] = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
                break;
            default:
                out[x] = qRgba(row[4 * x + 2], row[4 * x + 1], row[4 * x], row[4 * x + 3]);
                anyAlpha = anyAlpha || row[4 * x + 3] != 0;
                break;
            }
        }
    }

    // An alpha channel that is used decides alone, so such an icon needs no mask; a missing mask
    // is forgiven there.
    if (anyAlpha)
        return image;
    if (end > data.size())
        return {};
    for (int y = 0; y < int(height); ++y) {
        const uchar *row = at(data, maskAt + (height - 1 - y) * maskStride);
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < int(width); ++x) {
            // A set mask bit lets the background through. Where the colour bits are not black the
            // desktop would invert the background instead; we show such pixels transparent too.
            if ((row[x / 8] >> (7 - x % 8)) & 1)
                out[x] = qRgba(0, 0, 0, 0);
            else
                out[x] |= 0xff000000u;
        }
    }
    return image;
}

// Nearest-neighbour stretch by pixel centres. QImage::scaled() would pass through premultiplied
// alpha and change the colours of translucent pixels.
QImage stretched(const QImage &source, QSize size)
{
    QImage image(size, QImage::Format_ARGB32);
    if (image.isNull())
        return {};
    const qint64 sw = source.width();
    const qint64 sh = source.height();
    for (int y = 0; y < size.height(); ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(source.constScanLine(int((2 * y + 1) * sh / (2 * size.height()))));
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            out[x] = in[(2 * x + 1) * sw / (2 * size.width())];
    }
    return image;
}

} // namespace

void IconFile::load(const QString &fileName)
{
    *this = fromBytes(Files::readWhole(fileName, Files::ReadFile::MissingFails, MaxFileBytes));
}

IconFile IconFile::fromBytes(QByteArray bytes)
{
    if (bytes.size() < HeaderBytes)
        Files::failRead();
    const quint16 type = word(bytes, 2);
    if (type != 0 && type != 1)
        throw Failure(u"Icon image is not valid"_s);
    IconFile icon;
    icon.m_bytes = std::move(bytes);
    icon.m_type = type;
    return icon;
}

QList<IconDirEntry> IconFile::entries() const
{
    QList<IconDirEntry> list;
    if (m_type != 1)
        return list;
    const qint64 count = word(m_bytes, 4);
    if (HeaderBytes + count * EntryBytes > m_bytes.size())
        return list;
    list.reserve(count);
    for (qint64 i = 0; i < count; ++i) {
        const qint64 p = HeaderBytes + i * EntryBytes;
        IconDirEntry e;
        e.width = quint8(m_bytes.at(p));
        e.height = quint8(m_bytes.at(p + 1));
        e.colourCount = word(m_bytes, p + 2);
        e.dataSize = dword(m_bytes, p + 8);
        e.dataOffset = dword(m_bytes, p + 12);
        list.append(e);
    }
    return list;
}

// The first entry is the choice to beat; a later one takes its place when its colour count is
// within the screen's limit and at least the current choice's, and both its sides fit (see
// sideFits); ties go to the later entry. A colour count of 0 is unlimited in both tests: on a
// screen with a limit such an entry is never within it, on a true-colour screen it beats every
// count and is matched only by another 0 (so 32 x 32 with 0 colours replaces 32 x 32 with 16).
// The first entry itself is never tested against the limit, and an entry with fewer colours
// never replaces it, even when it alone would fit the screen.
int IconFile::chooseEntry(const QList<IconDirEntry> &entries, QSize target, quint32 colourLimit)
{
    if (entries.isEmpty())
        return -1;
    const quint64 limit = colours(colourLimit);
    int chosen = 0;
    for (int i = 1; i < int(entries.size()); ++i) {
        const IconDirEntry &e = entries.at(i);
        const IconDirEntry &c = entries.at(chosen);
        if (colours(e.colourCount) <= limit && colours(e.colourCount) >= colours(c.colourCount)
            && sideFits(e.width, c.width, target.width()) && sideFits(e.height, c.height, target.height()))
            chosen = i;
    }
    return chosen;
}

QImage IconFile::decode(QSize target, quint32 colourLimit) const
{
    const QList<IconDirEntry> list = entries();
    const int chosen = chooseEntry(list, target, colourLimit);
    if (chosen < 0)
        return {};
    const IconDirEntry &e = list.at(chosen);
    if (e.width == 0 || e.height == 0 || e.dataSize == 0 || qint64(e.dataOffset) + e.dataSize > m_bytes.size())
        return {};
    const QByteArrayView data = QByteArrayView(m_bytes).sliced(e.dataOffset, e.dataSize);
    QImage image = isPng(data) ? decodePng(data) : decodeBitmap(data);
    if (image.isNull())
        return {};
    // The icon is drawn at its directory size; a picture of another size is stretched to it.
    const QSize drawn(e.width, e.height);
    return image.size() == drawn ? image : stretched(image, drawn);
}

QImage IconFile::decode(QSize target, quint32 colourLimit, qreal ratio) const
{
    const QImage place = decode(target, colourLimit);
    if (place.isNull() || ratio == 1)
        return place;
    const QSize pixels = (QSizeF(place.size()) * ratio).toSize();
    QImage sharp = decode((QSizeF(target) * ratio).toSize(), colourLimit);
    // An entry that cannot be drawn leaves the place's own picture, enlarged.
    if (sharp.isNull())
        sharp = place;
    if (sharp.size() != pixels)
        sharp = sharp.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_ARGB32);
    sharp.setDevicePixelRatio(ratio);
    return sharp;
}

quint32 IconFile::colourLimitForDepth(int bitsPerPixel)
{
    if (bitsPerPixel < 1 || bitsPerPixel > 8)
        return 0;
    return quint32(1) << bitsPerPixel;
}
