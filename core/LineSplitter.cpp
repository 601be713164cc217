#include "core/LineSplitter.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VEDALKA_HAVE_AVX2 1
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

namespace {

const char *countPlain(const char *p, const char *end, bool afterCr, qsizetype &breaks) noexcept
{
    qsizetype n = 0;
    for (; p < end; ++p) {
        const char c = *p;
        if (c == '\r') {
            ++n;
            afterCr = true;
        } else if (c == '\n') {
            if (!afterCr)
                ++n;
            afterCr = false;
        } else if (c == '\0') {
            break;
        } else {
            afterCr = false;
        }
    }
    breaks += n;
    return p;
}

const char *inFormatPlain(const char *p, const char *end) noexcept
{
    while (p < end) {
        const char c = *p;
        if (c == '\r') {
            if (end - p < 2 || p[1] != '\n')
                break;
            p += 2;
        } else if (c == '\n' || c == '\0') {
            break;
        } else {
            ++p;
        }
    }
    return p;
}

// The wide scans below look at each block together with the same block shifted back by one
// byte, so that a line feed sees whether a carriage return came right before it. Each block
// adds one to a byte-wide counter per break, and the counters are summed before they can
// overflow. A block holding a zero byte is left to the plain scan. The format scan also looks
// one byte ahead, for the line feed every carriage return needs.

#if defined(VEDALKA_HAVE_AVX2)
// Where the wide format scan hands over to the plain one: a line feed there is the partner
// of the carriage return before it, which the wide scan has already checked.
const char *inFormatRest(const char *p, const char *end) noexcept
{
    if (p[-1] == '\r')
        ++p;
    return inFormatPlain(p, end);
}

__attribute__((target("avx2"))) const char *countAvx2(const char *p, const char *end, bool afterCr,
                                                      qsizetype &breaks) noexcept
{
    if (end - p < 33)
        return countPlain(p, end, afterCr, breaks);
    if (*p == '\0')
        return p;
    if (*p == '\r' || (*p == '\n' && !afterCr))
        ++breaks;
    ++p;
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i zero = _mm256_setzero_si256();
    qsizetype n = 0;
    bool sawZero = false;
    while (!sawZero && end - p >= 32) {
        const char *const stop = p + 32 * qMin<qsizetype>(255, (end - p) / 32);
        __m256i counts = zero;
        for (; p < stop; p += 32) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
            if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, zero))) {
                sawZero = true;
                break;
            }
            const __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p - 1));
            const __m256i lone = _mm256_andnot_si256(_mm256_cmpeq_epi8(before, cr), _mm256_cmpeq_epi8(v, lf));
            counts = _mm256_sub_epi8(counts, _mm256_or_si256(_mm256_cmpeq_epi8(v, cr), lone));
        }
        const __m256i sums = _mm256_sad_epu8(counts, zero);
        n += _mm256_extract_epi64(sums, 0) + _mm256_extract_epi64(sums, 1) + _mm256_extract_epi64(sums, 2)
             + _mm256_extract_epi64(sums, 3);
    }
    breaks += n;
    return countPlain(p, end, p[-1] == '\r', breaks);
}

__attribute__((target("avx2"))) const char *inFormatAvx2(const char *p, const char *end) noexcept
{
    if (end - p < 34)
        return inFormatPlain(p, end);
    if (*p == '\n' || *p == '\0' || (*p == '\r' && p[1] != '\n'))
        return p;
    ++p;
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i zero = _mm256_setzero_si256();
    for (; end - p >= 33; p += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
        const __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p - 1));
        const __m256i after = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 1));
        const __m256i loneCr = _mm256_andnot_si256(_mm256_cmpeq_epi8(after, lf), _mm256_cmpeq_epi8(v, cr));
        const __m256i loneLf = _mm256_andnot_si256(_mm256_cmpeq_epi8(before, cr), _mm256_cmpeq_epi8(v, lf));
        const unsigned bad = unsigned(
            _mm256_movemask_epi8(_mm256_or_si256(_mm256_or_si256(loneCr, loneLf), _mm256_cmpeq_epi8(v, zero))));
        if (bad)
            return p + __builtin_ctz(bad);
    }
    return inFormatRest(p, end);
}
#endif

Method best() noexcept
{
    static const Method method = [] {
#if defined(VEDALKA_HAVE_AVX2)
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx2"))
            return Method::Avx2;
#endif
        return Method::Plain;
    }();
    return method;
}

} // namespace

bool available(Method method) noexcept
{
    return method == Method::Plain || best() == Method::Avx2;
}

const char *countBreaks([[maybe_unused]] Method method, const char *p, const char *end, bool afterCr, qsizetype &breaks) noexcept
{
#if defined(VEDALKA_HAVE_AVX2)
    if (method == Method::Avx2 && available(method))
        return countAvx2(p, end, afterCr, breaks);
#endif
    return countPlain(p, end, afterCr, breaks);
}

const char *countBreaks(const char *p, const char *end, bool afterCr, qsizetype &breaks) noexcept
{
    return countBreaks(best(), p, end, afterCr, breaks);
}

const char *inFormatEnd([[maybe_unused]] Method method, const char *p, const char *end) noexcept
{
#if defined(VEDALKA_HAVE_AVX2)
    if (method == Method::Avx2 && available(method))
        return inFormatAvx2(p, end);
#endif
    return inFormatPlain(p, end);
}

const char *inFormatEnd(const char *p, const char *end) noexcept
{
    return inFormatEnd(best(), p, end);
}

} // namespace LineSplit

qsizetype LineSplitter::countLines(const char *p, qsizetype n) noexcept
{
    if (m_ended || n <= 0)
        return 0;
    const char *const end = p + n;
    qsizetype lines = 0;
    const char *const stop = LineSplit::countBreaks(p, end, m_skipLf, lines);
    if (stop > p) {
        const char last = stop[-1];
        m_lineOpen = last != '\r' && last != '\n';
        m_skipLf = stop == end && last == '\r';
    }
    if (stop < end) {
        // A zero byte: the text ends, and the line it cut short still counts.
        if (m_lineOpen)
            ++lines;
        m_lineOpen = false;
        m_skipLf = false;
        m_ended = true;
    }
    return lines;
}
