#include "windows/OProgramme.h"

using namespace Qt::StringLiterals;

TAboutForm::TAboutForm(QWidget *parent)
    : SecondaryWindow(parent)
{
    setupUi(this);
    finishSetup(u"AboutForm"_s, QPoint(315, 152), scrollArea, client);
}
