#include "platform/SoundOutput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QEventLoop>
#include <QIODevice>
#include <QMediaDevices>
#include <QTimer>

#include <cstring>
#include <limits>

namespace {

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

QAudioFormat::SampleFormat toQt(WavImage::SampleFormat f)
{
    switch (f) {
    case WavImage::SampleFormat::UInt8:
        return QAudioFormat::UInt8;
    case WavImage::SampleFormat::Int16:
        return QAudioFormat::Int16;
    case WavImage::SampleFormat::Int32:
        return QAudioFormat::Int32;
    case WavImage::SampleFormat::Float:
        return QAudioFormat::Float;
    }
    return QAudioFormat::Unknown;
}

} // namespace

SoundOutput::SoundOutput(QObject *parent)
    : QObject(parent)
    , m_tail(new QTimer(this))
{
    m_tail->setSingleShot(true);
    connect(m_tail, &QTimer::timeout, this, [this] {
        release();
        emit done();
    });
}

SoundOutput::~SoundOutput()
{
    release();
}

bool SoundOutput::start(WavImage::Sound sound, bool loop)
{
    stop();
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return false;
    QAudioFormat format;
    format.setSampleRate(sound.sampleRate);
    format.setChannelCount(sound.channels);
    format.setSampleFormat(toQt(sound.format));
    if (!device.isFormatSupported(format))
        return false;

    const qint64 frames = sound.samples.size() / sound.bytesPerFrame();
    m_durationMs = frames * 1000 / sound.sampleRate;
    m_source = std::make_unique<PcmSource>(std::move(sound.samples), loop);
    m_sink = std::make_unique<QAudioSink>(device, format);
    connect(m_sink.get(), &QAudioSink::stateChanged, this, &SoundOutput::onStateChanged);
    m_sink->start(m_source.get());
    if (m_sink->error() != QAudio::NoError || m_sink->state() == QAudio::StoppedState) {
        release();
        return false;
    }
    return true;
}

void SoundOutput::stop()
{
    const bool was = isPlaying();
    release();
    if (was)
        emit done();
}

bool SoundOutput::isPlaying() const
{
    return m_sink != nullptr;
}

void SoundOutput::waitUntilDone()
{
    if (!isPlaying())
        return;
    QEventLoop loop;
    connect(this, &SoundOutput::done, &loop, &QEventLoop::quit);
    QTimer::singleShot(m_durationMs + 2000, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void SoundOutput::release()
{
    m_tail->stop();
    if (m_sink) {
        m_sink->disconnect(this);
        m_sink->stop();
    }
    m_sink.reset();
    m_source.reset();
}

void SoundOutput::onStateChanged()
{
    if (!m_sink)
        return;
    switch (m_sink->state()) {
    case QAudio::ActiveState:
        m_tail->stop();
        break;
    case QAudio::IdleState:
        if (m_source && m_source->atEnd()) {
            // The server still holds up to one buffer of the sound: let it play out.
            m_tail->start(int(m_sink->format().durationForBytes(int(m_sink->bufferSize())) / 1000) + 50);
        }
        break;
    case QAudio::StoppedState:
    case QAudio::SuspendedState:
        // A lost device or server; the sink is released outside its own signal.
        m_tail->start(0);
        break;
    }
}
