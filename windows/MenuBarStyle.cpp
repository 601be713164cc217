#include "windows/MenuBarStyle.h"

#include "resources/Resources.h"
#include "windows/PictureBox.h"

#include <QPainter>
#include <QStyleOptionMenuItem>

constexpr int IconSize = 16, Gap = 4;

void MenuBarStyle::drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                               const QWidget *widget) const
{
    const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
    if (element != CE_MenuBarItem || !item || item->icon.isNull()) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    // The base style draws the item's panel; the image and caption go on top of it.
    QStyleOptionMenuItem panel(*item);
    panel.icon = QIcon();
    panel.text.clear();
    QProxyStyle::drawControl(element, &panel, painter, widget);

    const bool enabled = item->state & State_Enabled;
    const bool active = (item->state & State_Selected) && (item->state & State_Sunken);
    const int textWidth = item->fontMetrics.horizontalAdvance(QString(item->text).remove(u'&'));
    const int contentWidth = IconSize + Gap + textWidth;
    const QRect r = item->rect;
    const int left = r.left() + (r.width() - contentWidth) / 2;
    // Made for the screen's ratio, so that a scaled menu bar shows a sharp image.
    const QPixmap pm = item->icon.pixmap(QSize(IconSize, IconSize), PictureBox::deviceRatio(*painter),
                                         enabled ? QIcon::Normal : QIcon::Disabled);
    painter->drawPixmap(left, r.top() + (r.height() - IconSize) / 2, pm);
    const QRect textRect(left + IconSize + Gap, r.top(), textWidth + 1, r.height());
    drawItemText(painter, textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, item->palette, enabled,
                 item->text, active ? QPalette::HighlightedText : QPalette::ButtonText);
}

QSize MenuBarStyle::sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                                     const QWidget *widget) const
{
    const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
    if (type != CT_MenuBarItem || !item || item->icon.isNull())
        return QProxyStyle::sizeFromContents(type, option, size, widget);
    const QSize text = item->fontMetrics.size(Qt::TextShowMnemonic, item->text);
    const QSize contents(IconSize + Gap + text.width(), qMax(IconSize, text.height()));
    return QProxyStyle::sizeFromContents(type, option, contents, widget);
}

QIcon MenuBarStyle::standardIcon(StandardPixmap icon, const QStyleOption *option, const QWidget *widget) const
{
    // A menu bar makes its overflow button as it is made, and Qt reads its own picture for it
    // with every image plugin loaded to look at the file; ours is read as the PNG it is.
    if (icon == SP_ToolBarHorizontalExtensionButton)
        return Resources::icon(QStringLiteral(":/icons/menu-more.png"));
    return QProxyStyle::standardIcon(icon, option, widget);
}
