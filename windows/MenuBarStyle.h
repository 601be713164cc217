// The program's style: the desktop's own, except that menu bar items show their image beside
// their caption (Qt's own styles show one or the other). It is the application's style, set
// before any window is made, so that a menu bar asks it for its overflow button's picture.
#pragma once

#include <QProxyStyle>

class MenuBarStyle : public QProxyStyle
{
    Q_OBJECT

public:
    using QProxyStyle::QProxyStyle;

    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget = nullptr) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                           const QWidget *widget = nullptr) const override;
    QIcon standardIcon(StandardPixmap icon, const QStyleOption *option = nullptr,
                       const QWidget *widget = nullptr) const override;
};
