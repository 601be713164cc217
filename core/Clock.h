// The high-resolution counter that seeds the random source. Tests may put a counter of their
// own in its place to make the draws reproducible.
#pragma once

#include <QtGlobal>

#include <functional>

namespace Clock {

// Nanoseconds of the monotonic clock, or the replacement counter when one is set.
quint64 counter();

// Replaces the counter; an empty function restores the real one.
void setCounter(std::function<quint64()> counter);

} // namespace Clock
