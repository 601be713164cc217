#include "windows/PictureBox.h"

#include "resources/Resources.h"

#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEngine>

using namespace Qt::StringLiterals;

namespace {

// Assistive technology sees an image with the name and description the window gives it, one
// that can be pressed when the window reacts to a click on it.
class PictureInterface : public QAccessibleWidget
{
public:
    explicit PictureInterface(PictureBox *box)
        : QAccessibleWidget(box, QAccessible::Graphic)
    {
    }

    QStringList actionNames() const override { return clickable() ? QStringList{pressAction()} : QStringList(); }
    void doAction(const QString &name) override
    {
        if (name == pressAction() && clickable())
            emit box()->clicked();
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    PictureBox *box() const { return static_cast<PictureBox *>(widget()); }
    bool clickable() const { return box()->isClickable(); }
};

QAccessibleInterface *pictureFactory(const QString &className, QObject *object)
{
    if (className == u"PictureBox"_s && object && object->isWidgetType())
        return new PictureInterface(static_cast<PictureBox *>(object));
    return nullptr;
}

} // namespace

PictureBox::PictureBox(QWidget *parent)
    : QWidget(parent)
{
    static const bool accessible = (QAccessible::installFactory(pictureFactory), true);
    Q_UNUSED(accessible);
}

void PictureBox::setPicture(const QPixmap &picture)
{
    setPictureMaker(picture.isNull() ? Maker() : [picture](qreal) { return picture; });
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
