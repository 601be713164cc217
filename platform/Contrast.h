// Texts that stay readable under any colour scheme. The design fixes some colours (the main
// window's silver, its fields' green text, the big button's black caption) and leaves the rest
// to the desktop; under a dark scheme the two meet. A colour of the desktop's is kept where it
// reads well against the fixed colour beside it, and the classic colour takes its place where
// it does not.
#pragma once

#include <QPalette>

class QWidget;

namespace Contrast {

// The contrast the texts keep at the least, as for body text on the web (WCAG's level AA).
constexpr double Minimum = 4.5;

// The contrast ratio of two colours, from 1 (the same lightness) to 21 (black and white).
double ratio(const QColor &a, const QColor &b);

// The widget's colour for `role` becomes the desktop's where that reaches Minimum against the
// widget's colour for `beside`, `classic` otherwise.
void follow(QWidget *widget, QPalette::ColorRole role, QPalette::ColorRole beside, const QColor &classic);

} // namespace Contrast
