// The windows name the fonts they were designed with ("MS Sans Serif", "Monotype Corsiva") and
// give character heights in pixels. This puts an installed font with Cyrillic glyphs in place
// of a design font that is not installed, laid out without kerning, and applies the heights.
#pragma once

#include <QString>

class QWidget;

namespace Fonts {

// The installed family that stands in for a design family: the family itself where it is
// installed, else its nearest installed look-alike; any other family as it is.
QString installedFamily(const QString &family);

// Makes a window follow its design fonts from the moment it is built: in it and in every widget
// put into it, a design family it is given is replaced by the installed one (children inherit
// that), and the dynamic property "fontHeight" (character height in pixels, as the window
// descriptions give it) is its font's pixel size. Call before the window's setupUi, so that no
// control lays out its text with a font it will not show.
void followDesign(QWidget *window);

} // namespace Fonts
