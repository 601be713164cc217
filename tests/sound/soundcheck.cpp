// Plays sounds through a TWavPlayer the way scripts/check-sound asks, and waits until the
// sound has ended; the script records what reaches the sound server. Not a test of its own.
//
//   vedalka_soundcheck cut FIRST SECOND DELAY_MS     the main window's settings: FIRST, then SECOND
//   vedalka_soundcheck nostop FIRST SECOND DELAY_MS  SECOND asked with NoStopSound while FIRST plays
//   vedalka_soundcheck loop FILE STOP_MS             FILE looped, stopped after STOP_MS
//   vedalka_soundcheck sync FILE                     FILE played without AsyncPlay
//   vedalka_soundcheck event ALIAS                   a desktop event sound
#include "components/SoundComponents.h"
#include "platform/SystemSound.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

namespace {

QElapsedTimer sinceStart;

void say(const QString &text)
{
    std::printf("%6lld ms: %s\n", sinceStart.elapsed(), qPrintable(text));
    std::fflush(stdout);
}

void play(TWavPlayer &player)
{
    player.play();
    const SystemSound::SoundRequest &r = player.request();
    say(QStringLiteral("asked for %1 (flags 0x%2), playing: %3")
            .arg(r.name)
            .arg(r.flags, 0, 16)
            .arg(SystemSound::isPlaying() ? QStringLiteral("yes") : QStringLiteral("no")));
}

// Quits once nothing plays any more.
void quitWhenSilent()
{
    auto *poll = new QTimer(QCoreApplication::instance());
    QObject::connect(poll, &QTimer::timeout, [] {
        if (SystemSound::isPlaying())
            return;
        say(QStringLiteral("sound ended"));
        QCoreApplication::quit();
    });
    poll->start(20);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    sinceStart.start();
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    TWavPlayer player;
    player.setObjectName(QStringLiteral("WavPlayer1"));

    if ((mode == u"cut" || mode == u"nostop") && args.size() == 5) {
        player.setFileName(args.at(2));
        play(player);
        QTimer::singleShot(args.at(4).toInt(), &app, [&] {
            player.setNoStopSound(mode == u"nostop");
            player.setFileName(args.at(3));
            play(player);
            quitWhenSilent();
        });
    } else if (mode == u"loop" && args.size() == 4) {
        player.setFileName(args.at(2));
        player.setLooped(true);
        play(player);
        QTimer::singleShot(args.at(3).toInt(), &app, [&] {
            player.stop();
            say(QStringLiteral("stopped"));
            quitWhenSilent();
        });
    } else if (mode == u"sync" && args.size() == 3) {
        player.setFileName(args.at(2));
        player.setAsyncPlay(false);
        QElapsedTimer took;
        took.start();
        play(player);
        say(QStringLiteral("the synchronous play returned after %1 ms").arg(took.elapsed()));
        return 0;
    } else if (mode == u"event" && args.size() == 3) {
        player.setPlayFrom(TWavPlayer::pfSystemEvent);
        player.setEventAlias(args.at(2));
        say(QStringLiteral("theme file: %1").arg(SystemSound::eventSoundFile(args.at(2))));
        play(player);
        quitWhenSilent();
    } else {
        std::fprintf(stderr, "usage: see the head of tests/sound/soundcheck.cpp\n");
        return 2;
    }
    // Never hang, whatever the sound server does.
    QTimer::singleShot(30000, &app, [] { QCoreApplication::exit(1); });
    return app.exec();
}
