// Windows that open wholly on the screen. Each window has its designed place; on a small screen,
// or at a large scale, that place would put part of it (the close box, the big button) out of
// reach, so it is moved, never resized, just enough to fit.
#pragma once

#include <QRect>

class QWidget;

namespace OnScreen {

// Moves the top-level window into `area`, frame included, the least along each axis, to the
// area's left or top edge along an axis where it is larger than the area. The frame is the one
// the window system reports, or a classic one (4-pixel border, 19-pixel caption) until it is known.
void keep(QWidget *window, const QRect &area);
// The same within the available area (the screen less its panels) of the screen it is on.
void keep(QWidget *window);

} // namespace OnScreen
