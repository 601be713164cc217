// A picture control: draws its picture from the top-left corner, either at its own size and
// clipped to the control, or scaled down in proportion to fit; transparent parts show the
// window. Reports clicks, and is an image to screen readers. Sizes are logical pixels; on a
// scaled screen a picture with exactly the device pixels its place needs is drawn 1:1.
#pragma once

#include <QMetaMethod>
#include <QPixmap>
#include <QWidget>

#include <functional>

class QPainter;
namespace Resources {
class Drawings;
}

class PictureBox : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool proportional READ proportional WRITE setProportional)

public:
    // Makes the picture for a device pixel ratio; the one for ratio 1 sets the natural size.
    using Maker = std::function<QPixmap(qreal ratio)>;

    explicit PictureBox(QWidget *parent = nullptr);

    // The picture as drawn at ratio 1.
    QPixmap picture() const { return made(); }
    // One picture for every ratio, scaled as needed.
    void setPicture(const QPixmap &picture);
    void setPictureMaker(Maker maker);
    // One of the program's own pictures, in the size it is drawn for at each ratio.
    void setDrawings(const Resources::Drawings &drawings);

    bool proportional() const { return m_proportional; }
    void setProportional(bool on);

    // True when the window reacts to a click on the picture.
    bool isClickable() const { return isSignalConnected(QMetaMethod::fromSignal(&PictureBox::clicked)); }

    // The rectangle the picture occupies within the control.
    QRect pictureRect() const;

    // What the control draws at this device pixel ratio: as many pixels as the picture's place
    // there, with that ratio set. Null without a picture.
    QPixmap pictureAt(qreal ratio) const;

    // The device pixel ratio a painter draws at, also when a widget is rendered into a picture.
    static qreal deviceRatio(const QPainter &painter);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void forgetShown();
    const QPixmap &made() const;

    // A maker's picture for ratio 1 is made when first needed: a window made hidden at start-up
    // decodes none of its pictures until it is shown.
    mutable QPixmap m_picture;
    mutable bool m_made = true;
    Maker m_maker;
    QPixmap m_shown; // pictureAt(m_shownRatio), kept between repaints
    qreal m_shownRatio = 0;
    bool m_proportional = false;
    bool m_pressed = false;
};
