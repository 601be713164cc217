#include "platform/OnScreen.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace OnScreen {

QPoint fit(const QRect &outer, const QRect &area)
{
    const auto along = [](int start, int length, int areaStart, int areaLength) {
        if (length > areaLength)
            return areaStart;
        return qBound(areaStart, start, areaStart + areaLength - length);
    };
    return {along(outer.x(), outer.width(), area.x(), area.width()),
            along(outer.y(), outer.height(), area.y(), area.height())};
}

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
    const QPoint place = fit(outer, area);
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
