// The WAV player component and its bases. TWavPlayer turns its settings into one request to the
// system sound player (platform/SystemSound); the main window plays the laughter with one,
// WavPlayer1. TCustomFileStorage holds the bytes of one file for the pfStored source. The
// settings are Qt properties under the design's names; their setters react to a change as the
// player requires (a reaction may play, stop, or load a file, and so may fail).
#pragma once

#include "platform/SystemSound.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QIODevice;

// A notification: called with the component that sends it.
using TNotifyEvent = std::function<void(QObject *sender)>;

// The base of the program's non-visual components: owned by a window, named, with settings.
class TBaseComponent : public QObject
{
    Q_OBJECT

public:
    explicit TBaseComponent(QObject *owner = nullptr)
        : QObject(owner)
    {
    }
};

// A component that can hold the bytes of one file.
class TCustomFileStorage : public TBaseComponent
{
    Q_OBJECT
    Q_PROPERTY(QString FileName READ fileName WRITE setFileName)
    Q_PROPERTY(QString SaveName READ saveName WRITE setSaveName)
    Q_PROPERTY(bool AutoSave READ autoSave WRITE setAutoSave)
    Q_PROPERTY(quint32 DataSize READ dataSize WRITE setDataSize STORED false)

public:
    using TBaseComponent::TBaseComponent;

    // Takes the bytes of the named file. A missing file leaves no bytes; one that exists but
    // cannot be read fails with "Can not load data from the "<name>" file" and keeps the bytes
    // held before.
    virtual void loadFromFile(const QString &name);
    // Writes the bytes to the named file, which is replaced only when all of them are on disk.
    virtual void saveToFile(const QString &name) const;
    virtual void loadFromFileName() { loadFromFile(m_fileName); }
    virtual void saveToSaveName() const { saveToFile(m_saveName); }
    // The "FileData" form of the bytes: a 32-bit little-endian count, then the bytes. A block
    // that ends early fails with "Stream read error", a short write with "Stream write error".
    virtual void readData(QIODevice &stream);
    virtual void writeData(QIODevice &stream) const;
    virtual void setAutoSave(bool value) { m_autoSave = value; }
    virtual void setFileName(const QString &value) { m_fileName = value; }
    virtual quint32 dataSize() const { return quint32(m_data.size()); }
    // Has no effect: the size is that of the bytes held.
    virtual void setDataSize(quint32) {}
    virtual void clearData() { m_data.clear(); }

    QString fileName() const { return m_fileName; }
    QString saveName() const { return m_saveName; }
    void setSaveName(const QString &value) { m_saveName = value; }
    bool autoSave() const { return m_autoSave; }
    const QByteArray &data() const { return m_data; }

    // The "FileData" block as bytes, and the bytes taken from one.
    QByteArray fileData() const;
    void setFileData(const QByteArray &block);

private:
    QString m_fileName;
    QString m_saveName;
    bool m_autoSave = false;
    QByteArray m_data;
};

// Plays a WAV sound through the system sound player: from a file, a resource of the program,
// the stored bytes or a desktop event.
class TWavPlayer : public TCustomFileStorage
{
    Q_OBJECT
    Q_PROPERTY(bool AsyncPlay READ asyncPlay WRITE setAsyncPlay)
    Q_PROPERTY(bool Looped READ looped WRITE setLooped)
    Q_PROPERTY(bool NoDefaultSound READ noDefaultSound WRITE setNoDefaultSound)
    Q_PROPERTY(bool NoStopSound READ noStopSound WRITE setNoStopSound)
    Q_PROPERTY(bool NoWaitIfBusy READ noWaitIfBusy WRITE setNoWaitIfBusy)
    Q_PROPERTY(TPlayFrom PlayFrom READ playFrom WRITE setPlayFrom)
    Q_PROPERTY(QString ResourceName READ resourceName WRITE setResourceName)
    Q_PROPERTY(QString EventAlias READ eventAlias WRITE setEventAlias)

public:
    enum TPlayFrom { pfFile, pfResource, pfStored, pfSystemEvent };
    Q_ENUM(TPlayFrom)

    using TCustomFileStorage::TCustomFileStorage;
    // Stops the sound, then lets the bytes go.
    ~TWavPlayer() override;

    void setFileName(const QString &value) override;

    // Builds the request from the current settings without making it.
    virtual void prepareRequest();
    virtual void setAsyncPlay(bool value);
    virtual void setEventAlias(const QString &value);
    virtual void setLooped(bool value);
    virtual void setNoWaitIfBusy(bool value);
    // To pfStored: takes the bytes of the file named by FileName (see loadFromFile); to any
    // other source: drops the stored bytes.
    virtual void setPlayFrom(TPlayFrom value);
    virtual void setResourceName(const QString &value);
    // Prepares the request, then makes it between the two notifications. The busy flag is set
    // for that time and cleared also when a notification fails; the failure goes on to the caller.
    virtual void play();
    // Clears the busy flag and asks the system sound player to stop whatever it plays.
    virtual void stop();

    bool asyncPlay() const { return m_asyncPlay; }
    bool looped() const { return m_looped; }
    bool noDefaultSound() const { return m_noDefaultSound; }
    void setNoDefaultSound(bool value) { m_noDefaultSound = value; }
    bool noStopSound() const { return m_noStopSound; }
    void setNoStopSound(bool value) { m_noStopSound = value; }
    bool noWaitIfBusy() const { return m_noWaitIfBusy; }
    TPlayFrom playFrom() const { return m_playFrom; }
    QString resourceName() const { return m_resourceName; }
    QString eventAlias() const { return m_eventAlias; }

    const TNotifyEvent &onPlayBefore() const { return m_onPlayBefore; }
    void setOnPlayBefore(TNotifyEvent handler) { m_onPlayBefore = std::move(handler); }
    const TNotifyEvent &onPlayAfter() const { return m_onPlayAfter; }
    void setOnPlayAfter(TNotifyEvent handler) { m_onPlayAfter = std::move(handler); }

    // True only while a play request is being made.
    bool isBusy() const { return m_busy; }
    // The request prepared last.
    const SystemSound::SoundRequest &request() const { return m_request; }

    // Which of the source names a saved description of the player keeps: only the one in use.
    bool isFileNameStored() const { return m_playFrom == pfFile; }
    bool isResourceNameStored() const { return m_playFrom == pfResource; }
    bool isEventAliasStored() const { return m_playFrom == pfSystemEvent; }

private:
    bool m_asyncPlay = true;
    bool m_looped = false;
    bool m_noDefaultSound = true;
    bool m_noStopSound = false;
    bool m_noWaitIfBusy = true;
    TPlayFrom m_playFrom = pfFile;
    QString m_resourceName = QStringLiteral("WAVE1");
    QString m_eventAlias = QStringLiteral(".Default");
    TNotifyEvent m_onPlayBefore;
    TNotifyEvent m_onPlayAfter;
    bool m_busy = false;
    SystemSound::SoundRequest m_request;
};
