#include "platform/WavImage.h"

#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace WavImage {

namespace {

// The format tags of the encodings read.
enum Tag : quint16 { Pcm = 1, IeeeFloat = 3, ALaw = 6, MuLaw = 7, Extensible = 0xFFFE };

struct Format
{
    quint16 tag = Pcm;
    int channels = 0;
    int sampleRate = 0;
    int bits = 0;
    int blockAlign = 0;
};

quint16 u16(const char *p)
{
    return qFromLittleEndian<quint16>(p);
}

quint32 u32(const char *p)
{
    return qFromLittleEndian<quint32>(p);
}

// The tail shared by every sub-format identifier of the extensible header.
constexpr char GuidTail[] = "\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71";

std::optional<Format> readFormat(QByteArrayView chunk)
{
    if (chunk.size() < 16)
        return std::nullopt;
    const char *p = chunk.data();
    Format f;
    f.tag = u16(p);
    f.channels = u16(p + 2);
    const quint32 rate = u32(p + 4);
    f.blockAlign = u16(p + 12);
    f.bits = u16(p + 14);
    if (f.tag == Extensible) {
        if (chunk.size() < 40 || u16(p + 16) < 22)
            return std::nullopt;
        const int validBits = u16(p + 18);
        if (validBits > f.bits || QByteArrayView(p + 26, 14) != QByteArrayView(GuidTail, 14))
            return std::nullopt;
        f.tag = u16(p + 24);
    }
    const bool known = (f.tag == Pcm && (f.bits == 8 || f.bits == 16 || f.bits == 24 || f.bits == 32))
                       || (f.tag == IeeeFloat && (f.bits == 32 || f.bits == 64))
                       || ((f.tag == ALaw || f.tag == MuLaw) && f.bits == 8);
    if (!known)
        return std::nullopt;
    if (f.channels < 1 || f.channels > MaxChannels || rate < quint32(MinSampleRate) || rate > quint32(MaxSampleRate))
        return std::nullopt;
    f.sampleRate = int(rate);
    if (f.blockAlign != f.channels * f.bits / 8)
        return std::nullopt;
    return f;
}

// G.711 expansions to 16-bit linear samples.
qint16 fromMuLaw(quint8 u)
{
    u = quint8(~u);
    int t = ((u & 0x0F) << 3) + 0x84;
    t <<= (u & 0x70) >> 4;
    return qint16((u & 0x80) ? 0x84 - t : t - 0x84);
}

qint16 fromALaw(quint8 a)
{
    a ^= 0x55;
    int t = (a & 0x0F) << 4;
    const int segment = (a & 0x70) >> 4;
    if (segment == 0) {
        t += 8;
    } else {
        t += 0x108;
        t <<= segment - 1;
    }
    return qint16((a & 0x80) ? t : -t);
}

// NaN and values past full scale would reach the mixer as noise.
float cleanFloat(double v)
{
    if (!std::isfinite(v))
        return 0.0f;
    return float(std::clamp(v, -1.0, 1.0));
}

// Each sample of `inSize` bytes through `fn`, into the type `fn` returns.
template<class Convert>
QByteArray convert(QByteArrayView data, int inSize, Convert fn)
{
    using Out = decltype(fn(data.data()));
    const qsizetype n = data.size() / inSize;
    QByteArray out(n * qsizetype(sizeof(Out)), Qt::Uninitialized);
    const char *in = data.data();
    char *o = out.data();
    for (qsizetype i = 0; i < n; ++i) {
        const Out v = fn(in + i * inSize);
        std::memcpy(o + i * qsizetype(sizeof(Out)), &v, sizeof(Out));
    }
    return out;
}

Sound makeSound(const Format &f, QByteArrayView data)
{
    const auto sound = [&f](SampleFormat format, QByteArray samples) {
        return Sound{f.sampleRate, f.channels, format, std::move(samples)};
    };
    if (f.tag == ALaw)
        return sound(SampleFormat::Int16, convert(data, 1, [](const char *p) { return fromALaw(quint8(*p)); }));
    if (f.tag == MuLaw)
        return sound(SampleFormat::Int16, convert(data, 1, [](const char *p) { return fromMuLaw(quint8(*p)); }));
    if (f.tag == IeeeFloat && f.bits == 32)
        return sound(SampleFormat::Float, convert(data, 4, [](const char *p) {
                         return cleanFloat(double(std::bit_cast<float>(qFromLittleEndian<quint32>(p))));
                     }));
    if (f.tag == IeeeFloat)
        return sound(SampleFormat::Float, convert(data, 8, [](const char *p) {
                         return cleanFloat(std::bit_cast<double>(qFromLittleEndian<quint64>(p)));
                     }));
    if (f.bits == 8)
        return sound(SampleFormat::UInt8, data.toByteArray());
    if (f.bits == 16)
        return sound(SampleFormat::Int16, convert(data, 2, [](const char *p) { return qFromLittleEndian<qint16>(p); }));
    if (f.bits == 24) // widened to 32 bits: the outputs take no packed 24-bit samples
        return sound(SampleFormat::Int32, convert(data, 3, [](const char *p) {
                         return qint32(quint32(qFromLittleEndian<quint16>(p)) << 8 | quint32(quint8(p[2])) << 24);
                     }));
    return sound(SampleFormat::Int32, convert(data, 4, [](const char *p) { return qFromLittleEndian<qint32>(p); }));
}

} // namespace

std::optional<Sound> decode(QByteArrayView bytes)
{
    if (bytes.size() < 12 || bytes.first(4) != QByteArrayView("RIFF") || bytes.sliced(8, 4) != QByteArrayView("WAVE"))
        return std::nullopt;

    // The RIFF size is not trusted: writers that stream often leave it 0 or wrong. The chunks
    // are walked to the end of the bytes instead.
    const qint64 end = bytes.size();
    qint64 pos = 12;
    std::optional<Format> format;
    std::optional<QByteArrayView> data;
    while (pos + 8 <= end && !(format && data)) {
        const QByteArrayView id = bytes.sliced(pos, 4);
        const qint64 size = u32(bytes.data() + pos + 4);
        const qint64 body = pos + 8;
        const qint64 available = std::min(size, end - body);
        if (id == QByteArrayView("fmt ") && !format) {
            if (available < size)
                return std::nullopt;
            format = readFormat(bytes.sliced(body, available));
            if (!format)
                return std::nullopt;
        } else if (id == QByteArrayView("data") && !data) {
            data = bytes.sliced(body, available);
        }
        pos = body + size + (size & 1);
    }
    if (!format || !data)
        return std::nullopt;

    const qsizetype whole = data->size() - data->size() % format->blockAlign;
    if (whole == 0)
        return std::nullopt;
    return makeSound(*format, data->first(whole));
}

} // namespace WavImage
