// The tools: the add-phrase window over a 100 MB phrase base (show, then add) against `cp` of
// the base; the icon check over 2,000 icons against `cat` of them all; the icon run count over
// 10,000 files against listing the folder.
#include "Cases.h"
#include "Data.h"
#include "Harness.h"
#include "SyncSwitch.h"

#include "core/Stores.h"
#include "windows/Add.h"
#include "windows/Proverit.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace Bench {

namespace {

void addPhrase(benchmark::State &state)
{
    const QString folder = Data::makeFolder(u"add"_s, {.baseBytes = 100 * 1000 * 1000});
    const QString base = folder + u"/baza.leh"_s;
    const QString copy = folder + u"/copy.leh"_s;
    Window window(folder);
    TDobavlenie *dobavlenie = window.form().Dobavlenie;
    int added = 0;
    QList<double> syncs;
    const auto add = [&](bool waitForDisk) {
        SyncSwitch::setWaitForDisk(waitForDisk);
        const qint64 before = QFileInfo(base).size();
        const QString phrase = u"новая фраза номер %1"_s.arg(added++);
        const double start = nowMs();
        dobavlenie->show();
        const QString count = dobavlenie->Kol->text();
        dobavlenie->New->setText(phrase);
        dobavlenie->DobavitClick();
        const double ms = nowMs() - start;
        SyncSwitch::setWaitForDisk(true);
        if (dobavlenie->isVisible() || QFileInfo(base).size() <= before || count.toLongLong() <= 0)
            fail(u"the phrase was not added: "_s + boxes().texts().join(u' '));
        return ms;
    };
    const auto cp = [&] {
        QFile::remove(copy);
        const double ms = timeCommand({u"cp"_s, u"baza.leh"_s, u"copy.leh"_s}, folder);
        syncs.append(timeCommand({u"sync"_s, u"copy.leh"_s}, folder));
        return ms;
    };
    const QList<std::function<double()>> all = {[&] { return add(true); }, cp, [&] { return add(false); }};
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
    record({u"add-phrase window, 100 MB base"_s, u"ms"_s, rounds.median(0), u"cp"_s, rounds.median(1),
            3 * rounds.median(1), u"3 x anchor"_s,
            u"show (count the lines), add (look for the phrase, check the format, append, sync to disk)"_s});
    record({u"add-phrase window, 100 MB base, no disk wait"_s, u"ms"_s, rounds.median(2), u"cp"_s, rounds.median(1),
            3 * rounds.median(1), u"3 x anchor"_s, u"the same with fsync and fdatasync made to return at once"_s});
    record({u"add-phrase window, 100 MB base, anchor synced"_s, u"ms"_s, rounds.median(0), u"cp + sync"_s,
            rounds.median(1) + median(syncs), 0, {}, u"the anchor also syncs its copy to disk"_s});
}

void iconCheck(benchmark::State &state)
{
    const int icons = 2000;
    const QString folder = Data::makeFolder(u"icons"_s, {.baseBytes = 5000, .icons = icons, .laughter = false});
    Window window(folder);
    TProverka *check = window.form().Proverka;
    const QString congratulation = u"поздравляем, все иконки подходят для этой программы :)"_s;
    const auto ours = [&] {
        check->show();
        QCoreApplication::processEvents();
        boxes().boxes.clear();
        const double start = nowMs();
        check->Button1Click();
        const double ms = nowMs() - start;
        if (boxes().messages() != QStringList{congratulation})
            fail(u"the icon check said: "_s + boxes().texts().join(u' '));
        return ms;
    };
    const auto cat = [&] {
        return timeCommand({u"sh"_s, u"-c"_s, u"cat картинки/*.ico > /dev/null"_s}, folder);
    };
    ours();
    cat();
    Rounds rounds;
    int round = 0;
    for (auto _ : state) {
        rounds.run(round++, {ours, cat});
        state.SetIterationTime(rounds.last(0) / 1000);
    }
    state.counters["icons_per_s"] = icons / (rounds.median(0) / 1000);
    state.counters["anchor_ms"] = rounds.median(1);
    record({u"icon check, 2,000 icons"_s, u"ms"_s, rounds.median(0), u"cat all"_s, rounds.median(1), 0, {},
            u"%1 icons/s (cat reads %2 icons/s)"_s.arg(qRound(icons / (rounds.median(0) / 1000)))
                .arg(qRound(icons / (rounds.median(1) / 1000)))});
}

void iconRun(benchmark::State &state)
{
    const int files = 10000;
    const QString folder = Data::makeFolder(u"run"_s, {.baseBytes = 5000, .icons = 0, .laughter = false});
    Data::makeEmptyIcons(folder, files);
    if (!QDir::setCurrent(folder))
        fail(u"cannot enter "_s + folder);
    const auto ours = [&] {
        const double start = nowMs();
        const qint64 count = Stores::countIconRun();
        const double ms = nowMs() - start;
        if (count != files)
            fail(u"the run counted %1 icons"_s.arg(count));
        return ms;
    };
    const auto ls = [&] { return timeCommand({u"ls"_s, u"-f"_s, u"картинки"_s}, folder); };
    ours();
    ls();
    Rounds rounds;
    int round = 0;
    for (auto _ : state) {
        rounds.run(round++, {ours, ls});
        state.SetIterationTime(rounds.last(0) / 1000);
    }
    QDir::setCurrent(QDir::tempPath());
    state.counters["files_per_s"] = files / (rounds.median(0) / 1000);
    state.counters["anchor_ms"] = rounds.median(1);
    record({u"icon run count, 10,000 files"_s, u"ms"_s, rounds.median(0), u"ls -f"_s, rounds.median(1), 0, {},
            u"%1 files/s"_s.arg(qRound(files / (rounds.median(0) / 1000)))});
}

} // namespace

void registerToolCases()
{
    benchmark::RegisterBenchmark("add-phrase/100MB", addPhrase)
        ->UseManualTime()
        ->Iterations(7)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("icon-check/2000 icons", iconCheck)
        ->UseManualTime()
        ->Iterations(5)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("icon-run/10000 files", iconRun)
        ->UseManualTime()
        ->Iterations(11)
        ->Unit(benchmark::kMillisecond);
}

} // namespace Bench
