// The WAV player's stored bytes come from a "FileData" block: a 32-bit little-endian count,
// then the bytes. A block from a damaged description may hold any count; reading it must take
// exactly the counted bytes, or fail with "Stream read error" and keep the bytes held before,
// and never ask for memory the block does not back.
#include "FuzzCheck.h"

#include "components/SoundComponents.h"
#include "core/Failure.h"

#include <QtEndian>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzCheck::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray block(reinterpret_cast<const char *>(data), qsizetype(size));
    const QByteArray before = "held before";
    TCustomFileStorage storage;
    char head[4];
    qToLittleEndian<quint32>(quint32(before.size()), head);
    storage.setFileData(QByteArray(head, 4) + before);
    FUZZ_CHECK(storage.data() == before);

    const bool whole = size >= 4 && qFromLittleEndian<quint32>(data) <= size - 4;
    try {
        storage.setFileData(block);
    } catch (const Failure &f) {
        FUZZ_CHECK(!whole && f.text() == u"Stream read error"_s);
        FUZZ_CHECK(storage.data() == before);
        return 0;
    }
    FUZZ_CHECK(whole);
    const quint32 count = qFromLittleEndian<quint32>(data);
    FUZZ_CHECK(storage.data() == block.sliced(4, count) && storage.dataSize() == count);
    FUZZ_CHECK(storage.fileData() == block.first(4 + qsizetype(count)));
    return 0;
}
