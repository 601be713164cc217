#include "platform/Termination.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <mutex>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Termination {

namespace {

int g_pipe[2] = {-1, -1};

std::function<void()> g_handler;

// Never destroyed, so exit handlers that run after static destruction can still use it. The
// mutex is recursive because the last words may end in exit() themselves.
struct LastWords
{
    std::recursive_mutex mutex;
    std::function<void()> words;
    bool speaking = false;
};
LastWords &g_lastWords = *new LastWords;

QtMessageHandler g_qtMessages = nullptr;

void onMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    g_qtMessages(type, context, message);
    // Qt's warning just before it ends the process for a display that went away (in
    // QXcbConnection::processXcbEvents, QWaylandDisplay::checkWaylandError and blockingReadEvents):
    // before the Wayland plugin's _exit(), the last moment the program still has.
    if (type != QtWarningMsg
        || !(message.startsWith(u"The X11 connection broke") || message.startsWith(u"The Wayland connection ")))
        return;
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        sayLastWords();
        return;
    }
    // Qt 6.4's Wayland plugin can find the broken connection on its frame thread. What the last
    // words save belongs to the GUI thread, so they are said there; here only if it hangs.
    const auto said = std::make_shared<QSemaphore>();
    QMetaObject::invokeMethod(app, [said] {
        sayLastWords();
        said->release();
    }, Qt::QueuedConnection);
    if (!said->tryAcquire(1, 3000))
        sayLastWords();
}

void onSignal(int)
{
    // Only what is safe inside a signal handler: one byte down the pipe.
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[0], &byte, 1);
    errno = saved;
}

} // namespace

void install(std::function<void()> handler)
{
    g_handler = std::move(handler);
    if (g_pipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0)
        return;
    for (const int fd : g_pipe)
        ::fcntl(fd, F_SETFL, O_NONBLOCK);

    // Owned by the application, so it goes when the event loop does.
    auto *notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char bytes[64];
        while (::read(g_pipe[1], bytes, sizeof bytes) > 0) {
        }
        if (const std::function<void()> handler = g_handler)
            handler();
    });

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int sig : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(sig, &action, nullptr);
    // A log that is a pipe whose reader has gone fails its save ("Stream write error") instead
    // of ending the program.
    ::signal(SIGPIPE, SIG_IGN);
}

void atEnd(std::function<void()> lastWords)
{
    [[maybe_unused]] static const bool hooked = [] {
        g_qtMessages = qInstallMessageHandler(onMessage);
        return std::atexit(sayLastWords) == 0;
    }();
    const std::lock_guard lock(g_lastWords.mutex);
    g_lastWords.words = std::move(lastWords);
}

void sayLastWords()
{
    const std::lock_guard lock(g_lastWords.mutex);
    if (g_lastWords.speaking)
        return;
    g_lastWords.speaking = true;
    if (const std::function<void()> words = g_lastWords.words)
        words();
    g_lastWords.speaking = false;
}

} // namespace Termination
