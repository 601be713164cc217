// What a picture control needs to show a cartoon icon on this display: the style's large icon
// size, the primary screen's colour limit and the desktop's standard application icon.
#pragma once

#include <QImage>
#include <QSize>

class IconFile;

namespace IconDisplay {

// The size icons are chosen for: the style's large icon size (32 x 32 at the usual settings).
QSize targetSize();

// 2^depth of the primary screen, or 0 (unlimited) above 8 bits per pixel.
quint32 colourLimit();

// The desktop's standard application icon at the target size.
QImage standardApplicationIcon();

// The picture of a loaded icon: the standard application icon for type 0, else the decoded
// image for this display, null when the icon's data cannot be decoded.
QImage picture(const IconFile &icon);

} // namespace IconDisplay
