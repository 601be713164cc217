#include "core/RandomSource.h"

#include "core/Clock.h"

RandomSource &RandomSource::global()
{
    static RandomSource source;
    return source;
}

void RandomSource::randomize()
{
    m_seed = quint32(Clock::counter());
}
