// How assistive technology sees a picture control: as an image with the name and description
// the window gives it, and one that can be pressed when the window reacts to a click on it.
#pragma once

namespace PictureBoxAccessible {

// Registers the picture controls' accessible interface; once is enough, more is harmless.
void install();

} // namespace PictureBoxAccessible
