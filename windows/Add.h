// The add-phrase window: shows how many phrases the base holds and adds a new one.
#pragma once

#include "windows/SecondaryWindow.h"

#include "ui_Add.h"

class TDobavlenie : public SecondaryWindow, public Ui::TDobavlenie
{
    Q_OBJECT

public:
    explicit TDobavlenie(QWidget *parent = nullptr);
};
