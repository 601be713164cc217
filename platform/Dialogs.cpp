#include "platform/Dialogs.h"

#include "platform/MessageBox.h"
#include "resources/Resources.h"

#include <QApplication>
#include <QPointer>

using namespace Qt::StringLiterals;

namespace Dialogs {

namespace {

Presenter *g_presenter = nullptr;

void present(Kind kind, const QString &text)
{
    if (g_presenter) {
        g_presenter->present(kind, text);
        return;
    }
    Resources::useProgramIcon();
    const QPointer<QWidget> under = QApplication::activeWindow();
    MessageBox box(text, kind == Kind::Error, under);
    box.exec();
    // The window under the box gets the keyboard back, even where no window manager gives it.
    if (under && under->isVisible())
        under->activateWindow();
}

} // namespace

QString applicationTitle()
{
    return u"Ведал-ка!"_s;
}

void setPresenter(Presenter *presenter)
{
    g_presenter = presenter;
}

void showMessage(const QString &text)
{
    present(Kind::Message, text);
}

QString errorDisplayText(const QString &text)
{
    if (!text.isEmpty() && text.back().unicode() > u'.')
        return text + u'.';
    return text;
}

void showError(const QString &text)
{
    present(Kind::Error, errorDisplayText(text));
}

} // namespace Dialogs
