#include "core/LineSplitter.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace LineSplit {

const char *findBreak(const char *p, const char *end) noexcept
{
#if defined(__SSE2__)
    // Bytes up to 13 are rare in text: find candidates with one unsigned minimum per block and
    // look closer only when there is one.
    const __m128i thirteen = _mm_set1_epi8(13);
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i zero = _mm_setzero_si128();
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(v, thirteen), v);
        if (_mm_movemask_epi8(low)) {
            const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)),
                                             _mm_cmpeq_epi8(v, zero));
            const int mask = _mm_movemask_epi8(hit);
            if (mask)
                return p + __builtin_ctz(unsigned(mask));
        }
        p += 16;
    }
#endif
    while (p < end && *p != '\r' && *p != '\n' && *p != '\0')
        ++p;
    return p;
}

} // namespace LineSplit
