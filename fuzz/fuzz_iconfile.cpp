// The cartoon icons are whatever files the user put in the picture folder. The load test must
// accept or refuse any bytes with the program's error texts; the directory, the choice of an
// entry and the decoding (bitmaps at every depth, PNG entries through Qt) must never read
// outside the file, and a picture that comes out has the chosen entry's size and format.
#include "FuzzCheck.h"

#include "core/Failure.h"
#include "core/IconFile.h"

#include <QtEndian>

using namespace Qt::StringLiterals;

namespace {

// Display sizes and colour limits the program meets: the usual 32 x 32 on a true-colour
// screen, small and large icon sizes, and screens of 1, 4 and 8 bits.
struct Display
{
    QSize target;
    quint32 colourLimit;
};
constexpr Display Displays[] = {
    {{32, 32}, 0},
    {{16, 16}, 16},
    {{48, 48}, 256},
    {{32, 32}, 2},
};

} // namespace

// QImage reads PNG data without an application object, so none is made.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzCheck::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    IconFile icon;
    try {
        icon = IconFile::fromBytes(bytes);
    } catch (const Failure &f) {
        if (size < 6)
            FUZZ_CHECK(f.text() == u"Stream read error"_s);
        else
            FUZZ_CHECK(f.text() == u"Icon image is not valid"_s);
        return 0;
    }
    FUZZ_CHECK(size >= 6);
    const quint16 type = qFromLittleEndian<quint16>(data + 2);
    FUZZ_CHECK((type == 0 || type == 1) && icon.type() == type && icon.bytes() == bytes);

    const QList<IconDirEntry> entries = icon.entries();
    const qint64 count = qFromLittleEndian<quint16>(data + 4);
    if (type == 1 && 6 + 16 * count <= qint64(size))
        FUZZ_CHECK(entries.size() == count);
    else
        FUZZ_CHECK(entries.isEmpty());
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const uint8_t *e = data + 6 + 16 * i;
        FUZZ_CHECK(entries[i].width == e[0] && entries[i].height == e[1]);
        FUZZ_CHECK(entries[i].dataSize == qFromLittleEndian<quint32>(e + 8));
        FUZZ_CHECK(entries[i].dataOffset == qFromLittleEndian<quint32>(e + 12));
    }

    for (const Display &d : Displays) {
        const int chosen = IconFile::chooseEntry(entries, d.target, d.colourLimit);
        FUZZ_CHECK(entries.isEmpty() ? chosen == -1 : chosen >= 0 && chosen < entries.size());
        if (chosen > 0) {
            // A later entry wins only within the screen's colours and with no fewer colours than
            // the first; 0 counts as unlimited on both sides.
            const auto colours = [](quint32 n) { return n == 0 ? ~quint64(0) : quint64(n); };
            FUZZ_CHECK(colours(entries[chosen].colourCount) <= colours(d.colourLimit));
            FUZZ_CHECK(colours(entries[chosen].colourCount) >= colours(entries[0].colourCount));
            // The entries after the choice did not change it, so without them it is the same.
            FUZZ_CHECK(IconFile::chooseEntry(entries.first(chosen + 1), d.target, d.colourLimit) == chosen);
        }
        const QImage image = icon.decode(d.target, d.colourLimit);
        if (image.isNull())
            continue;
        // Only a type 1 file with an entry of a real size draws anything.
        FUZZ_CHECK(type == 1 && chosen >= 0);
        const IconDirEntry &e = entries.at(chosen);
        FUZZ_CHECK(image.size() == QSize(e.width, e.height));
        FUZZ_CHECK(image.format() == QImage::Format_ARGB32);
        FUZZ_CHECK(qint64(e.dataOffset) + e.dataSize <= qint64(size));
    }
    return 0;
}
