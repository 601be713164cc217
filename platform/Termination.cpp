#include "platform/Termination.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Termination {

namespace {

int g_pipe[2] = {-1, -1};

std::function<void()> &handlerSlot()
{
    static std::function<void()> handler;
    return handler;
}

std::function<void()> &lastWordsSlot()
{
    // Never destroyed, so exit handlers that run after static destruction can still look at it.
    static auto *slot = new std::function<void()>;
    return *slot;
}

void runLastWords()
{
    std::function<void()> lastWords;
    std::swap(lastWords, lastWordsSlot());
    if (lastWords)
        lastWords();
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
    handlerSlot() = std::move(handler);
    if (g_pipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0)
        return;
    ::fcntl(g_pipe[0], F_SETFL, O_NONBLOCK);
    ::fcntl(g_pipe[1], F_SETFL, O_NONBLOCK);

    // Owned by the application, so it goes when the event loop does.
    auto *notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char bytes[64];
        while (::read(g_pipe[1], bytes, sizeof bytes) > 0) {
        }
        if (const std::function<void()> handler = handlerSlot())
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

void atExit(std::function<void()> lastWords)
{
    static const bool registered = std::atexit(runLastWords) == 0;
    if (registered)
        lastWordsSlot() = std::move(lastWords);
}

} // namespace Termination
