// Which of Qt's display platforms the program tries, and in which order. Qt picks one platform
// from the session's type and ends the program when its plugin is missing or cannot reach the
// display; given a list, it tries the next one instead.
#pragma once

#include <QByteArray>
#include <QProcessEnvironment>

namespace DisplayPlatform {

// The platforms to try, the session's own first and the other after it ("wayland;xcb" on a
// Wayland session, "xcb;wayland" elsewhere), or nothing when the user has chosen one. On GNOME
// X comes first, as Qt itself has it there: its windows get the desktop's own frame that way.
QByteArray fallbackList(const QProcessEnvironment &environment);

// Puts that list into QT_QPA_PLATFORM; called before the application object is made.
void chooseFallback();

} // namespace DisplayPlatform
