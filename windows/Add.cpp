#include "windows/Add.h"

using namespace Qt::StringLiterals;

TDobavlenie::TDobavlenie(QWidget *parent)
    : SecondaryWindow(parent)
{
    setupUi(this);
    finishSetup(u"Dobavlenie"_s, QPoint(427, 167), scrollArea, client);
}
