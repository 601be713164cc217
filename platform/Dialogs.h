// Message boxes, the error display, the handler guard and guarded connections.
//
// Every handler body runs inside guard(): a Failure thrown there skips the rest of the body and
// is shown by the error display, and the program carries on. Tests put a Presenter of their own
// in place of the real boxes to record them instead of waiting for a click.
#pragma once

#include "core/Failure.h"

#include <QObject>
#include <QString>

#include <new>

namespace Dialogs {

// The application title: the caption of every box.
QString applicationTitle();

enum class Kind { Message, Error };

class Presenter
{
public:
    virtual ~Presenter() = default;
    virtual void present(Kind kind, const QString &text) = 0;
};

// nullptr restores the real boxes.
void setPresenter(Presenter *presenter);

// A modal box without an icon and one "OK" button; waits until it is dismissed.
void showMessage(const QString &text);

// The error display: a modal box with the stop icon, its text completed by a full stop.
void showError(const QString &text);

// A full stop is added when the text is not empty and its last character's code is above
// that of the full stop itself.
QString errorDisplayText(const QString &text);

// Runs body; a failure skips its rest and is shown. True when the body ran to its end.
template<class Body>
bool guard(Body &&body) noexcept
{
    try {
        body();
        return true;
    } catch (const Failure &failure) {
        showError(failure.text());
    } catch (const std::bad_alloc &) {
        showError(QStringLiteral("Out of memory"));
    } catch (const std::exception &e) {
        showError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        showError(QStringLiteral("Unknown error"));
    }
    return false;
}

// Connects signal to a handler of receiver that takes no arguments and runs inside guard().
template<class Sender, class Signal, class Receiver>
void connectGuarded(const Sender *sender, Signal signal, Receiver *receiver, void (Receiver::*handler)())
{
    QObject::connect(sender, signal, receiver, [receiver, handler] { guard([&] { (receiver->*handler)(); }); });
}

} // namespace Dialogs
