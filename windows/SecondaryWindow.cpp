#include "windows/SecondaryWindow.h"

#include "platform/Fonts.h"
#include "platform/Keyboard.h"
#include "platform/OnScreen.h"
#include "resources/Resources.h"

#include <QScrollArea>
#include <QShowEvent>

SecondaryWindow::SecondaryWindow(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint)
{
    Resources::init();
}

void SecondaryWindow::finishSetup(QPoint designedPosition)
{
    Fonts::followDesign(this);
    // The controls keep their places; when the window is smaller than they need, the client
    // area (the scroll area's widget in every .ui) scrolls.
    QWidget *client = findChild<QScrollArea *>()->widget();
    QRect extent;
    for (QWidget *w : client->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        extent |= w->geometry();
    client->setMinimumSize(extent.right() + 1, extent.bottom() + 1);
    Keyboard::enterPressesButtons(this);
    move(designedPosition);
}

void SecondaryWindow::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        OnScreen::keep(this);
    QDialog::showEvent(event);
}
