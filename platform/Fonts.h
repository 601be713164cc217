// The windows ask for the fonts they were designed with ("MS Sans Serif", "Monotype Corsiva");
// this maps those names to installed fonts with Cyrillic glyphs, and applies the character
// heights that the window descriptions give in pixels.
#pragma once

class QWidget;

namespace Fonts {

// Font substitutions for the design fonts. Called once at start-up.
void installSubstitutions();

// Sets the pixel size of every widget in the tree that carries the dynamic property
// "fontHeight" (character height in pixels, as the window descriptions give it).
void applyHeights(QWidget *root);

} // namespace Fonts
