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

// The process can end under the program with no close event and no signal, by whichever way
// Qt takes when the display goes: exit() (Qt 6.4 and 6.8 when the X connection breaks), the end
// of the event loop (Qt 6.11), or _exit(), which runs no exit handler (the Wayland plugin,
// every version). So `lastWords` runs at each of them: from an exit handler, when Qt reports the
// broken connection (before it ends anything), and at sayLastWords(). It may run more than
// once and must then do nothing; runs never overlap, and happen on the GUI thread unless it
// does not answer within seconds. An empty function unsets it; unset it before what it uses is
// destroyed.
void atEnd(std::function<void()> lastWords);

// Runs the last words now: for main(), once the event loop has returned.
void sayLastWords();

} // namespace Termination
