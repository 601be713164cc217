// The desktop session ending, a terminal's Ctrl+C or a plain "kill": SIGTERM, SIGHUP and SIGINT
// are turned into a call on the event loop, so the program can close its main window normally
// and save the log instead of dying with the answers in memory.
#pragma once

#include <functional>

namespace Termination {

// From now on the three signals call `handler` on the event loop (once per signal; a signal
// that arrives while the handler runs is handled after it), in place of any given before; an
// empty one ignores them.
void install(std::function<void()> handler);

// When the X server goes away (a session ending without asking its programs, a crashed
// display), Qt ends the process with exit() from inside the event loop: no close event, no
// signal. `lastWords` then runs from an exit handler. An empty function unsets it; unset it
// before what it uses is destroyed.
void atExit(std::function<void()> lastWords);

} // namespace Termination
