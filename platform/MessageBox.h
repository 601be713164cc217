// The program's modal box: the application title as caption, an optional stop icon, the text
// wrapped at half the screen's width (inside a word when it must), and one "OK" button that is
// both default and cancel. Centred on the screen with its frame.
#pragma once

#include <QDialog>
#include <QMargins>

class QPushButton;

class MessageBox : public QDialog
{
    Q_OBJECT

public:
    MessageBox(const QString &text, bool errorIcon, QWidget *parent = nullptr);

    QString text() const { return m_text; }
    QPushButton *okButton() const { return m_ok; }

protected:
    bool event(QEvent *event) override;

private:
    // Centres the box with a frame of this size around it.
    void centre(const QMargins &frame);

    QMargins m_centredFrame;
    QString m_text;
    QPushButton *m_ok = nullptr;
};
