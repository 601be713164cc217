#include "app/Startup.h"

#include "app/Vedalka.h"
#include "platform/Dialogs.h"
#include "platform/Termination.h"
#include "resources/Resources.h"
#include "windows/MenuBarStyle.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

using namespace Qt::StringLiterals;

namespace {

// The session manager's "die" reaches the application as a quit request; it is the session's
// close, not the user's. Once the window has closed, the quit goes on as usual. An object of its
// own watches the whole application, so that the main window's filter sees only its field.
class SessionQuit : public QObject
{
public:
    explicit SessionQuit(TForm1 *form)
        : QObject(form)
        , m_form(form)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit && m_form->isVisible()) {
            m_form->requestClose();
            return true;
        }
        return false;
    }

private:
    TForm1 *m_form;
};

// The main window the signals and the process's end speak to: the newest one, while it lives.
QPointer<TForm1> sessionWindow;

} // namespace

namespace Startup {

void prepareApplication()
{
    QCoreApplication::setApplicationName(u"vedalka"_s);
    QGuiApplication::setDesktopFileName(u"ru.vedalka.Vedalka"_s);
    Resources::init();
    // Over the desktop's style, made once, when first used.
    QApplication::setStyle(new MenuBarStyle);

    // The interface is Russian whatever the desktop's language, so Qt's own texts (the edit
    // fields' context menus) are too, where the translations are installed.
    auto *qtTexts = new QTranslator(qApp);
    if (qtTexts->load(u"qtbase_ru"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtTexts);
}

std::unique_ptr<TForm1> makeMainWindow()
{
    auto form = std::make_unique<TForm1>();
    sessionWindow = form.get();
    Termination::install([] {
        if (sessionWindow)
            sessionWindow->requestClose();
    });
    new SessionQuit(form.get());
    Termination::atEnd([] {
        if (sessionWindow)
            sessionWindow->saveAnswersAtEnd();
    });
    form->createWindows();
    return form;
}

} // namespace Startup
