// Start-up and close, measured on whole processes:
// - start-up to the first painted frame of the main window, off screen (the probe, which goes
//   through the program's own start-up steps, against the minimal program) and under Xvfb (the
//   real executable against the minimal program, both watched from outside), and under Xvfb
//   from the installed launcher against the minimal program with one label behind `sh`;
// - start-up plus close with a 100 MB result log, against `cat` of the log plus `cp` of it;
// - peak resident memory after start-up and after 10,000 answers, against the minimal program;
// - peak resident memory of a close that rewrites a 200 MB log in place (out of format, with a
//   second name) and of one that puts 200 MB of kept answers into the log, against the file's
//   size plus the same close with a small log.
#include "Cases.h"
#include "Data.h"
#include "Harness.h"
#include "XServer.h"

#include "core/SaveNote.h"

#include <QFile>
#include <QFileInfo>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Bench {

namespace {

const QString Offscreen = u"QT_QPA_PLATFORM=offscreen"_s;

// The folder start-up runs in: the demo icons and laughter, a small base and log.
QString startupFolder()
{
    static const QString folder = Data::makeFolder(u"startup"_s, {.baseBytes = 5000, .logBytes = 100 * 1000});
    return folder;
}

struct Run
{
    double ms = 0;
    qint64 peakKiB = 0;
};

// Starts the program and times it until it reports its first frame; it ends by itself.
Run reportedStart(const QStringList &argv, const QString &folder)
{
    const double start = nowMs();
    Process p(argv, {folder, {Offscreen}, {}});
    const QByteArray line = p.readLine();
    const double ms = nowMs() - start;
    const QList<QByteArray> words = line.split(' ');
    if (words.size() != 2 || words[0] != "painted")
        fail(argv.join(u' ') + u" said \""_s + QString::fromUtf8(line) + u'"');
    p.wait();
    return {ms, words[1].toLongLong()};
}

void memoryResult(const QString &name, const QList<double> &ours, const QList<double> &minimal, const QString &folder)
{
    const double largest = double(Data::largestFile(folder)) / (1 << 20);
    const double anchor = median(minimal);
    record({name, u"MiB"_s, median(ours), u"minimal"_s, anchor, 1.5 * anchor + largest,
            u"1.5 x anchor + %1 MiB"_s.arg(largest, 0, 'f', 2), u"peak resident memory"_s});
}

// Start-up of ours, the minimal program, the minimal program with one label and (off screen)
// the minimal program with Qt Multimedia loaded, interleaved.
struct StartupFigures
{
    Rounds time;
    QList<double> peaks[4];
};

void startupResults(benchmark::State &state, StartupFigures &f, const QString &where, const QString &note,
                    const QString &folder)
{
    // The anchor is a window with one line of text: fonts cost any window with text more than
    // the target would allow over an empty one, which is shown beside it.
    state.counters["anchor_ms"] = f.time.median(2);
    state.counters["ratio"] = f.time.median(0) / f.time.median(2);
    record({u"start-up to first frame, "_s + where, u"ms"_s, f.time.median(0), u"minimal + 1 label"_s,
            f.time.median(2), 1.3 * f.time.median(2), u"1.3 x anchor"_s, note});
    record({u"start-up to first frame, "_s + where + u", empty window"_s, u"ms"_s, f.time.median(0),
            u"minimal"_s, f.time.median(1), 0, {}, u"the minimal program with no text at all"_s});
    memoryResult(u"memory after start-up, "_s + where, f.peaks[0], f.peaks[1], folder);
    if (!f.peaks[3].isEmpty()) {
        record({u"minimal + Qt Multimedia loaded, "_s + where, u"ms"_s, f.time.median(3),
                u"minimal"_s, f.time.median(1), 0, {},
                u"the minimal program linked to Qt Multimedia, never using it: what the program saves by "
                u"loading its audio output only at the first sound; peak memory %1 MiB"_s
                    .arg(median(f.peaks[3]), 0, 'f', 1)});
    }
}

void startupOffscreen(benchmark::State &state)
{
    const QString folder = startupFolder();
    StartupFigures f;
    const auto contestant = [&](int which, const QStringList &argv) {
        return [&f, &folder, which, argv] {
            const Run r = reportedStart(argv, folder);
            f.peaks[which].append(mib(r.peakKiB));
            return r.ms;
        };
    };
    const QList<std::function<double()>> all = {contestant(0, {probeExe(), u"startup"_s}),
                                                contestant(1, {minimalExe(), u"report"_s}),
                                                contestant(2, {minimalExe(), u"report"_s, u"label"_s}),
                                                contestant(3, {minimalMultimediaExe(), u"report"_s})};
    for (const auto &run : all)
        run();
    for (QList<double> &p : f.peaks)
        p.clear();
    int round = 0;
    for (auto _ : state) {
        f.time.run(round++, all);
        state.SetIterationTime(f.time.last(0) / 1000);
    }
    startupResults(state, f, u"offscreen"_s, u"the program's start-up steps in the probe"_s, folder);
}

// A point inside the main window and the minimal one where neither has a control: the main
// window's background.
const int PaintX = 283 + 10, PaintY = 110 + 300;

struct Painted
{
    double ms = 0;
    qint64 colour = 0;
    qint64 peakKiB = 0;
    QString exe; // what the process runs at its first frame
};

// Starts a program on the Xvfb and times it until its window is painted, then kills it.
Painted paintedStart(XServer &x, const QStringList &argv, const QString &folder, const QStringList &env = {})
{
    const double t0 = nowMs();
    Process p(argv, {folder, QStringList{u"QT_QPA_PLATFORM=xcb"_s, u"DISPLAY="_s + x.display()} + env, u"/dev/null"_s});
    Painted r;
    r.colour = x.waitForPaint(PaintX, PaintY, 20000);
    r.ms = nowMs() - t0;
    if (r.colour < 0)
        fail(argv.first() + u" showed no window on Xvfb"_s);
    r.peakKiB = peakResidentKiB(p.pid());
    r.exe = QFileInfo(u"/proc/%1/exe"_s.arg(p.pid())).symLinkTarget();
    p.kill();
    x.waitForBlack(PaintX, PaintY);
    return r;
}

void startupXvfb(benchmark::State &state)
{
    const QString folder = startupFolder();
    XServer x;
    StartupFigures f;
    QList<qint64> colours[3];
    const auto contestant = [&](int which, const QStringList &argv) {
        return [&, which, argv] {
            const Painted r = paintedStart(x, argv, folder);
            colours[which].append(r.colour);
            f.peaks[which].append(mib(r.peakKiB));
            return r.ms;
        };
    };
    const QList<std::function<double()>> all = {contestant(0, {vedalkaExe()}), contestant(1, {minimalExe()}),
                                                contestant(2, {minimalExe(), u"label"_s})};
    for (const auto &run : all)
        run();
    for (QList<double> &p : f.peaks)
        p.clear();
    int round = 0;
    for (auto _ : state) {
        f.time.run(round++, all);
        state.SetIterationTime(f.time.last(0) / 1000);
    }
    startupResults(state, f, u"Xvfb"_s,
                   u"the real executable; first colours seen: ours #%1, minimal #%2"_s
                       .arg(colours[0].first(), 6, 16, QChar(u'0'))
                       .arg(colours[1].first(), 6, 16, QChar(u'0')),
                   folder);
}

// The start from the menu: the installed launcher in the data folder it filled at the user's
// first start, against the minimal program with one label behind a one-line sh script. The
// program started directly in that folder shows what the launcher itself adds.
void startupLauncher(benchmark::State &state)
{
    const QString root = Data::root();
    const QString prefix = root + u"/installed"_s;
    const QString buildDir = QStringLiteral(VEDALKA_BUILD_DIR);
    timeCommand({QStringLiteral(VEDALKA_CMAKE), u"--install"_s, buildDir, u"--prefix"_s, prefix}, root);
    const QString launcher = prefix + u'/' + QStringLiteral(VEDALKA_INSTALLED_LAUNCHER);
    const QString program = QFileInfo(prefix + u'/' + QStringLiteral(VEDALKA_INSTALLED_PROGRAM)).canonicalFilePath();
    const QString share = root + u"/launcher-share"_s;
    const QString data = share + u"/vedalka"_s;
    const QString script = root + u"/one-line"_s;
    QFile f(script);
    if (!f.open(QIODevice::WriteOnly)
        || f.write("#!/bin/sh\nexec '" + QFile::encodeName(minimalExe()).replace("'", "'\\''") + "' label\n") < 0)
        fail(u"cannot write "_s + script);
    f.close();
    f.setPermissions(f.permissions() | QFile::ExeOwner);
    XServer x;
    const QList<std::function<double()>> all = {
        [&] {
            const Painted r = paintedStart(x, {launcher}, root, {u"XDG_DATA_HOME="_s + share});
            if (r.exe != program)
                fail(u"the launcher did not replace itself with the program: "_s + r.exe);
            return r.ms;
        },
        [&] { return paintedStart(x, {script}, root).ms; },
        [&] { return paintedStart(x, {vedalkaExe()}, data).ms; }};
    // The first start fills the data folder; the rounds are the starts after it.
    for (const auto &run : all)
        run();
    if (!QFileInfo::exists(data + u"/baza.leh"_s))
        fail(u"the launcher did not fill "_s + data);
    Rounds rounds;
    int round = 0;
    for (auto _ : state) {
        rounds.run(round++, all);
        state.SetIterationTime(rounds.last(0) / 1000);
    }
    state.counters["anchor_ms"] = rounds.median(1);
    state.counters["ratio"] = rounds.median(0) / rounds.median(1);
    state.counters["direct_ms"] = rounds.median(2);
    record({u"start-up to first frame, from the launcher, Xvfb"_s, u"ms"_s, rounds.median(0),
            u"minimal + 1 label via sh"_s, rounds.median(1), 1.3 * rounds.median(1), u"1.3 x anchor"_s,
            u"the installed launcher in a data folder it filled before; the program started directly "
            u"there: %1 ms"_s.arg(rounds.median(2), 0, 'f', 1)});
}

void startupClose(benchmark::State &state)
{
    const qint64 bytes = 100 * 1000 * 1000;
    const QString folder = Data::makeFolder(u"close"_s, {.baseBytes = 5000, .logBytes = bytes});
    const QString log = folder + u"/vedalka.log"_s;
    qint64 size = QFileInfo(log).size();
    const QString copy = folder + u"/copy.log"_s;
    QList<double> syncs;
    const auto ours = [&](bool waitForDisk) {
        return [&, waitForDisk] {
            QStringList argv = {probeExe(), u"startup-close"_s};
            if (!waitForDisk)
                argv << u"nosync"_s;
            const double start = nowMs();
            Process p(argv, {folder, {Offscreen}, u"/dev/null"_s});
            p.wait();
            const double ms = nowMs() - start;
            const qint64 grown = QFileInfo(log).size();
            if (grown <= size)
                fail(u"the log did not grow on close"_s);
            size = grown;
            return ms;
        };
    };
    const auto anchor = [&] {
        QFile::remove(copy);
        const double ms = timeCommand({u"cat"_s, u"vedalka.log"_s}, folder)
                          + timeCommand({u"cp"_s, u"vedalka.log"_s, u"copy.log"_s}, folder);
        syncs.append(timeCommand({u"sync"_s, u"copy.log"_s}, folder));
        return ms;
    };
    const QList<std::function<double()>> all = {ours(true), anchor, ours(false)};
    for (const auto &run : all)
        run();
    syncs.clear();
    Rounds rounds;
    int round = 0;
    for (auto _ : state) {
        rounds.run(round++, all);
        state.SetIterationTime(rounds.last(0) / 1000);
    }
    QFile::remove(copy);
    state.counters["anchor_ms"] = rounds.median(1);
    state.counters["ratio"] = rounds.median(0) / rounds.median(1);
    state.counters["nosync_ms"] = rounds.median(2);
    record({u"start-up + close, 100 MB log"_s, u"ms"_s, rounds.median(0), u"cat + cp"_s, rounds.median(1),
            2 * rounds.median(1), u"2 x anchor"_s,
            u"offscreen, one answer, then close: the log is read through, a note of the answer synced, and the answer "
            u"added and synced to disk; cp does not sync"_s});
    record({u"start-up + close, 100 MB log, no disk wait"_s, u"ms"_s, rounds.median(2), u"cat + cp"_s,
            rounds.median(1), 2 * rounds.median(1), u"2 x anchor"_s,
            u"the same program with fsync and fdatasync made to return at once"_s});
    record({u"start-up + close, 100 MB log, anchor synced"_s, u"ms"_s, rounds.median(0), u"cat + cp + sync"_s,
            rounds.median(1) + median(syncs), 0, {}, u"the anchor also syncs its copy to disk"_s});
}

void memoryAfterAnswers(benchmark::State &state)
{
    const int answers = 10000;
    const QString folder = Data::makeFolder(u"memory"_s, {.baseBytes = 1000 * 1000, .logBytes = 1000 * 1000});
    QList<double> startup, after, minimal;
    const auto ours = [&] {
        const double t0 = nowMs();
        Process p({probeExe(), u"answers"_s, QString::number(answers)}, {folder, {Offscreen}, {}});
        const QList<QByteArray> first = p.readLine().split(' ');
        const QList<QByteArray> last = p.readLine().split(' ');
        p.wait();
        if (first.size() != 2 || first[0] != "startup" || last.size() != 3 || last[0] != "answers"
            || last[2].toInt() != answers)
            fail(u"the probe did not give every answer"_s);
        startup.append(mib(first[1].toLongLong()));
        after.append(mib(last[1].toLongLong()));
        return nowMs() - t0;
    };
    const auto anchor = [&] {
        const Run r = reportedStart({minimalExe(), u"report"_s}, folder);
        minimal.append(mib(r.peakKiB));
        return r.ms;
    };
    Rounds rounds;
    int round = 0;
    for (auto _ : state) {
        rounds.run(round++, {ours, anchor});
        state.SetIterationTime(rounds.last(0) / 1000);
    }
    state.counters["after_MiB"] = median(after);
    state.counters["minimal_MiB"] = median(minimal);
    memoryResult(u"memory after 10,000 answers, offscreen"_s, after, minimal, folder);
    // The probe's own figure at its first frame, in this folder, before any answer.
    record({u"memory before those answers, offscreen"_s, u"MiB"_s, median(startup), u"minimal"_s, median(minimal), 0,
            {}, u"peak resident memory at the first frame"_s});
}

// The peak memory of a start-up, one answer and a close, in the folder as `prepare` leaves it.
double closePeak(const QString &folder, const QString &state, const std::function<void()> &prepare)
{
    prepare();
    Process p({probeExe(), u"startup-close"_s, u"nosync"_s}, {folder, {Offscreen, u"XDG_STATE_HOME="_s + state}, {}});
    const QList<QByteArray> words = p.readLine().split(' ');
    p.wait();
    if (words.size() != 2 || words[0] != "closed")
        fail(u"the probe did not close"_s);
    return mib(words[1].toLongLong());
}

void closeMemory(benchmark::State &state)
{
    const qint64 bytes = 200 * 1000 * 1000;
    const QString folder = Data::makeFolder(u"close-memory"_s, {.baseBytes = 5000, .logBytes = 0});
    const QString log = folder + u"/vedalka.log"_s;
    const QString stateFolder = folder + u"/state"_s;
    QByteArray lines;
    for (int i = 0; lines.size() < (1 << 20); ++i)
        lines += "\xc8\xec\xff - \xf4\xf0\xe0\xe7\xe0 " + QByteArray::number(i) + "\r\n";
    const auto writeLog = [&](const QByteArray &lineEnd) {
        QFile::remove(log);
        QFile::remove(log + u".second"_s);
        QFile f(log);
        const QByteArray block = QByteArray(lines).replace("\r\n", lineEnd);
        if (!f.open(QIODevice::WriteOnly))
            fail(u"cannot write "_s + log);
        for (qint64 done = 0; done < bytes; done += block.size())
            f.write(block);
    };
    QList<double> own, rewrite, kept;
    for (auto _ : state) {
        const double t0 = nowMs();
        own.append(closePeak(folder, stateFolder, [&] { Data::writeLog(log, 1000, 3); }));
        rewrite.append(closePeak(folder, stateFolder, [&] {
            writeLog("\n");
            ::link(QFile::encodeName(log).constData(), QFile::encodeName(log + u".second"_s).constData());
        }));
        kept.append(closePeak(folder, stateFolder, [&] {
            Data::writeLog(log, 1000, 3);
            qputenv("XDG_STATE_HOME", QFile::encodeName(stateFolder));
            QList<QByteArray> text;
            for (qint64 done = 0; done < bytes; done += lines.size())
                text.append(lines);
            SaveNote::keepAnswers(log, text);
            qunsetenv("XDG_STATE_HOME");
        }));
        state.SetIterationTime((nowMs() - t0) / 1000);
    }
    QFile::remove(log + u".second"_s);
    const double file = double(bytes) / (1 << 20);
    for (const auto &[name, peaks] : {std::pair{u"close, 200 MB log out of format with a second name"_s, rewrite},
                                      std::pair{u"close, 200 MB of kept answers put into the log"_s, kept}}) {
        record({u"memory: "_s + name, u"MiB"_s, median(peaks), u"file + own close"_s, median(own) + file,
                median(own) + file, u"1 x file + own"_s,
                u"peak resident memory; own close: %1 MiB with a small log"_s.arg(median(own), 0, 'f', 1)});
    }
}

} // namespace

void registerStartupCases()
{
    benchmark::RegisterBenchmark("startup/offscreen", startupOffscreen)
        ->UseManualTime()
        ->Iterations(21)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("startup/xvfb", startupXvfb)
        ->UseManualTime()
        ->Iterations(21)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("startup/xvfb launcher", startupLauncher)
        ->UseManualTime()
        ->Iterations(21)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("startup+close/100MB log", startupClose)
        ->UseManualTime()
        ->Iterations(7)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("memory/close 200MB", closeMemory)
        ->UseManualTime()
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("memory/10000 answers", memoryAfterAnswers)
        ->UseManualTime()
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
}

} // namespace Bench
