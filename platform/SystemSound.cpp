#include "platform/SystemSound.h"

#include "core/Failure.h"
#include "core/Files.h"
#include "platform/SoundBackend.h"
#include "platform/WavImage.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLibrary>
#include <QPointer>
#include <QStandardPaths>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace SystemSound {

namespace {

QByteArray readSoundFile(const QString &name)
{
    // Only a regular file within the limit, and no more of it than it held when looked at; a pipe
    // put in its place meanwhile reads as empty.
    struct stat st;
    if (name.isEmpty() || ::stat(QFile::encodeName(name).constData(), &st) != 0 || !S_ISREG(st.st_mode)
        || st.st_size > MaxSoundBytes)
        return {};
    try {
        return Files::readWhole(name, Files::ReadFile::MissingFails, st.st_size);
    } catch (const Failure &) {
        return {};
    }
}

QByteArray readResource(const QString &name, const QString &module)
{
    if (!module.isEmpty() && module != programModule())
        return {};
    if (name.isEmpty() || name.contains(u'/'))
        return {};
    QFile file(u":/WAVE/"_s + name);
    if (file.size() > MaxSoundBytes || !file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// Desktop event names of the program's platform and the freedesktop theme sounds nearest to
// them. Keys in lower case: the platform compares event names without case.
const QHash<QString, QString> &eventNames()
{
    static const QHash<QString, QString> names = {
        {u".default"_s, u"bell"_s}, {u"systemdefault"_s, u"bell"_s},
        {u"systemasterisk"_s, u"dialog-information"_s}, {u"systemexclamation"_s, u"dialog-warning"_s},
        {u"systemhand"_s, u"dialog-error"_s}, {u"systemquestion"_s, u"dialog-question"_s},
        {u"systemnotification"_s, u"message"_s}, {u"systemstart"_s, u"service-login"_s},
        {u"windowslogon"_s, u"service-login"_s}, {u"systemexit"_s, u"service-logout"_s},
        {u"windowslogoff"_s, u"service-logout"_s}, {u"mailbeep"_s, u"message-new-email"_s},
        {u"deviceconnect"_s, u"device-added"_s}, {u"devicedisconnect"_s, u"device-removed"_s},
        {u"devicefail"_s, u"dialog-error"_s}, {u"appgpfault"_s, u"dialog-error"_s},
        {u"emptyrecyclebin"_s, u"trash-empty"_s}, {u"printcomplete"_s, u"complete"_s},
        {u"lowbatteryalarm"_s, u"battery-low"_s}, {u"criticalbatteryalarm"_s, u"battery-caution"_s},
        {u"open"_s, u"window-new"_s}, {u"close"_s, u"window-close"_s},
        {u"minimize"_s, u"window-minimized"_s}, {u"maximize"_s, u"window-maximized"_s},
        {u"restoreup"_s, u"window-unmaximized"_s}, {u"restoredown"_s, u"window-unmaximized"_s},
        {u"menucommand"_s, u"menu-click"_s}, {u"menupopup"_s, u"menu-popup"_s},
    };
    return names;
}

struct Found
{
    std::optional<WavImage::Sound> sound;
    QString compressedFile; // a theme sound the decoder has to turn into samples first

    bool isEmpty() const { return !sound && compressedFile.isEmpty(); }
};

Found fromBytes(const QByteArray &bytes)
{
    return {WavImage::decode(bytes), {}};
}

Found findEvent(const QString &alias)
{
    const QString file = eventSoundFile(alias);
    if (file.endsWith(u".wav"_s, Qt::CaseInsensitive))
        return fromBytes(readSoundFile(file));
    return {std::nullopt, file};
}

// The audio side, loaded from its library at the first sound and living as long as the
// application object; null when it cannot be had (the library is missing or broken), which
// means silence.
SoundBackend *output(bool create)
{
    static QPointer<QObject> owner;
    static SoundBackend *backend = nullptr;
    if (!owner && create && QCoreApplication::instance()) {
        owner = new QObject(QCoreApplication::instance());
        backend = nullptr;
        const QString dir = QCoreApplication::applicationDirPath();
        // Installed beside the program; in the build tree in lib/ beside the executables' folders.
        for (const QString &path : {dir + u"/libvedalka-sound.so"_s, dir + u"/../lib/libvedalka-sound.so"_s}) {
            QLibrary library(path);
            if (auto make = reinterpret_cast<VedalkaCreateSoundBackend>(library.resolve(VEDALKA_SOUND_BACKEND_ENTRY))) {
                backend = make(owner);
                break;
            }
        }
    }
    return owner ? backend : nullptr;
}

Found find(const SoundRequest &r)
{
    if (r.flags & SND_ALIAS)
        return findEvent(r.name);
    if (r.flags & (SND_RESOURCE | SND_MEMORY | SND_FILENAME))
        return fromBytes(soundImage(r));
    // Without a kind the name is tried as an event first, then as a file.
    Found found = findEvent(r.name);
    return found.isEmpty() ? fromBytes(soundImage(r)) : found;
}

Player *g_replacement = nullptr;

} // namespace

bool SoundRequest::isStop() const
{
    if ((flags & SND_MEMORY) && (flags & SND_RESOURCE) != SND_RESOURCE)
        return data.isEmpty();
    return name.isEmpty();
}

QString programModule()
{
    return QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
}

QByteArray soundImage(const SoundRequest &request)
{
    if ((request.flags & SND_RESOURCE) == SND_RESOURCE)
        return readResource(request.name, request.module);
    if (request.flags & SND_MEMORY)
        return request.data;
    if (request.flags & SND_ALIAS)
        return {};
    return readSoundFile(request.name);
}

QString eventSoundFile(const QString &alias)
{
    QString name = eventNames().value(alias.toLower(), alias);
    // Theme names are plain words joined by hyphens; anything else could point outside it.
    if (name.isEmpty() || name.contains(u'/') || name.startsWith(u'.'))
        return {};
    const QStringList bases = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    // The theme's fallback rule: a name that is not found is tried without its last part.
    for (;;) {
        for (const QString &base : bases) {
            const QString stem = base + u"/sounds/freedesktop/stereo/"_s + name;
            if (QFileInfo::exists(stem + u".disabled"_s))
                return {};
            for (const QString &suffix : {u".oga"_s, u".ogg"_s, u".wav"_s}) {
                const QFileInfo info(stem + suffix);
                if (info.isFile())
                    return info.filePath();
            }
        }
        const qsizetype dash = name.lastIndexOf(u'-');
        if (dash <= 0)
            return {};
        name.truncate(dash);
    }
}

void setPlayer(Player *player)
{
    g_replacement = player;
}

bool play(const SoundRequest &request)
{
    if (g_replacement)
        return g_replacement->play(request);
    if (request.isStop()) {
        // Stopping needs no output when none was ever made.
        if (SoundBackend *out = output(false))
            out->stop();
        return true;
    }
    SoundBackend *out = output(true);
    if (!out || ((request.flags & SND_NOSTOP) && out->isPlaying()))
        return false;
    out->stop();

    bool loop = request.flags & SND_LOOP;
    // An endless sound is never waited for: that would hold the program for good.
    const bool wait = !(request.flags & SND_ASYNC) && !loop;
    Found found = find(request);
    if (found.isEmpty() && !(request.flags & SND_NODEFAULT)) {
        found = findEvent(u".Default"_s);
        loop = false;
    }
    if (found.sound)
        return out->start(std::move(*found.sound), loop, wait);
    return !found.compressedFile.isEmpty() && out->playCompressed(found.compressedFile, loop, wait);
}

void stop()
{
    play(SoundRequest{});
}

bool hasOutput()
{
    return output(true) != nullptr;
}

bool isPlaying()
{
    const SoundBackend *out = output(false);
    return out && out->isPlaying();
}

} // namespace SystemSound

