#include "components/SoundComponents.h"

#include "core/Failure.h"
#include "core/Files.h"
#include "core/SafeWriter.h"

#include <QBuffer>
#include <QFile>
#include <QScopeGuard>
#include <QtEndian>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace SystemSound;

void TCustomFileStorage::loadFromFile(const QString &name)
{
    if (!Files::exists(name)) {
        clearData();
        return;
    }
    // The count in front of the bytes is 32 bits wide.
    constexpr qint64 MostBytes = 0xFFFFFFFF;
    try {
        // Only a regular file has an end: a device or a pipe of that name could be read forever.
        struct stat st;
        if (::stat(QFile::encodeName(name).constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > MostBytes)
            Files::failRead();
        QByteArray bytes = Files::readWhole(name);
        if (bytes.size() > MostBytes)
            Files::failRead();
        m_data = std::move(bytes);
    } catch (const Failure &) {
        throw Failure(u"Can not load data from the \""_s + name + u"\" file"_s);
    }
}

void TCustomFileStorage::saveToFile(const QString &name) const
{
    SafeWriter writer(name);
    writer.write(m_data);
    writer.commit();
}

void TCustomFileStorage::readData(QIODevice &stream)
{
    char head[4];
    if (stream.read(head, 4) != 4)
        Files::failRead();
    quint32 left = qFromLittleEndian<quint32>(head);
    // Taken in pieces of 64 KiB, so that a damaged count asks for no more memory up front than a
    // piece, however large it claims the block to be.
    QByteArray bytes;
    while (left > 0) {
        const QByteArray piece = stream.read(qMin<qint64>(left, 64 * 1024));
        if (piece.isEmpty())
            Files::failRead();
        bytes += piece;
        left -= quint32(piece.size());
    }
    m_data = std::move(bytes);
}

void TCustomFileStorage::writeData(QIODevice &stream) const
{
    char head[4];
    qToLittleEndian<quint32>(dataSize(), head);
    if (stream.write(head, 4) != 4 || stream.write(m_data) != m_data.size())
        Files::failWrite();
}

QByteArray TCustomFileStorage::fileData() const
{
    QByteArray block;
    QBuffer buffer(&block);
    buffer.open(QIODevice::WriteOnly);
    writeData(buffer);
    return block;
}

void TCustomFileStorage::setFileData(const QByteArray &block)
{
    QBuffer buffer;
    buffer.setData(block);
    buffer.open(QIODevice::ReadOnly);
    readData(buffer);
}

TWavPlayer::~TWavPlayer()
{
    stop();
    clearData();
}

void TWavPlayer::setFileName(const QString &value)
{
    if (value == fileName())
        return;
    TCustomFileStorage::setFileName(value);
    // The stored bytes are not reloaded; a file name given now only restarts or stops them.
    if (m_playFrom == pfStored)
        m_busy ? play() : stop();
}

void TWavPlayer::prepareRequest()
{
    const auto flag = [](bool on, quint32 value) { return on ? value : 0u; };
    SoundRequest r;
    r.flags = flag(m_asyncPlay, SND_ASYNC) | flag(m_noDefaultSound, SND_NODEFAULT) | flag(m_looped, SND_LOOP)
        | flag(m_noStopSound, SND_NOSTOP) | flag(m_noWaitIfBusy, SND_NOWAIT);
    switch (m_playFrom) {
    case pfFile:
        r.flags |= SND_FILENAME;
        r.name = fileName();
        break;
    case pfResource:
        r.flags |= SND_RESOURCE;
        r.name = m_resourceName;
        r.module = programModule();
        break;
    case pfStored:
        r.flags |= SND_MEMORY;
        r.data = data();
        break;
    case pfSystemEvent:
        r.flags |= SND_ALIAS;
        r.name = m_eventAlias;
        break;
    }
    m_request = std::move(r);
}

void TWavPlayer::setAsyncPlay(bool value)
{
    if (value == m_asyncPlay)
        return;
    m_asyncPlay = value;
    if (value && m_busy)
        stop();
}

void TWavPlayer::setEventAlias(const QString &value)
{
    if (value == m_eventAlias)
        return;
    m_eventAlias = value;
    if (m_playFrom == pfSystemEvent)
        m_busy ? play() : stop();
}

void TWavPlayer::setLooped(bool value)
{
    if (value == m_looped)
        return;
    m_looped = value;
    if (m_busy) {
        stop();
        if (value)
            play();
    }
}

void TWavPlayer::setNoWaitIfBusy(bool value)
{
    if (value == m_noWaitIfBusy)
        return;
    m_noWaitIfBusy = value;
    if (value && m_busy) {
        stop();
        play();
    }
}

void TWavPlayer::setPlayFrom(TPlayFrom value)
{
    if (value == m_playFrom)
        return;
    m_playFrom = value;
    if (value == pfStored)
        loadFromFileName();
    else
        clearData();
}

void TWavPlayer::setResourceName(const QString &value)
{
    if (value == m_resourceName)
        return;
    m_resourceName = value;
    if (m_playFrom == pfResource && m_busy)
        play();
}

void TWavPlayer::play()
{
    prepareRequest();
    m_busy = true;
    const auto done = qScopeGuard([this] { m_busy = false; });
    if (m_onPlayBefore)
        m_onPlayBefore(this);
    // Whether it plays is not asked: a sound that cannot play is silence, not an error.
    SystemSound::play(m_request);
    if (m_onPlayAfter)
        m_onPlayAfter(this);
}

void TWavPlayer::stop()
{
    m_busy = false;
    SystemSound::stop();
}
