// The program's own pictures and icons, embedded from resources.qrc. Each is drawn at the size
// its control shows at 96 dpi, and again at twice that size (name@2x) for screens scaled by 2;
// window icons come in every size a desktop asks for (name-16, name-24, name-48, name-64).
//   :/pictures/banner.png            242 x 121, the main window's big picture, at the size shown
//   :/pictures/karikatura-start.png  60 x 80, 256 colours, the likeness before the first answer
//   :/icons/program.png              32 x 32, the program's icon (program-16.png ... -256.png too)
//   :/icons/mainwindow.png           32 x 32, the main window's icon
//   :/icons/menu-*.png               16 x 16, the six menu images and the menu bar's button for
//                                    menus that do not fit (menu-more)
//   :/icons/add-window.png, add-image1.png, add-image2.ico (32 and 48)   the add-phrase window
//   :/icons/about-window.png, about-image1.png (16 colours)             the About window
//   :/icons/standard-application.png 32 x 32, shown for an icon file that names no picture
#pragma once

#include <QImage>
#include <QList>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>

class QIcon;

namespace Resources {

// Registers the embedded pictures. vedalka_resources is a static library, so nothing would pull the
// compiled resources into an executable otherwise: call this before loading any of them.
// Calling it again does nothing.
void init();

// One picture in every size it was drawn in: the file itself, its sharper version (name@2x)
// and its other sizes (name-16 ... name-256); every image of an .ico file.
class Drawings
{
public:
    Drawings() = default;
    explicit Drawings(const QString &path);

    bool isNull() const { return found().sizes.isEmpty(); }
    // The size of the file itself: the picture's place, in logical pixels.
    QSize size() const;
    QList<QSize> sizes() const;

    // Exactly this many pixels: the drawing of that size, else the smallest larger one (or the
    // largest of all) scaled smoothly. ARGB32.
    QImage image(QSize pixels) const;
    // The picture for a place of this many logical pixels at a device pixel ratio.
    QPixmap pixmap(QSize place, qreal ratio) const;

private:
    // The files are looked for and measured when first asked about, and a drawing is decoded
    // when first asked for, so a start-up pays only for what its first frame shows. Copies
    // share both.
    struct Found
    {
        QString path;
        bool measured = false;
        QList<QSize> sizes; // the file itself first
        QStringList paths; // empty where the image was decoded at once
        QList<QImage> images;
    };

    const Found &found() const;
    const QImage &decoded(qsizetype i) const;

    std::shared_ptr<Found> m_found;
};

// The drawings as an icon whose pixmaps are exactly the size asked for at any device pixel ratio.
QIcon icon(const QString &path);

// The program's icon in every size it is drawn in, for the application and for windows without
// an icon of their own.
QIcon programIcon();

// Makes the program's icon the application's, once. Called as the first window that needs it
// is shown, not before the main window: a window is made on the display with the application's
// icon in every size, so the main window, which has its own, would draw it for nothing.
void useProgramIcon();

} // namespace Resources
