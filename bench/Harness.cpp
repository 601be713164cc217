#include "Harness.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using namespace Qt::StringLiterals;

namespace Bench {

namespace {

QList<Result> &results()
{
    static QList<Result> all;
    return all;
}

qint64 statusField(const QString &path, const char *field)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

QString figure(double value, const QString &unit)
{
    const int decimals = value >= 100 ? 0 : value >= 10 ? 1 : 2;
    return QString::number(value, 'f', decimals) + u' ' + unit;
}

} // namespace

double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void record(const Result &result)
{
    results().append(result);
}

void printResults()
{
    QStringList lines;
    const QString header = u"%1 %2 %3 %4 %5 %6"_s.arg(u"case"_s, -46)
                               .arg(u"ours"_s, 11)
                               .arg(u"anchor"_s, -28)
                               .arg(u"ratio"_s, 6)
                               .arg(u"target"_s, -30)
                               .arg(u"met"_s);
    lines << header << QString(header.size() + 4, u'-');
    for (const Result &r : std::as_const(results())) {
        const double ratio = r.anchor > 0 ? r.ours / r.anchor : 0;
        QString target = u"-"_s;
        QString met = u"-"_s;
        if (r.limit > 0) {
            target = r.targetText + u" ("_s + figure(r.limit, r.unit) + u')';
            met = r.ours <= r.limit ? u"yes"_s : u"NO"_s;
        }
        lines << u"%1 %2 %3 %4 %5 %6"_s.arg(r.name, -46)
                     .arg(figure(r.ours, r.unit), 11)
                     .arg(r.anchorName + u' ' + figure(r.anchor, r.unit), -28)
                     .arg(QString::number(ratio, 'f', 2), 6)
                     .arg(target, -30)
                     .arg(met);
        if (!r.note.isEmpty())
            lines << u"    "_s + r.note;
    }
    std::fputs((u"\n"_s + lines.join(u'\n') + u'\n').toUtf8().constData(), stdout);
    std::fflush(stdout);
}

void Rounds::run(int round, const QList<std::function<double()>> &contestants)
{
    const qsizetype n = contestants.size();
    m_figures.resize(n);
    for (qsizetype i = 0; i < n; ++i) {
        const qsizetype which = (round + i) % n;
        m_figures[which].append(contestants[which]());
    }
}

double Rounds::last(int contestant) const
{
    const QList<double> figures = m_figures.value(contestant);
    return figures.isEmpty() ? 0 : figures.last();
}

Process::Process(const QStringList &argv, const Options &options)
    : m_what(argv.join(u' '))
{
    QList<QByteArray> args;
    for (const QString &a : argv)
        args.append(QFile::encodeName(a));
    QList<char *> argp;
    for (QByteArray &a : args)
        argp.append(a.data());
    argp.append(nullptr);

    QList<QByteArray> env;
    for (char **e = environ; *e; ++e) {
        const QByteArray entry(*e);
        const QByteArray name = entry.left(entry.indexOf('=') + 1);
        bool replaced = false;
        for (const QString &extra : options.env)
            replaced = replaced || extra.toUtf8().startsWith(name);
        if (!replaced)
            env.append(entry);
    }
    for (const QString &extra : options.env)
        env.append(extra.toUtf8());
    QList<char *> envp;
    for (QByteArray &e : env)
        envp.append(e.data());
    envp.append(nullptr);

    QTemporaryFile err(QDir::tempPath() + u"/vedalka-bench-stderr-XXXXXX"_s);
    err.setAutoRemove(false);
    if (!err.open())
        fail(u"cannot make a file for standard error"_s);
    m_errFile = err.fileName();
    err.close();

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int pipeFds[2] = {-1, -1};
    if (options.stdoutFile.isEmpty()) {
        if (::pipe2(pipeFds, O_CLOEXEC) != 0)
            fail(u"pipe: "_s + QString::fromLocal8Bit(std::strerror(errno)));
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, QFile::encodeName(options.stdoutFile).constData(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    const QByteArray errName = QFile::encodeName(m_errFile);
    posix_spawn_file_actions_addopen(&actions, 2, errName.constData(), O_WRONLY | O_TRUNC, 0600);
    const QByteArray dir = QFile::encodeName(options.workDir);
    if (!options.workDir.isEmpty())
        posix_spawn_file_actions_addchdir_np(&actions, dir.constData());
    const int rc = ::posix_spawnp(&m_pid, argp.first(), &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (pipeFds[1] >= 0)
        ::close(pipeFds[1]);
    m_out = pipeFds[0];
    if (rc != 0)
        fail(u"cannot start "_s + m_what + u": "_s + QString::fromLocal8Bit(std::strerror(rc)));
}

Process::~Process()
{
    if (m_pid > 0)
        kill();
    if (m_out >= 0)
        ::close(m_out);
    QFile::remove(m_errFile);
}

QByteArray Process::readLine()
{
    for (;;) {
        const qsizetype nl = m_buffer.indexOf('\n');
        if (nl >= 0) {
            const QByteArray line = m_buffer.left(nl);
            m_buffer.remove(0, nl + 1);
            return line;
        }
        char bytes[4096];
        const ssize_t got = m_out >= 0 ? ::read(m_out, bytes, sizeof bytes) : 0;
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            const QByteArray rest = m_buffer;
            m_buffer.clear();
            return rest;
        }
        m_buffer.append(bytes, got);
    }
}

void Process::wait()
{
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0) {
        if (errno != EINTR)
            fail(u"wait: "_s + QString::fromLocal8Bit(std::strerror(errno)));
    }
    m_pid = -1;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        QFile err(m_errFile);
        QByteArray text;
        if (err.open(QIODevice::ReadOnly))
            text = err.readAll().right(4000);
        fail(m_what + u" ended with status "_s + QString::number(status) + u":\n"_s + QString::fromLocal8Bit(text));
    }
}

void Process::kill()
{
    ::kill(m_pid, SIGKILL);
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
}

void Process::terminate()
{
    ::kill(m_pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return;
        }
        ::usleep(10000);
    }
    kill();
}

double timeCommand(const QStringList &argv, const QString &workDir, const QString &stdoutFile)
{
    const double start = nowMs();
    Process p(argv, {workDir, {}, stdoutFile});
    p.wait();
    return nowMs() - start;
}

qint64 residentKiB()
{
    return statusField(u"/proc/self/status"_s, "VmRSS");
}

qint64 peakResidentKiB()
{
    return statusField(u"/proc/self/status"_s, "VmHWM");
}

qint64 peakResidentKiB(pid_t pid)
{
    return statusField(u"/proc/%1/status"_s.arg(pid), "VmHWM");
}

void resetPeak()
{
    QFile f(u"/proc/self/clear_refs"_s);
    if (!f.open(QIODevice::WriteOnly) || f.write("5") != 1)
        fail(u"cannot reset the peak of resident memory"_s);
}

void fail(const QString &what)
{
    std::fprintf(stderr, "vedalka_bench: %s\n", what.toLocal8Bit().constData());
    std::exit(2);
}

} // namespace Bench
