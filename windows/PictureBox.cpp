#include "windows/PictureBox.h"

#include "resources/Resources.h"
#include "windows/PictureBoxAccessible.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPaintEngine>

PictureBox::PictureBox(QWidget *parent)
    : QWidget(parent)
{
    setAutoFillBackground(false);
    PictureBoxAccessible::install();
}

void PictureBox::setPicture(const QPixmap &picture)
{
    m_maker = nullptr;
    m_picture = picture;
    m_made = true;
    forgetShown();
}

void PictureBox::setPictureMaker(Maker maker)
{
    m_picture = QPixmap();
    m_made = !maker;
    m_maker = std::move(maker);
    forgetShown();
}

const QPixmap &PictureBox::made() const
{
    if (!m_made) {
        m_picture = m_maker(1);
        m_made = true;
    }
    return m_picture;
}

void PictureBox::setDrawings(const Resources::Drawings &drawings)
{
    setPictureMaker([drawings](qreal ratio) { return drawings.pixmap(drawings.size(), ratio); });
}

void PictureBox::setProportional(bool on)
{
    m_proportional = on;
    forgetShown();
}

void PictureBox::forgetShown()
{
    m_shown = QPixmap();
    m_shownRatio = 0;
    update();
}

QRect PictureBox::pictureRect() const
{
    if (made().isNull())
        return {};
    const QSize natural = m_picture.deviceIndependentSize().toSize();
    // A proportional picture is only ever scaled down, keeping its proportions.
    if (!m_proportional || (natural.width() <= width() && natural.height() <= height()))
        return QRect(QPoint(0, 0), natural);
    return QRect(QPoint(0, 0), natural.scaled(size(), Qt::KeepAspectRatio));
}

QPixmap PictureBox::pictureAt(qreal ratio) const
{
    if (made().isNull())
        return {};
    const QSize pixels = (QSizeF(pictureRect().size()) * ratio).toSize();
    QPixmap drawn = m_maker && ratio != 1 ? m_maker(ratio) : m_picture;
    if (drawn.isNull() || pixels.isEmpty())
        return {};
    if (drawn.size() != pixels)
        drawn = QPixmap::fromImage(drawn.toImage().scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    drawn.setDevicePixelRatio(ratio);
    return drawn;
}

qreal PictureBox::deviceRatio(const QPainter &painter)
{
    // The painter's own device is the widget even when it is rendered into a picture of
    // another ratio; the engine's device is what really receives the pixels.
    const QPaintEngine *engine = painter.paintEngine();
    return engine && engine->paintDevice() ? engine->paintDevice()->devicePixelRatio() : painter.device()->devicePixelRatio();
}

void PictureBox::paintEvent(QPaintEvent *)
{
    if (made().isNull())
        return;
    QPainter p(this);
    const qreal ratio = deviceRatio(p);
    if (ratio != m_shownRatio) {
        m_shown = pictureAt(ratio);
        m_shownRatio = ratio;
    }
    p.setClipRect(rect());
    p.drawPixmap(pictureRect().topLeft(), m_shown);
}

void PictureBox::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_proportional)
        forgetShown();
}

void PictureBox::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_pressed = true;
    QWidget::mousePressEvent(event);
}

void PictureBox::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    QWidget::mouseReleaseEvent(event);
    if (click)
        emit clicked();
}
