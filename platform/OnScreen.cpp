#include "platform/OnScreen.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace OnScreen {

namespace {

QRect outerRect(const QWidget *window)
{
    QMargins frame(4, 23, 4, 4);
    if (const QWindow *handle = window->windowHandle(); handle && !handle->frameMargins().isNull())
        frame = handle->frameMargins();
    // A top-level window's position is its frame's corner.
    return QRect(window->pos(), window->size().grownBy(frame));
}

} // namespace

void keep(QWidget *window, const QRect &area)
{
    const QRect outer = outerRect(window);
    const auto along = [](int start, int length, int areaStart, int areaLength) {
        return length > areaLength ? areaStart : qBound(areaStart, start, areaStart + areaLength - length);
    };
    const QPoint place(along(outer.x(), outer.width(), area.x(), area.width()),
                       along(outer.y(), outer.height(), area.y(), area.height()));
    if (place != outer.topLeft())
        window->move(place);
}

void keep(QWidget *window)
{
    const QRect outer = outerRect(window);
    QScreen *screen = QGuiApplication::screenAt(outer.center());
    if (!screen)
        screen = window->screen();
    if (screen)
        keep(window, screen->availableGeometry());
}

} // namespace OnScreen
