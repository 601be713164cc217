// The icon check window: test-loads every icon in use and names the first that fails.
#pragma once

#include "windows/SecondaryWindow.h"

#include "ui_Proverit.h"

class TProverka : public SecondaryWindow, public Ui::TProverka
{
    Q_OBJECT

public:
    explicit TProverka(QWidget *parent = nullptr);
};
