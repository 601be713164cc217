#include "core/Clock.h"

#include <time.h>

namespace Clock {

static std::function<quint64()> replacement;

quint64 counter()
{
    if (replacement)
        return replacement();
    timespec ts{};
    if (::clock_gettime(CLOCK_MONOTONIC, &ts) == 0)
        return quint64(ts.tv_sec) * 1000000000u + quint64(ts.tv_nsec);
    // Without the fine counter: milliseconds since the system started.
    if (::clock_gettime(CLOCK_BOOTTIME, &ts) == 0)
        return quint64(ts.tv_sec) * 1000u + quint64(ts.tv_nsec) / 1000000u;
    return 0;
}

void setCounter(std::function<quint64()> counter)
{
    replacement = std::move(counter);
}

} // namespace Clock
