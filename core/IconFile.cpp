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

// A little-endian field the caller knows to lie inside the data.
template<typename T>
T le(QByteArrayView data, qint64 offset)
{
    return qFromLittleEndian<T>(data.data() + offset);
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

QImage decodePng(QByteArrayView data)
{
    // IHDR is always the first chunk; its size is checked before Qt's reader allocates anything.
    if (data.size() < 24 || data.sliced(12, 4) != QByteArrayView("IHDR"))
        return {};
    const quint32 width = qFromBigEndian<quint32>(data.data() + 16);
    const quint32 height = qFromBigEndian<quint32>(data.data() + 20);
    if (width == 0 || height == 0 || width > quint32(IconFile::MaxPngSide) || height > quint32(IconFile::MaxPngSide))
        return {};
    const QImage image = QImage::fromData(data, "PNG");
    if (image.size() != QSize(int(width), int(height)))
        return {};
    return image.convertToFormat(QImage::Format_ARGB32);
}

// Pixel x of a row of n-bit pixels (n <= 8), the leftmost in the top bits of its byte.
int bits(const uchar *row, int x, int n)
{
    return (row[x * n / 8] >> (8 - n - x * n % 8)) & ((1 << n) - 1);
}

// A 16-bit pixel: 5 bits each of red, green and blue from the top down, the top bit unused.
// Each channel is widened so that 31 becomes 255.
QRgb fromFiveFiveFive(const uchar *p)
{
    const int pixel = p[0] | p[1] << 8;
    const auto widen = [pixel](int shift) { const int c = pixel >> shift & 31; return c << 3 | c >> 2; };
    return qRgba(widen(10), widen(5), widen(0), 0);
}

// A bottom-up device-independent bitmap: 40-byte header, colour table, colour bits, 1-bit mask.
QImage decodeBitmap(QByteArrayView data)
{
    if (data.size() < BitmapHeaderBytes || le<quint32>(data, 0) != BitmapHeaderBytes)
        return {};
    const int width = le<qint32>(data, 4);
    // The height counts the colour bits and the mask. Top-down bitmaps (a negative height) are
    // not icons; they are refused like any other header we cannot draw.
    const int height = le<qint32>(data, 8) / 2;
    const int bitCount = le<quint16>(data, 14);
    if (width <= 0 || width > IconFile::MaxBitmapSide || height <= 0 || height > IconFile::MaxBitmapSide
        || le<quint32>(data, 16) != 0 || !QList{1, 4, 8, 16, 24, 32}.contains(bitCount))
        return {};

    const qint64 colourStride = (qint64(width) * bitCount + 31) / 32 * 4;
    const qint64 maskStride = (width + 31) / 32 * 4;
    // Up to 8 bits the table has its full size, whatever the header's count of used colours.
    const qint64 colourAt = BitmapHeaderBytes + (bitCount <= 8 ? 4 << bitCount : 0);
    const qint64 maskAt = colourAt + colourStride * height;
    if (maskAt > data.size())
        return {};
    const auto *bytes = reinterpret_cast<const uchar *>(data.data());
    const auto row = [&](qint64 at, qint64 stride, int y) { return bytes + at + (height - 1 - y) * stride; };

    // Alpha 0 for now, unless 32-bit pixels carry one.
    QImage image(width, height, QImage::Format_ARGB32);
    bool anyAlpha = false;
    for (int y = 0; y < height; ++y) {
        const uchar *in = row(colourAt, colourStride, y);
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const uchar *p = in + x * bitCount / 8;
            const uchar *bgra = bitCount <= 8 ? bytes + BitmapHeaderBytes + 4 * bits(in, x, bitCount) : p;
            out[x] = bitCount == 16 ? fromFiveFiveFive(p)
                                    : qRgba(bgra[2], bgra[1], bgra[0], bitCount == 32 ? bgra[3] : 0);
            anyAlpha = anyAlpha || qAlpha(out[x]) != 0;
        }
    }

    // An alpha channel that is used decides alone, so such an icon needs no mask; a missing mask
    // is forgiven there.
    if (anyAlpha)
        return image;
    if (maskAt + maskStride * height > data.size())
        return {};
    for (int y = 0; y < height; ++y) {
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(y));
        // A set mask bit lets the background through. Where the colour bits are not black the
        // desktop would invert the background instead; we show such pixels transparent too.
        for (int x = 0; x < width; ++x)
            out[x] = bits(row(maskAt, maskStride, y), x, 1) ? 0 : out[x] | 0xff000000u;
    }
    return image;
}

// Nearest-neighbour stretch by pixel centres. QImage::scaled() would pass through premultiplied
// alpha and change the colours of translucent pixels.
QImage stretched(const QImage &source, QSize size)
{
    QImage image(size, QImage::Format_ARGB32);
    const auto centre = [](int i, int from, int to) { return int((2 * i + 1) * qint64(from) / (2 * to)); };
    for (int y = 0; y < size.height(); ++y) {
        const int from = centre(y, source.height(), size.height());
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, source.pixel(centre(x, source.width(), size.width()), from));
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
    const quint16 type = le<quint16>(bytes, 2);
    if (type != 0 && type != 1)
        throw Failure(u"Icon image is not valid"_s);
    IconFile icon;
    icon.m_bytes = std::move(bytes);
    icon.m_type = type;
    return icon;
}

QList<IconDirEntry> IconFile::entries() const
{
    const qint64 end = HeaderBytes + (m_type == 1 ? le<quint16>(m_bytes, 4) : 0) * EntryBytes;
    if (end > m_bytes.size())
        return {};
    QList<IconDirEntry> list;
    for (qint64 p = HeaderBytes; p < end; p += EntryBytes) {
        list.append({quint8(m_bytes[p]), quint8(m_bytes[p + 1]), le<quint16>(m_bytes, p + 2), le<quint32>(m_bytes, p + 8),
                     le<quint32>(m_bytes, p + 12)});
    }
    return list;
}

// The first entry is the choice to beat; a later one replaces it when its colour count is within
// the screen's limit and no less than the choice's, and both its sides fit (sideFits); ties go to
// the later entry. A count of 0 is unlimited in both tests: beyond every screen's limit, above
// every count on a true-colour screen. The first entry is never tested against the limit.
int IconFile::chooseEntry(const QList<IconDirEntry> &entries, QSize target, quint32 colourLimit)
{
    if (entries.isEmpty())
        return -1;
    int chosen = 0;
    for (int i = 1; i < int(entries.size()); ++i) {
        const IconDirEntry &e = entries.at(i);
        const IconDirEntry &c = entries.at(chosen);
        if (colours(e.colourCount) <= colours(colourLimit) && colours(e.colourCount) >= colours(c.colourCount)
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
    const QImage image = data.startsWith("\x89PNG\r\n\x1a\n") ? decodePng(data) : decodeBitmap(data);
    // The icon is drawn at its directory size; a picture of another size is stretched to it.
    const QSize drawn(e.width, e.height);
    return image.isNull() || image.size() == drawn ? image : stretched(image, drawn);
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
    return bitsPerPixel < 1 || bitsPerPixel > 8 ? 0 : quint32(1) << bitsPerPixel;
}
