#include "windows/Add.h"

#include "core/Cp1251.h"
#include "core/PhraseBase.h"
#include "core/Stores.h"
#include "platform/Dialogs.h"
#include "resources/Resources.h"
#include "windows/StorableField.h"

#include <QShowEvent>

using namespace Qt::StringLiterals;

TDobavlenie::TDobavlenie(QWidget *parent)
    : SecondaryWindow(parent)
{
    setupUi(this);
    setWindowIcon(Resources::icon(u":/icons/add-window.png"_s));
    Image1->setDrawings(Resources::Drawings(u":/icons/add-image1.png"_s));
    // The book of phrases holds a 32 and a 48 pixel image; the window shows the 32 pixel one.
    Image2->setDrawings(Resources::Drawings(u":/icons/add-image2.ico"_s));
    // The desktop's scroll-bar grey; the scroll area fills its widget's background.
    client->setBackgroundRole(QPalette::Midlight);
    StorableField::install(New);
    finishSetup(QPoint(427, 167));
    Dialogs::connectGuarded(Dobavit, &QPushButton::clicked, this, &TDobavlenie::DobavitClick);
}

void TDobavlenie::showEvent(QShowEvent *event)
{
    SecondaryWindow::showEvent(event);
    if (!event->spontaneous()) {
        // Typing goes into the field at every opening, whatever had the focus when it closed.
        New->setFocus();
        Dialogs::guard([this] { FormShow(); });
    }
}

void TDobavlenie::FormShow()
{
    PhraseBase base;
    base.load(Stores::phraseBase());
    Kol->setText(QString::number(base.count()));
    Kol->adjustSize();
    New->clear();
}

void TDobavlenie::DobavitClick()
{
    PhraseBase::appendIfNew(Stores::phraseBase(), Cp1251::encode(New->text()));
    close();
}
