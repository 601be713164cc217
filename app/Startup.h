// Application-wide preparation before the first window is made (the title, the fonts the
// windows ask for, Qt's own texts in Russian, the program's icon), and the main window made as
// the program runs it. The tests make their windows through the same function.
#pragma once

#include <memory>

class TForm1;

namespace Startup {

void prepareApplication();

// Makes the main window and, hidden, the three secondary windows, and ties the window to the
// session: the termination signals and the session manager's quit request close it, and when
// the process ends under it, its unsaved answers are kept. The window is not shown yet.
std::unique_ptr<TForm1> makeMainWindow();

} // namespace Startup
