#include "app/Startup.h"

#include "platform/Dialogs.h"
#include "platform/Fonts.h"
#include "resources/Resources.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

using namespace Qt::StringLiterals;

namespace Startup {

void prepareApplication()
{
    QCoreApplication::setApplicationName(u"vedalka"_s);
    QGuiApplication::setDesktopFileName(u"ru.vedalka.Vedalka"_s);
    Resources::init();
    QApplication::setWindowIcon(Resources::programIcon());
    Fonts::installSubstitutions();

    // The interface is Russian whatever the desktop's language, so Qt's own texts (the edit
    // fields' context menus) are too, where the translations are installed.
    auto *qtTexts = new QTranslator(qApp);
    if (qtTexts->load(u"qtbase_ru"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtTexts);
}

} // namespace Startup
