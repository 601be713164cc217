#include "platform/IconDisplay.h"

#include "core/IconFile.h"

#include <QApplication>
#include <QIcon>
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

QImage standardApplicationIcon()
{
    // The theme's generic program icon; without a theme, the icon the style gives windows that
    // have none of their own.
    const QIcon icon = QIcon::fromTheme(u"application-x-executable"_s,
                                        QApplication::style()->standardIcon(QStyle::SP_TitleBarMenuButton));
    const QSize size = targetSize();
    return icon.pixmap(size).toImage().scaled(size).convertToFormat(QImage::Format_ARGB32);
}

QImage picture(const IconFile &icon)
{
    if (icon.isStandardApplicationIcon())
        return standardApplicationIcon();
    return icon.decode(targetSize(), colourLimit());
}

} // namespace IconDisplay
