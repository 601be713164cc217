#include "windows/OProgramme.h"

#include "platform/Dialogs.h"
#include "resources/Resources.h"

using namespace Qt::StringLiterals;

TAboutForm::TAboutForm(QWidget *parent)
    : SecondaryWindow(parent)
{
    setupUi(this);
    setWindowIcon(Resources::icon(u":/icons/about-window.png"_s));
    Image1->setDrawings(Resources::Drawings(u":/icons/about-image1.png"_s));
    finishSetup(QPoint(315, 152));
    Dialogs::connectGuarded(Button1, &QPushButton::clicked, this, &TAboutForm::Button1Click);
}

void TAboutForm::showEvent(QShowEvent *event)
{
    // The credit line is as wide as its text. Measured when shown, so that a start-up does
    // not lay out a line it does not show.
    Label6->adjustSize();
    SecondaryWindow::showEvent(event);
}

void TAboutForm::Button1Click()
{
    close();
}
