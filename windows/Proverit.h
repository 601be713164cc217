// The icon check window: test-loads every icon of the run in the picture folder, in the same
// way an answer loads one, and names the first that fails or congratulates the user.
#pragma once

#include "windows/SecondaryWindow.h"

#include "ui_Proverit.h"

class TProverka : public SecondaryWindow, public Ui::TProverka
{
    Q_OBJECT

public:
    explicit TProverka(QWidget *parent = nullptr);

    void Button1Click();

private:
    void advanceProgress();
    int m_filledPixels = -1;
};
