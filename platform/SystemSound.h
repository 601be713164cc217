// The system sound player: one call takes a request (a sound name or a WAV image, a module and
// a flag word) and plays it the way the flags ask, in the background unless told to wait.
//
// Every failure is silence: a missing, unreadable or malformed sound, no sound device and no
// sound server all end the call at once without a message. Tests put a Player of their own in
// place of the real output to record the requests instead of making sound.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace SystemSound {

// The flags of a request, with the values the platform's sound player gives them.
enum Flag : quint32
{
    SND_SYNC = 0x0000, // wait until the sound has played
    SND_ASYNC = 0x0001, // return at once and play in the background
    SND_NODEFAULT = 0x0002, // silence instead of the default sound when the sound cannot play
    SND_MEMORY = 0x0004, // the request carries the WAV image itself
    SND_LOOP = 0x0008, // repeat until stopped
    SND_NOSTOP = 0x0010, // give up rather than interrupt a sound that is playing
    SND_NOWAIT = 0x2000, // give up rather than wait for a busy device
    SND_ALIAS = 0x10000, // the name is a desktop event sound
    SND_FILENAME = 0x20000, // the name is a WAV file
    SND_RESOURCE = 0x40004, // the name is a WAV resource of the module
};

struct SoundRequest
{
    QString name; // file name, resource name or event alias
    QByteArray data; // the WAV image of a SND_MEMORY request
    QString module; // whose resources a SND_RESOURCE request names
    quint32 flags = 0;

    bool operator==(const SoundRequest &) const = default;

    // A request that names no sound (no name, or a SND_MEMORY request without bytes) only
    // stops whatever plays.
    bool isStop() const;
};

// The module that stands for the program itself; its resources are the program's Qt
// resources under ":/WAVE/".
QString programModule();

// A recording is read whole into memory; a file larger than this is no laughter clip and is
// refused rather than allowed to eat the memory.
inline constexpr qint64 MaxSoundBytes = 256 * 1024 * 1024;

// The WAV image a request names: the file's bytes (SND_FILENAME, or a request of no kind), the
// program resource's bytes (SND_RESOURCE) or the request's own bytes (SND_MEMORY). Empty when
// there is none to be had: a missing or unreadable file, a folder, a pipe or a device in its
// place, a file too large to be a recording, a resource of another module.
QByteArray soundImage(const SoundRequest &request);

// The desktop event sound an alias names: ".Default" and the other event names are mapped to
// the freedesktop sound theme; other names are looked up in the theme as they are. Empty when
// no theme file is found.
QString eventSoundFile(const QString &alias);

class Player
{
public:
    virtual ~Player() = default;
    // True when the sound was found and handed to the output (for a theme sound played in the
    // background: found and being decoded for it). The program never asks.
    virtual bool play(const SoundRequest &request) = 0;
};

// nullptr restores the real output.
void setPlayer(Player *player);

// Hands the request to the current player.
bool play(const SoundRequest &request);

// An empty request: whatever plays stops.
void stop();

// True while the real output plays a sound or is preparing one; for tests and the sound check.
bool isPlaying();

// True when the audio output, the library libvedalka-sound.so beside the program, can be
// loaded (it is loaded now if it was not yet). Without it every sound is silence.
bool hasOutput();

} // namespace SystemSound
