// The add-phrase window: shows how many phrases the base holds and adds a new one, unless it
// is empty or already there word for word. It closes after the button in every case.
#pragma once

#include "windows/SecondaryWindow.h"

#include "ui_Add.h"

class TDobavlenie : public SecondaryWindow, public Ui::TDobavlenie
{
    Q_OBJECT

public:
    explicit TDobavlenie(QWidget *parent = nullptr);

    void FormShow();
    void DobavitClick();

protected:
    void showEvent(QShowEvent *event) override;
};
