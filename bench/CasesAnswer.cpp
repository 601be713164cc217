// An answer: Button1Click on the real main window, with phrase bases of 1 KB, 1 MB and 100 MB,
// against `wc -l` over the same file. Also the memory an answer takes beyond what the window
// already holds, which must stay below one copy of the file.
#include "Cases.h"
#include "Data.h"
#include "Harness.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace Bench {

namespace {

void answer(benchmark::State &state, const QString &label, qint64 bytes, double target)
{
    const QString folder = Data::makeFolder(u"answer-"_s + label, {.baseBytes = bytes});
    const qint64 fileBytes = QFileInfo(folder + u"/baza.leh"_s).size();
    Window window(folder);
    TForm1 &form = window.form();
    int presses = 0;
    const auto press = [&] {
        form.Chel->setText(u"Имя %1"_s.arg(presses++));
        const double start = nowMs();
        form.Button1Click();
        return nowMs() - start;
    };
    const auto wc = [&] { return timeCommand({u"wc"_s, u"-l"_s, u"baza.leh"_s}, folder); };

    press();
    wc();
    Rounds rounds;
    int round = 0;
    for (auto _ : state) {
        rounds.run(round++, {press, wc});
        state.SetIterationTime(rounds.last(0) / 1000);
        sounds().requests.clear();
    }

    // The memory of one answer, in a fresh process: the peak during the press above what the
    // program held before it, the read buffer included.
    QList<double> extra;
    for (int i = 0; i < 3; ++i) {
        Process p({probeExe(), u"answer-memory"_s}, {folder, {u"QT_QPA_PLATFORM=offscreen"_s}, {}});
        const QList<QByteArray> line = p.readLine().split(' ');
        p.wait();
        if (line.size() != 2 || line[0] != "answer")
            fail(u"the probe gave no answer"_s);
        extra.append(line[1].toDouble());
    }
    const double extraKiB = median(extra);

    if (form.resultLog().pendingCount() != presses || !boxes().boxes.isEmpty())
        fail(u"the answers did not all go through: "_s + boxes().texts().join(u' '));

    state.counters["anchor_ms"] = rounds.median(1);
    state.counters["ratio"] = rounds.median(0) / rounds.median(1);
    state.counters["extra_KiB"] = extraKiB;
    const QString name = u"answer, "_s + label + u" base"_s;
    record({name, u"ms"_s, rounds.median(0), u"wc -l"_s, rounds.median(1), target > 0 ? target * rounds.median(1) : 0,
            target > 0 ? u"%1 x anchor"_s.arg(target) : QString(), {}});
    // Below one copy of the file is the target for a large base; for a small one the icon and
    // the laughter an answer loads outweigh the file, and the figure stays with the counters.
    if (target > 0) {
        record({name + u", memory"_s, u"KiB"_s, extraKiB, u"file"_s, double(fileBytes) / 1024,
                double(fileBytes) / 1024, u"one copy"_s,
                u"peak resident memory one answer adds to the program's own (fresh process)"_s});
    }
}

} // namespace

void registerAnswerCases()
{
    struct Size
    {
        const char *label;
        qint64 bytes;
        int rounds;
        double target;
    };
    for (const Size &s : {Size{"1 KB", 1000, 21, 0}, Size{"1 MB", 1000 * 1000, 21, 0},
                          Size{"100 MB", 100 * 1000 * 1000, 15, 2.0}}) {
        benchmark::RegisterBenchmark((std::string("answer/") + s.label).c_str(),
                                     [s](benchmark::State &state) { answer(state, QString::fromLatin1(s.label), s.bytes, s.target); })
            ->UseManualTime()
            ->Iterations(s.rounds)
            ->Unit(benchmark::kMillisecond);
    }
}

} // namespace Bench
