// The audio side of the system sound player, through Qt Multimedia: one sound at a time on the
// default device, and the decoder for the desktop's compressed theme sounds. Built as the
// library libvedalka-sound.so that the program loads at its first sound.
//
// Every sound gets a fresh audio stream in its own sample format: reusing one stream for a
// sound of another format plays a burst of garbled audio at the switch. Stopping closes the
// stream at once, dropping what the sound server still holds of it, so the next sound cuts
// the previous one off cleanly.
#include "platform/SoundBackend.h"
#include "platform/SystemSound.h"

#include <QAudioBuffer>
#include <QAudioDecoder>
#include <QAudioDevice>
#include <QAudioSink>
#include <QEventLoop>
#include <QMediaDevices>
#include <QTimer>
#include <QUrl>

#include <cstring>
#include <limits>
#include <memory>

namespace {

static_assert(int(WavImage::SampleFormat::UInt8) == QAudioFormat::UInt8
              && int(WavImage::SampleFormat::Int16) == QAudioFormat::Int16
              && int(WavImage::SampleFormat::Int32) == QAudioFormat::Int32
              && int(WavImage::SampleFormat::Float) == QAudioFormat::Float);

// Hands out the samples of one sound, from the start again when it loops.
class PcmSource : public QIODevice
{
public:
    PcmSource(QByteArray samples, bool loop)
        : m_samples(std::move(samples))
        , m_loop(loop)
    {
        open(QIODevice::ReadOnly);
    }

    bool isSequential() const override { return true; }

    qint64 bytesAvailable() const override
    {
        if (m_loop)
            return std::numeric_limits<int>::max();
        return m_samples.size() - m_pos + QIODevice::bytesAvailable();
    }

    bool atEnd() const override { return !m_loop && m_pos >= m_samples.size(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        qint64 done = 0;
        while (done < maxSize) {
            if (m_pos >= m_samples.size()) {
                if (!m_loop)
                    break;
                m_pos = 0;
            }
            const qint64 n = std::min(maxSize - done, qint64(m_samples.size()) - m_pos);
            std::memcpy(data + done, m_samples.constData() + m_pos, size_t(n));
            m_pos += n;
            done += n;
        }
        return done;
    }

    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_samples;
    bool m_loop;
    qint64 m_pos = 0;
};

class QtSoundBackend : public QObject, public SoundBackend
{
    Q_OBJECT

public:
    explicit QtSoundBackend(QObject *owner)
        : QObject(owner)
    {
        m_tail.setSingleShot(true);
        connect(&m_tail, &QTimer::timeout, this, [this] {
            release();
            emit done();
        });
    }

    ~QtSoundBackend() override { release(); }

    bool start(WavImage::Sound sound, bool loop, bool wait) override
    {
        release();
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        QAudioFormat format;
        format.setSampleRate(sound.sampleRate);
        format.setChannelCount(sound.channels);
        format.setSampleFormat(QAudioFormat::SampleFormat(sound.format));
        if (device.isNull() || !device.isFormatSupported(format))
            return false;

        m_durationMs = sound.samples.size() / sound.bytesPerFrame() * 1000 / sound.sampleRate;
        m_source = std::make_unique<PcmSource>(std::move(sound.samples), loop);
        m_sink = std::make_unique<QAudioSink>(device, format);
        connect(m_sink.get(), &QAudioSink::stateChanged, this, &QtSoundBackend::onStateChanged);
        m_sink->start(m_source.get());
        if (m_sink->error() != QAudio::NoError || m_sink->state() == QAudio::StoppedState) {
            release();
            return false;
        }
        if (wait)
            waitUntilDone();
        return true;
    }

    void stop() override
    {
        dropDecoder();
        release();
        emit done();
    }

    bool isPlaying() const override { return m_sink || m_decoder; }

