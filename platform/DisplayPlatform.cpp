#include "platform/DisplayPlatform.h"

using namespace Qt::StringLiterals;

namespace DisplayPlatform {

QByteArray fallbackList(const QProcessEnvironment &environment)
{
    if (!environment.value(u"QT_QPA_PLATFORM"_s).isEmpty())
        return {};
    const bool wayland = !environment.value(u"WAYLAND_DISPLAY"_s).isEmpty()
                         || environment.value(u"XDG_SESSION_TYPE"_s) == u"wayland"_s;
    const bool gnome = environment.value(u"XDG_CURRENT_DESKTOP"_s).contains(u"gnome"_s, Qt::CaseInsensitive)
                       || environment.value(u"XDG_SESSION_DESKTOP"_s).contains(u"gnome"_s, Qt::CaseInsensitive);
    return wayland && !gnome ? "wayland;xcb" : "xcb;wayland";
}

void chooseFallback()
{
    const QByteArray list = fallbackList(QProcessEnvironment::systemEnvironment());
    if (!list.isEmpty())
        qputenv("QT_QPA_PLATFORM", list);
}

} // namespace DisplayPlatform
