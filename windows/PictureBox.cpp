#include "windows/PictureBox.h"

#include "windows/PictureBoxAccessible.h"

#include <QMouseEvent>
#include <QPainter>

PictureBox::PictureBox(QWidget *parent)
    : QWidget(parent)
{
    setAutoFillBackground(false);
    PictureBoxAccessible::install();
}

void PictureBox::setPicture(const QPixmap &picture)
{
    m_picture = picture;
    update();
}

void PictureBox::setProportional(bool on)
{
    m_proportional = on;
    update();
}

QRect PictureBox::pictureRect() const
{
    if (m_picture.isNull())
        return {};
    const QSize natural = m_picture.deviceIndependentSize().toSize();
    if (!m_proportional)
        return QRect(QPoint(0, 0), natural);
    // Only ever scaled down, keeping the proportions.
    if (natural.width() <= width() && natural.height() <= height())
        return QRect(QPoint(0, 0), natural);
    return QRect(QPoint(0, 0), natural.scaled(size(), Qt::KeepAspectRatio));
}

void PictureBox::paintEvent(QPaintEvent *)
{
    if (m_picture.isNull())
        return;
    QPainter p(this);
    p.setClipRect(rect());
    p.setRenderHint(QPainter::SmoothPixmapTransform, m_proportional);
    p.drawPixmap(pictureRect(), m_picture);
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
