// One sound at a time on the default audio device, through Qt Multimedia.
//
// Every sound gets a fresh audio stream in its own sample format: reusing one stream for a
// sound of another format plays a burst of garbled audio at the switch. Stopping closes the
// stream at once, dropping what the sound server still holds of it, so the next sound cuts
// the previous one off cleanly.
#pragma once

#include "platform/WavImage.h"

#include <QObject>

#include <memory>

class QAudioSink;
class QIODevice;
class QTimer;

class SoundOutput : public QObject
{
    Q_OBJECT

public:
    explicit SoundOutput(QObject *parent = nullptr);
    ~SoundOutput() override;

    // Starts playing in the background; false when there is no device or it refuses the sound.
    bool start(WavImage::Sound sound, bool loop);
    void stop();
    // True from a successful start until the sound has played out or is stopped.
    bool isPlaying() const;

    // Waits without taking user input until the sound has played out, or a little longer than
    // it should take, so that a stalled device never holds the program.
    void waitUntilDone();

signals:
    void done();

private:
    void release();
    void onStateChanged();

    std::unique_ptr<QAudioSink> m_sink;
    std::unique_ptr<QIODevice> m_source;
    QTimer *m_tail = nullptr;
    qint64 m_durationMs = 0;
};
