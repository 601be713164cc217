// The program's one rule for cutting text into lines, fed chunk by chunk so that files of any
// size can be read through a small buffer. A line ends at a carriage return, a line feed or a
// zero byte; a carriage return directly followed by a line feed is one break; a zero byte ends
// the whole text (the part of its line before it still counts, an empty start does not).
#pragma once

#include <QtGlobal>

namespace LineSplit {

// The first carriage return, line feed or zero byte in [p, end), or end when there is none.
const char *findBreak(const char *p, const char *end) noexcept;

// Counts line breaks in bulk, for when only the number of lines matters: every carriage return
// is a break, and so is every line feed that does not directly follow a carriage return.
// Returns the first zero byte in [p, end), or end when there is none, and adds to `breaks` the
// breaks before it. `afterCr`: the byte before p was a carriage return, whose line feed a line
// feed at p would be.
const char *countBreaks(const char *p, const char *end, bool afterCr, qsizetype &breaks) noexcept;

// The end of the longest start of [p, end) that is already in the program's line format, so
// that copying its lines gives back the same bytes: no zero byte, every carriage return
// directly followed by a line feed and every line feed directly after a carriage return. A
// carriage return at end - 1 is left out, as what follows it is not known yet.
const char *inFormatEnd(const char *p, const char *end) noexcept;

// The ways the bulk scans can run: byte by byte, or 32 bytes at a time where the processor
// has AVX2. countBreaks and inFormatEnd use the wide one when they can; both are here so that
// tests can hold them to the same result.
enum class Method { Plain, Avx2 };
bool available(Method method) noexcept;
const char *countBreaks(Method method, const char *p, const char *end, bool afterCr, qsizetype &breaks) noexcept;
const char *inFormatEnd(Method method, const char *p, const char *end) noexcept;

} // namespace LineSplit

class LineSplitter
{
public:
    LineSplitter() = default;
    // Resumes in a state seen earlier: a line already begun, or a carriage return just passed.
    LineSplitter(bool lineOpen, bool skipLf)
        : m_lineOpen(lineOpen)
        , m_skipLf(skipLf)
    {
    }

    // Sink provides piece(const char *p, qsizetype n) for the bytes of the current line (a line
    // may arrive in several pieces, never an empty one) and lineEnd() when the line is complete.
    // Returns false once a zero byte has ended the text; later bytes are ignored.
    template<class Sink>
    bool feed(const char *p, qsizetype n, Sink &sink);

    // Like feed() with a sink that only counts lines, but scanning in bulk: returns the number
    // of lines completed in these bytes and leaves the same state feed() would.
    qsizetype countLines(const char *p, qsizetype n) noexcept;

    // The end of the input: completes a last line that had no break.
    template<class Sink>
    void finish(Sink &sink)
    {
        if (m_lineOpen) {
            m_lineOpen = false;
            sink.lineEnd();
        }
        m_ended = true;
    }

    bool ended() const noexcept { return m_ended; }
    bool lineOpen() const noexcept { return m_lineOpen; }
    bool skipLf() const noexcept { return m_skipLf; }

private:
    bool m_lineOpen = false; // bytes of the current line have been passed on
    bool m_skipLf = false; // the last break was a carriage return at the end of a chunk
    bool m_ended = false;
};

template<class Sink>
bool LineSplitter::feed(const char *p, qsizetype n, Sink &sink)
{
    if (m_ended)
        return false;
    const char *const end = p + n;
    if (m_skipLf && p < end) {
        m_skipLf = false;
        if (*p == '\n')
            ++p;
    }
    while (p < end) {
        const char *q = LineSplit::findBreak(p, end);
        if (q > p) {
            sink.piece(p, q - p);
            m_lineOpen = true;
        }
        if (q == end)
            return true;
        if (*q == '\0') {
            finish(sink);
            return false;
        }
        m_lineOpen = false;
        sink.lineEnd();
        if (*q++ == '\r') {
            if (q == end) {
                m_skipLf = true;
                return true;
            }
            if (*q == '\n')
                ++q;
        }
        p = q;
    }
    return true;
}
