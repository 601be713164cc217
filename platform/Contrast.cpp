#include "platform/Contrast.h"

#include <QApplication>
#include <QWidget>
#include <QtMath>

namespace Contrast {

namespace {

double luminance(const QColor &colour)
{
    const auto linear = [](double c) { return c <= 0.04045 ? c / 12.92 : qPow((c + 0.055) / 1.055, 2.4); };
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

} // namespace

double ratio(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

void follow(QWidget *widget, QPalette::ColorRole role, QPalette::ColorRole beside, const QColor &classic)
{
    const QColor desktop = QApplication::palette().color(role);
    QPalette p = widget->palette();
    p.setColor(role, ratio(desktop, p.color(beside)) >= Minimum ? desktop : classic);
    widget->setPalette(p);
}

} // namespace Contrast
