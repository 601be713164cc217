#include "TestSupport.h"

#include "core/Clock.h"
#include "core/FileDescriptor.h"
#include "core/ResultLog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <QtEndian>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace TestSupport {

namespace {

constexpr uid_t Nobody = 65534;
// Hands the folder made for the test over to the program started again from its copy.
constexpr const char *HomeVariable = "VEDALKA_TEST_HOME";

// The folder made for this run (a home as root, else a runtime folder), removed at exit.
QByteArray privateHome;

void removePrivateHome()
{
    QDir(QFile::decodeName(privateHome)).removeRecursively();
}

void becomeNobody()
{
    if (::setgroups(0, nullptr) != 0 || ::setgid(Nobody) != 0 || ::setuid(Nobody) != 0)
        qFatal("cannot give up root for the tests");
}

// Runs a command to its end in a child (no shell); `asNobody` runs it as the tests' user.
bool run(std::initializer_list<const char *> command, bool asNobody = false)
{
    std::vector<char *> argv;
    for (const char *a : command)
        argv.push_back(const_cast<char *>(a));
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        if (asNobody)
            becomeNobody();
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

QByteArray copyOf(const QByteArray &home, const char *path)
{
    return home + "/copies/" + QFile::encodeName(QFileInfo(QFile::decodeName(path)).fileName());
}

} // namespace

void dropRootPrivileges(char *argv[], std::initializer_list<const char *> needs)
{
    if (::geteuid() != 0) {
        // Started again from the copy: the folder is this process's to remove.
        if (const char *home = ::getenv(HomeVariable)) {
            privateHome = home;
            ::unsetenv(HomeVariable);
            std::atexit(removePrivateHome);
        } else if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            // Outside a desktop session Qt would make /tmp/runtime-<user> and leave it there.
            privateHome = QFile::encodeName(QDir::tempPath()) + "/vedalka-test-runtime-XXXXXX";
            if (!::mkdtemp(privateHome.data()))
                qFatal("cannot make a runtime folder for the tests");
            ::setenv("XDG_RUNTIME_DIR", privateHome.constData(), 1);
            std::atexit(removePrivateHome);
        }
        return;
    }
    // Root's home is closed to nobody; caches go to a folder of its own in the temporary folder.
    QByteArray home = QFile::encodeName(QDir::tempPath()) + "/vedalka-test-home-XXXXXX";
    if (!::mkdtemp(home.data()))
        qFatal("cannot make a home folder for the tests");
    bool copy = false;
    for (const char *path : needs)
        copy = copy || !run({"test", "-r", path}, true);
    const QByteArray self = QFile::encodeName(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget());
    if (copy) {
        bool copied = ::mkdir((home + "/copies").constData(), 0755) == 0;
        for (const char *path : needs)
            copied = copied && run({"cp", "-R", "--", path, copyOf(home, path).constData()});
        if (!copied || !run({"cp", "--", self.constData(), copyOf(home, self.constData()).constData()}))
            qFatal("cannot copy the test program and what it reads to %s", home.constData());
    }
    if (!run({"chown", "-R", "65534:65534", "--", home.constData()}))
        qFatal("cannot hand %s to the user nobody", home.constData());
    for (const char *name : {"/others-1", "/others-2"}) {
        if (!UniqueFd(::open((home + name).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600)) || ::chmod((home + name).constData(), 0666) != 0)
            qFatal("cannot make root's files in %s", home.constData());
    }
    becomeNobody();
    // A test that changes folders comes back to the one it started in: that one must be open to nobody.
    if (::access(QFile::encodeName(QDir::currentPath()).constData(), X_OK) != 0 && ::chdir(home.constData()) != 0)
        qFatal("cannot enter %s", home.constData());
    ::setenv("HOME", home.constData(), 1);
    ::setenv("XDG_CACHE_HOME", (home + "/.cache").constData(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/.config").constData(), 1);
    ::setenv("XDG_RUNTIME_DIR", home.constData(), 1);
    if (copy) {
        // From its copy the program finds the sound library beside itself, as when installed.
        ::setenv(HomeVariable, home.constData(), 1);
        ::execv(copyOf(home, self.constData()).constData(), argv);
        qFatal("cannot start the copy of the test program: %s", std::strerror(errno));
    }
    privateHome = home;
    std::atexit(removePrivateHome);
}

QStringList othersFiles()
{
    QStringList files;
    for (const char *name : {"/others-1", "/others-2"}) {
        struct stat st;
        if (!privateHome.isEmpty() && ::stat((privateHome + name).constData(), &st) == 0 && st.st_uid != ::geteuid())
            files.append(QFile::decodeName(privateHome + name));
    }
    return files;
}

QString reachable(const char *path)
{
    const QByteArray copy = copyOf(privateHome, path);
    return !privateHome.isEmpty() && QFileInfo::exists(QFile::decodeName(copy)) ? QFile::decodeName(copy)
                                                                               : QFile::decodeName(path);
}

void headlessByDefault()
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("LC_ALL", "C.UTF-8", 0);
}

WorkDir::WorkDir()
    : m_previous(QDir::currentPath())
{
    if (!m_dir.isValid() || !QDir::setCurrent(m_dir.path()))
        qFatal("cannot enter a temporary folder");
}

WorkDir::~WorkDir()
{
    QDir::setCurrent(m_previous);
    // Give back the rights a test may have taken away, so that the folder can go.
    QDir dir(m_dir.path());
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QStringList entries = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QString &e : entries)
        QFile::setPermissions(dir.filePath(e), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QByteArray mixedText(qsizetype size, quint32 seed, quint32 longOneIn, quint32 longMax, quint32 shortMax)
{
    RandomSource r;
    r.setSeed(seed);
    const char *breaks[] = {"\r\n", "\n", "\r", "\n\r", "\r\r\n"};
    QByteArray text;
    while (text.size() < size) {
        const quint32 len = r.random(longOneIn) == 0 ? r.random(longMax) : r.random(shortMax);
        for (quint32 i = 0; i < len; ++i)
            text.append(char(0x20 + r.random(0xDF)));
        text.append(breaks[r.random(5)]);
    }
    return text;
}

QString failureText(const std::function<void()> &body)
{
    try {
        body();
    } catch (const Failure &f) {
        return f.text();
    }
    return QStringLiteral("<no failure>");
}

void writeFile(const QString &name, const QByteArray &bytes)
{
    QFile f(name);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write a test file");
}

QList<QByteArray> answersOf(const ResultLog &log)
{
    // An answer holds no line break (the fields never take one), so the breaks separate them.
    QList<QByteArray> lines;
    for (const QByteArray &block : log.pending()) {
        for (const QByteArray &line : block.split('\n'))
            if (!line.isEmpty())
                lines.append(line.chopped(1));
    }
    return lines;
}

QByteArray readFile(const QString &name)
{
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return f.readAll();
}

void makeDir(const QString &name)
{
    if (!QDir().mkpath(name))
        qFatal("cannot make a test folder");
}

RecordingPresenter::RecordingPresenter()
{
    Dialogs::setPresenter(this);
}

RecordingPresenter::~RecordingPresenter()
{
    Dialogs::setPresenter(nullptr);
}

void RecordingPresenter::present(Dialogs::Kind kind, const QString &text)
{
    boxes.append({kind, text});
    if (onBox)
        onBox(boxes.last());
}

QStringList RecordingPresenter::texts() const
{
    QStringList out;
    for (const Box &b : boxes)
        out << b.text;
    return out;
}

QStringList RecordingPresenter::errors() const
{
    QStringList out;
    for (const Box &b : boxes) {
        if (b.kind == Dialogs::Kind::Error)
            out << b.text;
    }
    return out;
}

QStringList RecordingPresenter::messages() const
{
    QStringList out;
    for (const Box &b : boxes) {
        if (b.kind == Dialogs::Kind::Message)
            out << b.text;
    }
    return out;
}

RecordingSoundPlayer::RecordingSoundPlayer()
{
    SystemSound::setPlayer(this);
}

RecordingSoundPlayer::~RecordingSoundPlayer()
{
    SystemSound::setPlayer(nullptr);
}

bool RecordingSoundPlayer::play(const SystemSound::SoundRequest &request)
{
    requests.append(request);
    if (onRequest)
        onRequest(request);
    return true;
}

QList<SystemSound::SoundRequest> RecordingSoundPlayer::sounds() const
{
    QList<SystemSound::SoundRequest> out;
    for (const SystemSound::SoundRequest &r : requests) {
        if (!r.isStop())
            out.append(r);
    }
    return out;
}

qsizetype RecordingSoundPlayer::stops() const
{
    return requests.size() - sounds().size();
}

QByteArray le16(quint16 v)
{
    char p[2];
    qToLittleEndian(v, p);
    return QByteArray(p, 2);
}

QByteArray le32(quint32 v)
{
    char p[4];
    qToLittleEndian(v, p);
    return QByteArray(p, 4);
}

QByteArray makeWav(int sampleRate, int channels, int bits, const QByteArray &samples, quint16 formatTag)
{
    const int blockAlign = channels * bits / 8;
    QByteArray out("RIFF");
    out += le32(quint32(4 + 8 + 16 + 8 + samples.size() + (samples.size() & 1)));
    out += "WAVEfmt ";
    out += le32(16);
    out += le16(formatTag);
    out += le16(quint16(channels));
    out += le32(quint32(sampleRate));
    out += le32(quint32(sampleRate * blockAlign));
    out += le16(quint16(blockAlign));
    out += le16(quint16(bits));
    out += "data";
    out += le32(quint32(samples.size()));
    out += samples;
    if (samples.size() & 1)
        out += '\0';
    return out;
}

QByteArray makeTone(int sampleRate, int channels, int milliseconds, double hertz)
{
    const qint64 frames = qint64(sampleRate) * milliseconds / 1000;
    QByteArray samples;
    samples.reserve(frames * channels * 2);
    for (qint64 i = 0; i < frames; ++i) {
        const auto v = qint16(std::lround(12000.0 * std::sin(2.0 * M_PI * hertz * double(i) / sampleRate)));
        char p[2];
        qToLittleEndian(v, p);
        for (int c = 0; c < channels; ++c)
            samples.append(p, 2);
    }
    return makeWav(sampleRate, channels, 16, samples);
}

void isolateFromSoundServer()
{
    // A server named explicitly is never started on demand; this one does not exist.
    const QByteArray nowhere = "unix:" + QDir::tempPath().toLocal8Bit() + "/vedalka-no-sound-server";
    ::setenv("PULSE_SERVER", nowhere.constData(), 1);
}

FixedCounter::FixedCounter(quint64 value)
{
    Clock::setCounter([value] { return value; });
}

FixedCounter::~FixedCounter()
{
    Clock::setCounter({});
}

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit rl{};
    ::getrlimit(RLIMIT_FSIZE, &rl);
    m_soft = rl.rlim_cur;
    m_hard = rl.rlim_max;
    rl.rlim_cur = rlim_t(bytes);
    ::setrlimit(RLIMIT_FSIZE, &rl);
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit rl{};
    rl.rlim_cur = m_soft;
    rl.rlim_max = m_hard;
    ::setrlimit(RLIMIT_FSIZE, &rl);
}

void typeText(QWidget *widget, const QString &text)
{
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

void whenModalAppears(std::function<void(QWidget *)> action, int timeoutMs)
{
    auto *timer = new QTimer;
    auto elapsed = std::make_shared<int>(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, elapsed, action, timeoutMs] {
        if (QWidget *w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            QPointer<QWidget> guard(w);
            action(w);
            // A failed check inside the action must not leave the test waiting on the window.
            if (guard && guard->isVisible() && QApplication::activeModalWidget() == guard)
                guard->close();
            return;
        }
        *elapsed += 10;
        if (*elapsed > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            qWarning("no modal window appeared");
        }
    });
    timer->start();
}

} // namespace TestSupport
