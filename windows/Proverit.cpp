#include "windows/Proverit.h"

#include "core/Failure.h"
#include "core/IconFile.h"
#include "core/Files.h"
#include "core/Stores.h"
#include "platform/Dialogs.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QScopeGuard>

using namespace Qt::StringLiterals;

TProverka::TProverka(QWidget *parent)
    : SecondaryWindow(parent)
{
    setupUi(this);
    finishSetup(QPoint(499, 222));
    Dialogs::connectGuarded(Button1, &QPushButton::clicked, this, &TProverka::Button1Click);
    ProgressBar1->installEventFilter(this);
}

void TProverka::Button1Click()
{
    // A click that reaches the button while a check runs starts no second one.
    if (m_checking)
        return;
    m_checking = true;
    m_hiddenDuringCheck = false;
    // Events run during the check, so the window could even be gone when it ends.
    const QPointer<TProverka> self(this);
    const auto done = qScopeGuard([self] {
        if (self)
            self->m_checking = false;
    });
    const qint64 failedIcon = runCheck();
    if (!self)
        return;
    // Closed by the user or by the session's end while it ran: nothing more to say.
    if (!m_hiddenDuringCheck) {
        if (failedIcon >= 0)
            Dialogs::showMessage(u"иконка под номером %1 не канает, её необходимо удалить :("_s.arg(failedIcon));
        else
            Dialogs::showMessage(u"поздравляем, все иконки подходят для этой программы :)"_s);
        close();
    }
    ProgressBar1->hide();
}

qint64 TProverka::runCheck()
{
    ProgressBar1->show();
    ProgressBar1->setValue(0);
    const qint64 count = Stores::countIconRun();
    if (count <= 0)
        return -1;
    // A bar from 0 to 0 would show Qt's "busy" animation; one icon fills a bar from 0 to 1.
    ProgressBar1->setRange(0, int(qBound(qint64(1), count - 1, qint64(INT_MAX))));
    const QPointer<TProverka> self(this);
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    for (qint64 i = 0; i < count; ++i) {
        const QString path = Stores::iconPath(i);
        if (!Files::exists(path))
            continue; // removed since the count
        try {
            IconFile icon;
            icon.load(path);
            // The picture would be shown and cleared before the window is ever redrawn.
            Image1->setPicture({});
            advanceProgress();
        } catch (const Failure &) {
            return i;
        }
        // Over many large icons the check takes a while: now and then the windows repaint, and a
        // close by the user or by the session is heard and ends the check.
        if (sinceEvents.elapsed() >= EventsEveryMs) {
            QCoreApplication::processEvents();
            if (!self || m_hiddenDuringCheck)
                return -1;
            sinceEvents.restart();
        }
    }
    return -1;
}

void TProverka::hideEvent(QHideEvent *event)
{
    if (m_checking)
        m_hiddenDuringCheck = true;
    SecondaryWindow::hideEvent(event);
}

bool TProverka::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ProgressBar1 && event->type() == QEvent::Paint)
        m_paintedPixels = filledPixels();
    return SecondaryWindow::eventFilter(watched, event);
}

int TProverka::filledPixels() const
{
    const int span = ProgressBar1->maximum() - ProgressBar1->minimum();
    return span > 0 ? int(qint64(ProgressBar1->value()) * ProgressBar1->width() / span) : 0;
}

void TProverka::advanceProgress()
{
    ProgressBar1->setValue(qMin(ProgressBar1->value() + 1, ProgressBar1->maximum()));
    // The check runs without returning to the event loop, so the bar is painted here, but only
    // when its filled part has grown by a pixel since it was last painted: thousands of icons
    // need not mean thousands of paints. setValue() may have painted it already (Qt 6.8 does at
    // about every pixel, Qt 6.4 at every few), and a bar just painted is not painted again.
    if (filledPixels() != m_paintedPixels)
        ProgressBar1->repaint();
}
