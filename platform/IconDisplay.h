// What a picture control needs to show a cartoon icon on this display: the style's large icon
// size, the primary screen's colour limit and the standard application icon.
#pragma once

#include <QImage>
#include <QSize>

class IconFile;

namespace IconDisplay {

// The size icons are chosen for at ratio 1: the style's large icon size (32 x 32 at the usual
// settings). A screen of another device pixel ratio chooses for as many device pixels.
QSize targetSize();

// 2^depth of the primary screen, or 0 (unlimited) above 8 bits per pixel.
quint32 colourLimit();

// The picture of a loaded icon at a device pixel ratio: for type 0 the program's own drawing of
// a program at the target size, else the decoded image for this display (see IconFile::decode),
// null when the icon's data cannot be decoded.
QImage picture(const IconFile &icon, qreal ratio = 1);

} // namespace IconDisplay
