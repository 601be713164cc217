// The laughter recordings are whatever files the user put in the sound folder, and the program
// reads them itself before any byte reaches the audio system. Whatever the bytes, the reader
// must stay inside them and either refuse them or give a sound within the limits it promises:
// a rate and channel count the output takes, whole frames, no more frames than the bytes can
// hold, and floats that are finite and within full scale. A sound that comes out, written back
// as a plain WAV file of its own format, must read back unchanged.
#include "FuzzCheck.h"

#include "platform/WavImage.h"
#include "support/TestSupport.h"

#include <cmath>
#include <cstring>

using namespace WavImage;

namespace {

// The smallest file that holds a sound: the RIFF header (12 bytes), a "fmt " chunk (8 + 16)
// and the header of a "data" chunk (8).
constexpr qsizetype SmallestFile = 12 + 8 + 16 + 8;

int bitsOf(SampleFormat format)
{
    switch (format) {
    case SampleFormat::UInt8:
        return 8;
    case SampleFormat::Int16:
        return 16;
    case SampleFormat::Int32:
    case SampleFormat::Float:
        return 32;
    }
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzCheck::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    const std::optional<Sound> sound = decode(bytes);
    if (!sound)
        return 0;

    FUZZ_CHECK(sound->sampleRate >= MinSampleRate && sound->sampleRate <= MaxSampleRate);
    FUZZ_CHECK(sound->channels >= 1 && sound->channels <= MaxChannels);
    const int frameBytes = sound->bytesPerFrame();
    FUZZ_CHECK(frameBytes == sound->channels * bitsOf(sound->format) / 8);
    FUZZ_CHECK(!sound->samples.isEmpty() && sound->samples.size() % frameBytes == 0);
    // Every sample took at least one byte of the file.
    const qsizetype frames = sound->samples.size() / frameBytes;
    FUZZ_CHECK(size >= size_t(SmallestFile) && frames * sound->channels <= qsizetype(size) - SmallestFile);
    if (sound->format == SampleFormat::Float) {
        for (qsizetype i = 0; i < sound->samples.size(); i += 4) {
            float v;
            std::memcpy(&v, sound->samples.constData() + i, 4);
            FUZZ_CHECK(std::isfinite(v) && v >= -1.0f && v <= 1.0f);
        }
    }

    const QByteArray plain = TestSupport::makeWav(sound->sampleRate, sound->channels, bitsOf(sound->format),
                                                  sound->samples, sound->format == SampleFormat::Float ? 3 : 1);
    const std::optional<Sound> again = decode(plain);
    FUZZ_CHECK(again && again->sampleRate == sound->sampleRate && again->channels == sound->channels);
    FUZZ_CHECK(again->format == sound->format && again->samples == sound->samples);
    return 0;
}
