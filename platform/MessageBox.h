// The program's modal box: the application title as caption, an optional stop icon, the text
// wrapped at half the screen's width, and one "OK" button that is both default and cancel.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

class MessageBox : public QDialog
{
    Q_OBJECT

public:
    MessageBox(const QString &text, bool errorIcon, QWidget *parent = nullptr);

    QString text() const { return m_text; }
    bool hasErrorIcon() const { return m_errorIcon; }
    QPushButton *okButton() const { return m_ok; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    QString m_text;
    bool m_errorIcon;
    QLabel *m_label = nullptr;
    QPushButton *m_ok = nullptr;
};
