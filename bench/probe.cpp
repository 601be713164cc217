// The program's start-up, made measurable from outside: the same steps as its entry point,
// in the same order, in the working directory it is started in, plus a report when the main
// window's first frame is painted. Modes:
//   startup          print "painted <peak resident KiB>" after the first frame and end at once
//   startup-close    after the first frame give one answer, then close the main window as the
//                    user would (the log is saved) and end normally; "startup-close nosync" does
//                    the same without waiting for the disk; it prints "closed <peak KiB>"
//   answers N        after the first frame print "startup <peak KiB>", then give N answers
//                    on the real window and print "answers <peak KiB> <log lines waiting>";
//                    the laughter is read as the sound player reads it, but not played
//   answer-memory    after the first frame give one answer and print "answer <KiB>": the
//                    peak resident memory during the answer above the memory before it
#include "FirstPaint.h"
#include "SyncSwitch.h"

#include "app/Startup.h"
#include "app/Vedalka.h"
#include "platform/Dialogs.h"
#include "platform/SystemSound.h"
#include "platform/Termination.h"

#include <QApplication>
#include <QFile>

#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

qint64 statusKiB(const QByteArray &field)
{
    QFile f(u"/proc/self/status"_s);
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : f.readAll().split('\n')) {
            if (line.startsWith(field + ':'))
                return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong();
        }
    }
    return 0;
}

QByteArray peakKiB()
{
    return QByteArray::number(statusKiB("VmHWM"));
}

// Takes each laughter file into memory as the real player does, and keeps the last one, as a
// player keeps the sound it plays; no sound device is touched.
class SilentPlayer : public SystemSound::Player
{
public:
    SilentPlayer() { SystemSound::setPlayer(this); }
    ~SilentPlayer() override { SystemSound::setPlayer(nullptr); }
    bool play(const SystemSound::SoundRequest &request) override
    {
        m_playing = SystemSound::soundImage(request);
        return !m_playing.isEmpty();
    }

private:
    QByteArray m_playing;
};

// Counts message boxes instead of showing them: none is expected, and a modal one would hold
// the probe.
class CountingPresenter : public Dialogs::Presenter
{
public:
    CountingPresenter() { Dialogs::setPresenter(this); }
    ~CountingPresenter() override { Dialogs::setPresenter(nullptr); }
    void present(Dialogs::Kind, const QString &) override { ++shown; }
    int shown = 0;
};

void say(const QByteArray &line)
{
    std::fputs((line + '\n').constData(), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray("startup");
    const int answers = argc > 2 ? std::atoi(argv[2]) : 0;
    if (mode == "startup-close" && argc > 2 && std::strcmp(argv[2], "nosync") == 0)
        SyncSwitch::setWaitForDisk(false);
    std::unique_ptr<SilentPlayer> sound;
    std::unique_ptr<CountingPresenter> boxes;
    if (mode == "answers" || mode == "answer-memory" || mode == "startup-close") {
        sound = std::make_unique<SilentPlayer>();
        boxes = std::make_unique<CountingPresenter>();
    }

    QApplication app(argc, argv);
    Startup::prepareApplication();
    TForm1 Form1;
    Termination::install([&Form1] { Form1.requestClose(); });
    Form1.createWindows();
    FirstPaint painted(&Form1, [&] {
        if (mode == "startup") {
            say("painted " + peakKiB());
            ::_exit(0);
        } else if (mode == "startup-close") {
            Form1.Chel->setText(u"Имя"_s);
            Form1.Button1Click();
            if (Form1.resultLog().pendingCount() != 1 || !Form1.close() || boxes->shown != 0)
                ::_exit(5);
            say("closed " + peakKiB());
        } else if (mode == "answers") {
            say("startup " + peakKiB());
            for (int i = 0; i < answers; ++i) {
                Form1.Chel->setText(u"Имя %1"_s.arg(i));
                Form1.Button1Click();
            }
            if (boxes->shown != 0)
                ::_exit(6);
            say("answers " + peakKiB() + ' ' + QByteArray::number(Form1.resultLog().pendingCount()));
            ::_exit(0);
        } else if (mode == "answer-memory") {
            Form1.Chel->setText(u"Имя"_s);
            const qint64 before = statusKiB("VmRSS");
            QFile clear(u"/proc/self/clear_refs"_s);
            if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1)
                ::_exit(3);
            clear.close();
            Form1.Button1Click();
            if (Form1.resultLog().pendingCount() != 1)
                ::_exit(4);
            say("answer " + QByteArray::number(statusKiB("VmHWM") - before));
            ::_exit(0);
        }
    });
    Form1.show();
    return app.exec();
}
