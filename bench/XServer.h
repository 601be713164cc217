// A private Xvfb for the start-up cases, and a watcher that sees from outside when a program's
// window has painted its first frame: the server is started with a black root window and no
// window manager, a new window keeps the root's black until its program draws into it, so the
// first frame is there when a pixel inside the window turns from black to anything else.
#pragma once

#include "Harness.h"

#include <memory>

struct xcb_connection_t;

namespace Bench {

class XServer
{
public:
    XServer();
    ~XServer();
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;

    // ":<n>"
    QString display() const { return m_display; }

    // Waits until the screen pixel at (x, y) is not black; its colour, or -1 after the timeout.
    qint64 waitForPaint(int x, int y, double timeoutMs);
    // Waits until the pixel is black again (the window has gone).
    void waitForBlack(int x, int y);

private:
    quint32 pixel(int x, int y);

    std::unique_ptr<Process> m_server;
    QString m_display;
    xcb_connection_t *m_connection = nullptr;
    quint32 m_root = 0;
};

} // namespace Bench
