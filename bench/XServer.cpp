#include "XServer.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Bench {

XServer::XServer()
{
    // The server writes its display number to the descriptor named by -displayfd.
    m_server = std::make_unique<Process>(QStringList{u"Xvfb"_s, u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s,
                                                     u"1280x1024x24"_s, u"-nolisten"_s, u"tcp"_s, u"-br"_s,
                                                     u"-noreset"_s},
                                         Process::Options{});
    const QByteArray number = m_server->readLine().trimmed();
    if (number.isEmpty())
        fail(u"Xvfb did not start"_s);
    m_display = u':' + QString::fromLatin1(number);
    m_connection = xcb_connect(m_display.toLatin1().constData(), nullptr);
    if (xcb_connection_has_error(m_connection))
        fail(u"cannot connect to Xvfb on "_s + m_display);
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
}

XServer::~XServer()
{
    if (m_connection)
        xcb_disconnect(m_connection);
    // Ended gently, so that it removes its socket and lock file.
    m_server->terminate();
}

quint32 XServer::pixel(int x, int y)
{
    xcb_get_image_cookie_t cookie = xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, qint16(x),
                                                  qint16(y), 1, 1, ~0u);
    xcb_get_image_reply_t *reply = xcb_get_image_reply(m_connection, cookie, nullptr);
    if (!reply)
        fail(u"cannot read the screen of Xvfb"_s);
    quint32 value = 0;
    const int length = xcb_get_image_data_length(reply);
    std::memcpy(&value, xcb_get_image_data(reply), size_t(qMin(length, 4)));
    std::free(reply);
    return value & 0xFFFFFF;
}

qint64 XServer::waitForPaint(int x, int y, double timeoutMs)
{
    const double end = nowMs() + timeoutMs;
    while (nowMs() < end) {
        const quint32 value = pixel(x, y);
        if (value != 0)
            return value;
        ::usleep(200);
    }
    return -1;
}

void XServer::waitForBlack(int x, int y)
{
    const double end = nowMs() + 5000;
    while (pixel(x, y) != 0) {
        if (nowMs() > end)
            fail(u"a window stayed on the screen of Xvfb"_s);
        ::usleep(1000);
    }
}

} // namespace Bench
