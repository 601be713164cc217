// What the three secondary windows share: a sizeable frame with only a close box, a fixed
// place on the screen (moved only as far as it takes to be wholly on it), modal display over the
// main window (set in each .ui), Enter on the focused button, and scroll bars that appear when
// the window is made smaller than its controls.
#pragma once

#include <QDialog>

class SecondaryWindow : public QDialog
{
    Q_OBJECT

public:
    explicit SecondaryWindow(QWidget *parent = nullptr);

protected:
    // Called by the subclasses once their controls exist.
    void finishSetup(QPoint designedPosition);
    void showEvent(QShowEvent *event) override;
};
