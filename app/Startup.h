// Application-wide preparation before the first window is made: the title, the fonts the
// windows ask for, Qt's own texts in Russian, and the program's icon.
#pragma once

namespace Startup {

void prepareApplication();

} // namespace Startup
