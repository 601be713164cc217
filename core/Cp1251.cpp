#include "core/Cp1251.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <array>

namespace {

// Unicode characters of the bytes 0x80..0xFF, built once from Qt's converter; the reverse
// lookup below relies on it to tell storable characters from the rest.
struct Table
{
    std::array<char16_t, 128> high {};
    // (character, byte) for the upper half, sorted by character for the reverse lookup.
    std::array<std::pair<char16_t, uchar>, 128> reverse {};

    Table()
    {
        QStringDecoder decoder("windows-1251", QStringConverter::Flag::Stateless);
        for (int b = 0x80; b <= 0xFF; ++b) {
            const char byte = char(b);
            const QString s = decoder.decode(QByteArrayView(&byte, 1));
            // An unassigned byte keeps the C1 control character of the same number.
            const bool assigned = s.size() == 1 && s.at(0) != QChar::ReplacementCharacter;
            high[size_t(b - 0x80)] = assigned ? s.at(0).unicode() : char16_t(b);
            reverse[size_t(b - 0x80)] = {high[size_t(b - 0x80)], uchar(b)};
        }
        std::sort(reverse.begin(), reverse.end());
    }
};

const Table &table()
{
    static const Table t;
    return t;
}

} // namespace

namespace Cp1251 {

QString decode(const QByteArray &bytes)
{
    const Table &t = table();
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *dst = out.data();
    for (const char c : bytes) {
        const auto b = uchar(c);
        *dst++ = QChar(b < 0x80 ? char16_t(b) : t.high[b - 0x80]);
    }
    return out;
}

static int byteFor(char16_t ch)
{
    if (ch < 0x80)
        return ch;
    const auto &rev = table().reverse;
    const auto it = std::lower_bound(rev.begin(), rev.end(), std::pair<char16_t, uchar>(ch, 0));
    return it != rev.end() && it->first == ch ? int(it->second) : -1;
}

QByteArray encode(const QString &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (const QChar ch : text) {
        const int b = byteFor(ch.unicode());
        out.append(b < 0 ? '?' : char(b));
    }
    return out;
}

bool canEncode(const QString &text)
{
    for (const QChar ch : text) {
        if (byteFor(ch.unicode()) < 0)
            return false;
    }
    return true;
}

QString keepStorable(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u == u'\0' || u == u'\r' || u == u'\n' || byteFor(u) < 0)
            continue;
        out.append(ch);
    }
    return out;
}

} // namespace Cp1251
