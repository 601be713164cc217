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

    // Plays the samples, or a compressed file (a desktop theme sound) once decoded: in the
    // background, or with `wait` until it has played, taking no user input meanwhile. False when
    // there is no device or it refuses the sound.
    virtual bool start(WavImage::Sound sound, bool loop, bool wait) = 0;
    virtual bool playCompressed(const QString &file, bool loop, bool wait) = 0;
    // Stops whatever plays or is being decoded.
    virtual void stop() = 0;
    // True while a sound plays or is being decoded.
    virtual bool isPlaying() const = 0;
};

// The library's one entry point: a backend owned by `owner` (deleted with it).
extern "C" {
using VedalkaCreateSoundBackend = SoundBackend *(*)(QObject *owner);
}
#define VEDALKA_SOUND_BACKEND_ENTRY "vedalka_create_sound_backend"
