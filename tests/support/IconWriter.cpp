#include "IconWriter.h"
#include "TestSupport.h"

#include <QBuffer>

namespace IconWriter {

namespace {

void put16(QByteArray &out, quint16 v)
{
    out += TestSupport::le16(v);
}

void put32(QByteArray &out, quint32 v)
{
    out += TestSupport::le32(v);
}

// Rows are padded to 4 bytes; bits fill each byte from its high end.
class RowWriter
{
public:
    explicit RowWriter(QByteArray &out) : m_out(out), m_start(out.size()) { }
    void bits(quint32 value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            m_byte = quint8((m_byte << 1) | ((value >> i) & 1));
            if (++m_used == 8)
                flush();
        }
    }
    void end()
    {
        if (m_used > 0) {
            m_byte = quint8(m_byte << (8 - m_used));
            flush();
        }
        while ((m_out.size() - m_start) % 4 != 0)
            m_out.append('\0');
    }

private:
    void flush()
    {
        m_out.append(char(m_byte));
        m_byte = 0;
        m_used = 0;
    }
    QByteArray &m_out;
    qsizetype m_start;
    quint8 m_byte = 0;
    int m_used = 0;
};

} // namespace

QByteArray bitmap(const QImage &sourceImage, const BitmapOptions &o)
{
    const QImage source = sourceImage.convertToFormat(QImage::Format_ARGB32);
    const int w = source.width();
    const int h = source.height();
    const int bits = o.bitsPerPixel;
    const int tableSize = bits <= 8 ? 1 << bits : 0;

    QByteArray out;
    put32(out, o.headerSize.value_or(40));
    put32(out, quint32(o.widthField.value_or(w)));
    put32(out, quint32(o.heightField.value_or(2 * h)));
    put16(out, 1);
    put16(out, o.bitCountField.value_or(quint16(bits)));
    put32(out, o.compression.value_or(0));
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, o.coloursUsed);
    put32(out, 0);

    for (int i = 0; i < tableSize; ++i) {
        const QRgb c = i < o.palette.size() ? o.palette.at(i) : qRgb(0, 0, 0);
        out.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c))).append(char(o.tableReserved));
    }

    for (int y = h - 1; y >= 0; --y) {
        RowWriter row(out);
        for (int x = 0; x < w; ++x) {
            const QRgb p = source.pixel(x, y);
            if (bits <= 8) {
                const qsizetype index = qAlpha(p) == 0 ? 0 : o.palette.indexOf(p | 0xff000000u);
                if (index < 0 || index >= tableSize)
                    qFatal("a colour of the test picture is not in its palette");
                row.bits(quint32(index), bits);
            } else if (bits == 16) {
                // 5-5-5 little-endian, the top bit left clear
                const quint32 v = quint32(qRed(p) >> 3) << 10 | quint32(qGreen(p) >> 3) << 5 | quint32(qBlue(p) >> 3);
                row.bits(v & 0xff, 8);
                row.bits(v >> 8, 8);
            } else {
                row.bits(qBlue(p), 8);
                row.bits(qGreen(p), 8);
                row.bits(qRed(p), 8);
                if (bits == 32)
                    row.bits(o.alpha ? qAlpha(p) : 0, 8);
            }
        }
        row.end();
    }

    if (o.mask != BitmapOptions::Mask::Absent) {
        for (int y = h - 1; y >= 0; --y) {
            RowWriter row(out);
            for (int x = 0; x < w; ++x) {
                const bool set = o.mask == BitmapOptions::Mask::AllSet
                    || (o.mask == BitmapOptions::Mask::FromAlpha && qAlpha(source.pixel(x, y)) == 0);
                row.bits(set ? 1 : 0, 1);
            }
            row.end();
        }
    }
    return out;
}

QByteArray png(const QImage &source)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    if (!source.convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG"))
        qFatal("cannot write a PNG test picture");
    return out;
}

Entry bitmapEntry(const QImage &source, const BitmapOptions &options)
{
    Entry e;
    e.width = quint8(source.width());
    e.height = quint8(source.height());
    e.colourCount = options.bitsPerPixel < 8 ? quint16(1 << options.bitsPerPixel) : 0;
    e.data = bitmap(source, options);
    return e;
}

Entry pngEntry(const QImage &source)
{
    Entry e;
    e.width = quint8(source.width());
    e.height = quint8(source.height());
    e.data = png(source);
    return e;
}

QByteArray iconFile(const QList<Entry> &entries, const FileOptions &options)
{
    QByteArray out;
    put16(out, options.reserved);
    put16(out, options.type);
    put16(out, options.count.value_or(quint16(entries.size())));
    quint32 offset = quint32(6 + 16 * entries.size());
    for (const Entry &e : entries) {
        out.append(char(e.width)).append(char(e.height));
        put16(out, e.colourCount);
        put16(out, 1);
        put16(out, 32);
        put32(out, e.dataSize.value_or(quint32(e.data.size())));
        put32(out, e.dataOffset.value_or(offset));
        offset += quint32(e.data.size());
    }
    for (const Entry &e : entries)
        out.append(e.data);
    return out;
}

QList<QRgb> testPalette(int n)
{
    QList<QRgb> colours;
    for (int i = 0; i < n; ++i)
        colours.append(qRgb((i * 71 + 13) % 256, (i * 151 + 101) % 256, (i * 37 + 200) % 256));
    return colours;
}

static bool isHole(int x, int y)
{
    return (x + 2 * y) % 7 == 3;
}

QImage palettePicture(QSize size, const QList<QRgb> &palette, bool holes)
{
    QImage image(size, QImage::Format_ARGB32);
    const int n = int(palette.size());
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const QRgb c = palette.at((x * 7 + y * 13 + (x ^ y)) % n);
            image.setPixel(x, y, holes && isHole(x, y) ? qRgba(0, 0, 0, 0) : c);
        }
    }
    return image;
}

QImage truecolourPicture(QSize size, Alpha alpha)
{
    QImage image(size, QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int r = (x * 37 + y * 11) & 0xff;
            const int g = (x * 5 + y * 29 + 17) & 0xff;
            const int b = (x * y + 3 * x + 90) & 0xff;
            QRgb p = qRgb(r, g, b);
            if (alpha == Alpha::Holes && isHole(x, y))
                p = qRgba(0, 0, 0, 0);
            else if (alpha == Alpha::Graded)
                p = qRgba(r, g, b, (x * 19 + y * 83) & 0xff);
            image.setPixel(x, y, p);
        }
    }
    return image;
}

QImage enlarged(const QImage &source, int factor)
{
    QImage image(source.size() * factor, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, source.pixel(x / factor, y / factor));
    }
    return image;
}

} // namespace IconWriter
