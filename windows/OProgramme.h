// The About window: warns the user what kind of program this is.
#pragma once

#include "windows/SecondaryWindow.h"

#include "ui_OProgramme.h"

class TAboutForm : public SecondaryWindow, public Ui::TAboutForm
{
    Q_OBJECT

public:
    explicit TAboutForm(QWidget *parent = nullptr);

    void Button1Click();

protected:
    void showEvent(QShowEvent *event) override;
};