    // A little longer than the sound should take, so that a stalled device never holds the program.
    void waitUntilDone()
    {
        if (!m_sink)
            return;
        QEventLoop loop;
        connect(this, &QtSoundBackend::done, &loop, &QEventLoop::quit);
        QTimer::singleShot(m_durationMs + 2000, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }

    bool playCompressed(const QString &file, bool loop, bool wait) override
    {
        m_decoder = std::make_unique<QAudioDecoder>();
        if (!m_decoder->isSupported()) {
            dropDecoder();
            return false;
        }
        QAudioDecoder *decoder = m_decoder.get();
        auto samples = std::make_shared<QByteArray>();
        auto format = std::make_shared<QAudioFormat>();
        connect(decoder, &QAudioDecoder::bufferReady, this, [this, decoder, samples, format] {
            while (m_decoder.get() == decoder && decoder->bufferAvailable()) {
                const QAudioBuffer buffer = decoder->read();
                if (!buffer.isValid())
                    continue;
                if (samples->isEmpty())
                    *format = buffer.format();
                if (buffer.format() != *format
                    || samples->size() + buffer.byteCount() > SystemSound::MaxSoundBytes) {
                    dropDecoder();
                    return;
                }
                samples->append(buffer.constData<char>(), buffer.byteCount());
            }
        });
        connect(decoder, &QAudioDecoder::finished, this, [this, samples, format, loop] {
            dropDecoder();
            WavImage::Sound sound{format->sampleRate(), format->channelCount(),
                                  WavImage::SampleFormat(format->sampleFormat()), std::move(*samples)};
            if (format->sampleFormat() == QAudioFormat::Unknown || sound.sampleRate < WavImage::MinSampleRate
                || sound.sampleRate > WavImage::MaxSampleRate || sound.channels < 1
                || sound.channels > WavImage::MaxChannels)
                return;
            sound.samples.truncate(sound.samples.size() - sound.samples.size() % sound.bytesPerFrame());
            if (!sound.samples.isEmpty())
                start(std::move(sound), loop, false);
        });
        connect(decoder, qOverload<QAudioDecoder::Error>(&QAudioDecoder::error), this, [this] { dropDecoder(); });
        decoder->setSource(QUrl::fromLocalFile(file));
        decoder->start();

        if (wait) {
            QEventLoop waiting;
            connect(decoder, &QAudioDecoder::finished, &waiting, &QEventLoop::quit);
            connect(decoder, &QObject::destroyed, &waiting, &QEventLoop::quit);
            connect(this, &QtSoundBackend::done, &waiting, &QEventLoop::quit);
            QTimer::singleShot(5000, &waiting, &QEventLoop::quit);
            if (m_decoder.get() == decoder)
                waiting.exec(QEventLoop::ExcludeUserInputEvents);
            if (!m_sink)
                return false;
            waitUntilDone();
        }
        return true;
    }

signals:
    // The sound played out, or was stopped.
    void done();

private:
    void release()
    {
        m_tail.stop();
        if (m_sink) {
            m_sink->disconnect(this);
            m_sink->stop();
        }
        m_sink.reset();
        m_source.reset();
    }

    void dropDecoder()
    {
        if (!m_decoder)
            return;
        m_decoder->disconnect(this);
        m_decoder->stop();
        // It may be the one that is emitting: let it go once that is over.
        m_decoder.release()->deleteLater();
    }

    void onStateChanged(QAudio::State state)
    {
        if (state == QAudio::ActiveState) {
            m_tail.stop();
        } else if (state == QAudio::IdleState && m_source->atEnd()) {
            // The server still holds up to one buffer of the sound: let it play out.
            m_tail.start(int(m_sink->format().durationForBytes(int(m_sink->bufferSize())) / 1000) + 50);
        } else if (state != QAudio::IdleState) {
            // A lost device or server; the sink is released outside its own signal.
            m_tail.start(0);
        }
    }

    std::unique_ptr<QAudioSink> m_sink;
    std::unique_ptr<QIODevice> m_source;
    QTimer m_tail;
    qint64 m_durationMs = 0;
    std::unique_ptr<QAudioDecoder> m_decoder;
};

} // namespace

extern "C" __attribute__((visibility("default"))) SoundBackend *vedalka_create_sound_backend(QObject *owner)
{
    return new QtSoundBackend(owner);
}

#include "QtSoundBackend.moc"
