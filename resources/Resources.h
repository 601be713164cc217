// The program's own pictures and icons, embedded from resources.qrc:
//   :/pictures/banner.png            640 x 320, the main window's big picture
//   :/pictures/karikatura-start.png  60 x 80, 256 colours, the likeness before the first answer
//   :/icons/program.png              32 x 32, the program's icon (program-16.png ... -256.png too)
//   :/icons/mainwindow.png           32 x 32, the main window's icon
//   :/icons/menu-*.png               16 x 16, the six menu images
//   :/icons/add-window.png, add-image1.png, add-image2.ico (32 and 48)   the add-phrase window
//   :/icons/about-window.png, about-image1.png (16 colours)             the About window
#pragma once

class QIcon;

namespace Resources {

// Registers the embedded pictures. vedalka_lib is a static library, so nothing would pull the
// compiled resources into an executable otherwise: call this before loading any of them.
// Calling it again does nothing.
void init();

// The program's icon in every size it is drawn in, for the application and for windows without
// an icon of their own.
QIcon programIcon();

} // namespace Resources
