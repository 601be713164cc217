#include "windows/SecondaryWindow.h"

#include "platform/Fonts.h"
#include "platform/Keyboard.h"
#include "platform/OnScreen.h"
#include "resources/Resources.h"

#include <QScrollArea>
#include <QShowEvent>

SecondaryWindow::SecondaryWindow(QWidget *parent)
    : QDialog(parent)
{
    Resources::init();
}

void SecondaryWindow::finishSetup(const QString &name, QPoint designedPosition, QScrollArea *scroll, QWidget *client)
{
    Fonts::followDesign(this);
    setObjectName(name);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    setWindowModality(Qt::ApplicationModal);

    // The controls keep their places; when the window is smaller than they need, the client
    // area scrolls.
    QRect extent;
    for (QWidget *w : client->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        extent = extent.united(w->geometry());
    client->setMinimumSize(extent.right() + 1, extent.bottom() + 1);
    scroll->setWidget(client);
    // The scroll area is a frame, not a control: focus goes to the first control.
    scroll->setFocusPolicy(Qt::NoFocus);
    Keyboard::enterPressesButtons(this);
    move(designedPosition);
}

void SecondaryWindow::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        OnScreen::keep(this);
    QDialog::showEvent(event);
}
