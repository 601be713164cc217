// A picture control: draws its picture from the top-left corner, either at its own size and
// clipped to the control, or scaled down in proportion to fit. Transparent parts of the
// picture let the window background show through. Reports clicks.
#pragma once

#include <QMetaMethod>
#include <QPixmap>
#include <QWidget>

class PictureBox : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QPixmap picture READ picture WRITE setPicture)
    Q_PROPERTY(bool proportional READ proportional WRITE setProportional)

public:
    explicit PictureBox(QWidget *parent = nullptr);

    QPixmap picture() const { return m_picture; }
    void setPicture(const QPixmap &picture);
    void clearPicture() { setPicture(QPixmap()); }

    bool proportional() const { return m_proportional; }
    void setProportional(bool on);

    // True when the window reacts to a click on the picture.
    bool isClickable() const { return isSignalConnected(QMetaMethod::fromSignal(&PictureBox::clicked)); }

    // The rectangle the picture occupies within the control.
    QRect pictureRect() const;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QPixmap m_picture;
    bool m_proportional = false;
    bool m_pressed = false;
};
