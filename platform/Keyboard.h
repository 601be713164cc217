// The keys the desktop the windows come from gives every window: Enter and Return press the
// push button that has the focus, as Space does, whether or not it is the window's default.
#pragma once

class QWidget;

namespace Keyboard {

// For every push button inside the window.
void enterPressesButtons(QWidget *window);

} // namespace Keyboard
