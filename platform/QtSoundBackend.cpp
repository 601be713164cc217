// The audio side of the system sound player, through Qt Multimedia: one sound at a time on the
// default device, and the decoder for the desktop's compressed theme sounds. Built as the
// library libvedalka-sound.so that the program loads at its first sound.
#include "platform/SoundBackend.h"
#include "platform/SoundOutput.h"
#include "platform/SystemSound.h"

#include <QAudioBuffer>
#include <QAudioDecoder>
#include <QEventLoop>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <optional>

namespace {

std::optional<WavImage::SampleFormat> fromQt(QAudioFormat::SampleFormat f)
{
    switch (f) {
    case QAudioFormat::UInt8:
        return WavImage::SampleFormat::UInt8;
    case QAudioFormat::Int16:
        return WavImage::SampleFormat::Int16;
    case QAudioFormat::Int32:
        return WavImage::SampleFormat::Int32;
    case QAudioFormat::Float:
        return WavImage::SampleFormat::Float;
    default:
        return std::nullopt;
    }
}

class QtSoundBackend : public QObject, public SoundBackend
{
    Q_OBJECT

public:
    explicit QtSoundBackend(QObject *owner)
        : QObject(owner)
        , m_output(new SoundOutput(this))
    {
    }

    bool start(WavImage::Sound sound, bool loop) override { return m_output->start(std::move(sound), loop); }

    void stop() override
    {
        dropDecoder();
        m_output->stop();
        emit interrupted();
    }

    bool isPlaying() const override { return m_output->isPlaying() || m_decoder; }

    void waitUntilDone() override { m_output->waitUntilDone(); }

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
            const auto sampleFormat = fromQt(format->sampleFormat());
            WavImage::Sound sound;
            sound.sampleRate = format->sampleRate();
            sound.channels = format->channelCount();
            if (!sampleFormat || sound.sampleRate < WavImage::MinSampleRate || sound.sampleRate > WavImage::MaxSampleRate
                || sound.channels < 1 || sound.channels > WavImage::MaxChannels)
                return;
            sound.format = *sampleFormat;
            sound.samples = std::move(*samples);
            sound.samples.truncate(sound.samples.size() - sound.samples.size() % sound.bytesPerFrame());
            if (!sound.samples.isEmpty())
                m_output->start(std::move(sound), loop);
        });
        connect(decoder, qOverload<QAudioDecoder::Error>(&QAudioDecoder::error), this, [this] { dropDecoder(); });
        decoder->setSource(QUrl::fromLocalFile(file));
        decoder->start();

        if (wait) {
            QEventLoop waiting;
            connect(decoder, &QAudioDecoder::finished, &waiting, &QEventLoop::quit);
            connect(decoder, &QObject::destroyed, &waiting, &QEventLoop::quit);
            connect(this, &QtSoundBackend::interrupted, &waiting, &QEventLoop::quit);
            QTimer::singleShot(5000, &waiting, &QEventLoop::quit);
            if (m_decoder.get() == decoder)
                waiting.exec(QEventLoop::ExcludeUserInputEvents);
            if (!m_output->isPlaying())
                return false;
            m_output->waitUntilDone();
        }
        return true;
    }

signals:
    void interrupted();

private:
    void dropDecoder()
    {
        if (!m_decoder)
            return;
        m_decoder->disconnect(this);
        m_decoder->stop();
        // It may be the one that is emitting: let it go once that is over.
        m_decoder.release()->deleteLater();
    }

    SoundOutput *m_output;
    std::unique_ptr<QAudioDecoder> m_decoder;
};

} // namespace

extern "C" __attribute__((visibility("default"))) SoundBackend *vedalka_create_sound_backend(QObject *owner)
{
    return new QtSoundBackend(owner);
}

#include "QtSoundBackend.moc"
