#include "platform/IconDisplay.h"

#include "core/IconFile.h"
#include "resources/Resources.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>

using namespace Qt::StringLiterals;

namespace IconDisplay {

QSize targetSize()
{
    const int side = QApplication::style()->pixelMetric(QStyle::PM_LargeIconSize);
    return {side, side};
}

quint32 colourLimit()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? IconFile::colourLimitForDepth(screen->depth()) : 0;
}

QImage picture(const IconFile &icon, qreal ratio)
{
    if (!icon.isStandardApplicationIcon())
        return icon.decode(targetSize(), colourLimit(), ratio);
    // Not the toolkit's or the desktop theme's logo: a picture of a program of our own.
    static const Resources::Drawings drawings(u":/icons/standard-application.png"_s);
    QImage image = drawings.image((QSizeF(targetSize()) * ratio).toSize());
    image.setDevicePixelRatio(ratio);
    return image;
}

} // namespace IconDisplay
