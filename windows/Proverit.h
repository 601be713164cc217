// The icon check window: test-loads every icon of the run in the picture folder, in the same
// way an answer loads one, and names the first that fails or congratulates the user. The
// window repaints during a long check, and closing it (or the session ending) stops the check.
#pragma once

#include "windows/SecondaryWindow.h"

#include "ui_Proverit.h"

class TProverka : public SecondaryWindow, public Ui::TProverka
{
    Q_OBJECT

public:
    explicit TProverka(QWidget *parent = nullptr);

    void Button1Click();

protected:
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Loads the icons in turn: the first that fails, or -1 when none did or the window closed.
    qint64 runCheck();
    void advanceProgress();
    // How much of the bar its value fills, in pixels.
    int filledPixels() const;

    // Events are handled this often during a check.
    static constexpr int EventsEveryMs = 50;
    int m_paintedPixels = -1; // filledPixels() as the bar was last painted
    bool m_checking = false;
    bool m_hiddenDuringCheck = false;
};
