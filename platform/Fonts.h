// The windows name the fonts they were designed with ("MS Sans Serif", "Monotype Corsiva") and
// give character heights in pixels. Installed look-alikes with Cyrillic glyphs stand in for
// the design fonts, drawn at those heights as the design drew them.
#pragma once

class QWidget;

namespace Fonts {

// Call once the window's setupUi has built it: every widget in it with the dynamic property
// "fontHeight" (character height in pixels, as the window descriptions give it) gets that
// pixel size, full hinting, no kerning, and for a design family the installed one that stands
// in for it (the family itself where it is installed); the widgets inside inherit them.
void followDesign(QWidget *window);

} // namespace Fonts
