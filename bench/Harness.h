// What every benchmark case shares: clocks, medians, starting other programs and timing them,
// the memory figures of this process and of others, and the table of results printed at the
// end of a run.
//
// Each case measures our path and an anchor (a standard tool or a minimal program doing the
// least the same job needs) in the same run, alternating which goes first, and reports medians:
// the machine is shared, so single timings say little.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

#include <sys/types.h>

namespace Bench {

double nowMs();
double median(QList<double> values);

// One figure of a case as the final table shows it.
struct Result
{
    QString name;
    QString unit; // "ms", "KiB" or "MiB": lower is better
    double ours = 0;
    QString anchorName;
    double anchor = 0;
    // The largest figure of ours that meets the target, in the same unit; 0 for a case
    // without a target.
    double limit = 0;
    QString targetText; // how the limit is made, e.g. "2 x anchor"
    QString note;
};

void record(const Result &result);
void printResults();

// The rounds of a case: our figure and the anchors', each measured once per round, the first
// to run moving on by one every round.
class Rounds
{
public:
    void run(int round, const QList<std::function<double()>> &contestants);
    double median(int contestant) const { return Bench::median(m_figures.value(contestant)); }
    double last(int contestant) const;

private:
    QList<QList<double>> m_figures;
};

// A program started by the benchmark. Standard output can be read line by line; standard
// error is kept apart and shown only when the program fails. (The peak memory the kernel
// reports for a child started this way is the benchmark's own until the child replaces its
// image, so programs report their peak themselves.)
class Process
{
public:
    struct Options
    {
        QString workDir;
        QStringList env; // NAME=value, added to the benchmark's own environment
        QString stdoutFile; // standard output goes here instead of a pipe ("/dev/null")
    };

    Process(const QStringList &argv, const Options &options);
    ~Process();
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    pid_t pid() const { return m_pid; }
    // The next line of standard output, without its line feed; empty at the end.
    QByteArray readLine();
    // Waits for the end; fails the run when the exit is not a normal 0.
    void wait();
    // Sends SIGKILL and reaps the process.
    void kill();
    // Asks the process to end with SIGTERM, and kills it when it has not within two seconds.
    void terminate();

private:
    pid_t m_pid = -1;
    int m_out = -1;
    QByteArray m_buffer;
    QString m_errFile;
    QString m_what;
};

// Runs a command to its end and returns the wall time in milliseconds.
double timeCommand(const QStringList &argv, const QString &workDir, const QString &stdoutFile = QStringLiteral("/dev/null"));

// This process's resident memory and its peak, in KiB, from /proc/self/status.
qint64 residentKiB();
qint64 peakResidentKiB();
qint64 peakResidentKiB(pid_t pid);
// Lowers the recorded peak to the present resident memory.
void resetPeak();

[[noreturn]] void fail(const QString &what);

} // namespace Bench
