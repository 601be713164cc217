// The program's one rule for cutting text into lines, fed chunk by chunk so that files of any
// size can be read through a small buffer. A line ends at a carriage return, a line feed or a
// zero byte; a carriage return directly followed by a line feed is one break; a zero byte ends
// the whole text (the part of its line before it still counts, an empty start does not).
#pragma once

#include <QtGlobal>

namespace LineSplit {

// The first carriage return, line feed or zero byte in [p, end), or end when there is none.
const char *findBreak(const char *p, const char *end) noexcept;

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
