// The part of the system sound player that talks to the audio system. It lives in a library of
// its own, libvedalka-sound.so, loaded at the first sound: the program starts faster and
// smaller without Qt Multimedia and the sound server's client, and a session without a single
// laugh never loads them. Everything that decides what to play stays in SystemSound.
#pragma once

#include "platform/WavImage.h"

#include <QString>

class QObject;

class SoundBackend
{
public:
    virtual ~SoundBackend() = default;

    // Starts playing in the background; false when there is no device or it refuses the sound.
    virtual bool start(WavImage::Sound sound, bool loop) = 0;
    // Decodes a compressed file (a desktop theme sound) and plays it; with `wait`, returns when
    // it has played. False when it cannot start.
    virtual bool playCompressed(const QString &file, bool loop, bool wait) = 0;
    // Stops whatever plays or is being decoded.
    virtual void stop() = 0;
    // True while a sound plays or is being decoded.
    virtual bool isPlaying() const = 0;
    // Waits, without taking user input, until the sound has played.
    virtual void waitUntilDone() = 0;
};

// The library's one entry point: a backend owned by `owner` (deleted with it).
extern "C" {
using VedalkaCreateSoundBackend = SoundBackend *(*)(QObject *owner);
}
#define VEDALKA_SOUND_BACKEND_ENTRY "vedalka_create_sound_backend"
