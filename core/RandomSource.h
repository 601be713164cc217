// The one random generator of the program: a 32-bit linear congruential generator whose draws
// are reproducible for a given seed. Re-seeded from the high-resolution clock.
#pragma once

#include "core/Clock.h"

class RandomSource
{
public:
    // The generator every handler draws from.
    static RandomSource &global()
    {
        static RandomSource source;
        return source;
    }

    // Seeds from the low 32 bits of the high-resolution counter.
    void randomize() { m_seed = quint32(Clock::counter()); }
    void setSeed(quint32 seed) noexcept { m_seed = seed; }
    quint32 seed() const noexcept { return m_seed; }

    // A whole number from 0 to n - 1; random(0) is 0.
    quint32 random(quint32 n) noexcept
    {
        m_seed = m_seed * 134775813u + 1u;
        return quint32((quint64(m_seed) * n) >> 32);
    }

private:
    quint32 m_seed = 0;
};
