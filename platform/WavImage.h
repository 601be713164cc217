// Reads a WAV image (a RIFF/WAVE file in memory) into samples the sound output can take.
//
// The sound layer checks every recording here before any of it reaches the audio system, so a
// malformed or truncated file is refused at once instead of leaving the output waiting for data
// that never comes. Pure and bounded: it only reads the bytes it is given.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace WavImage {

// The sample layouts the audio output accepts, numbered as Qt Multimedia numbers them; every
// other encoding is converted to one of them.
enum class SampleFormat { UInt8 = 1, Int16, Int32, Float };

struct Sound
{
    int sampleRate = 0;
    int channels = 0;
    SampleFormat format = SampleFormat::Int16;
    // Interleaved little-endian frames of the format above; never empty, whole frames only.
    QByteArray samples;

    int bytesPerFrame() const
    {
        return channels * (format == SampleFormat::UInt8 ? 1 : format == SampleFormat::Int16 ? 2 : 4);
    }
};

// The limits of what is played: the sample rates and channel counts a sound server takes.
inline constexpr int MinSampleRate = 1000;
inline constexpr int MaxSampleRate = 384000;
inline constexpr int MaxChannels = 8;

// Accepts uncompressed PCM of 8, 16, 24 or 32 bits, IEEE float of 32 or 64 bits, A-law and
// mu-law, also in the extensible format header. A data chunk cut short by the end of the
// bytes is played as far as it goes. Anything else gives no sound.
std::optional<Sound> decode(QByteArrayView bytes);

} // namespace WavImage
