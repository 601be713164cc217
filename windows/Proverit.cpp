#include "windows/Proverit.h"

using namespace Qt::StringLiterals;

TProverka::TProverka(QWidget *parent)
    : SecondaryWindow(parent)
{
    setupUi(this);
    finishSetup(u"Proverka"_s, QPoint(499, 222), scrollArea, client);
}
