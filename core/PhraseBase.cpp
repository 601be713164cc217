#include "core/PhraseBase.h"

#include "core/LineList.h"
#include "core/LineSplitter.h"
#include "core/SafeWriter.h"

#include <cstring>

namespace {

constexpr qsizetype ChunkSize = Files::ChunkSize;

// One buffer for every press: fresh memory costs more to touch than reading the file does.
QByteArray &sharedBuffer()
{
    static QByteArray buffer(ChunkSize, Qt::Uninitialized);
    return buffer;
}

bool isBreak(char c)
{
    return c == '\r' || c == '\n';
}

// True when a line of the file is the text. A line is what lies between breaks, so the text is
// searched for as it is and a find counts when a break that is not the carriage return of a CR
// LF (or the start of the file) comes right before it and a break, or the end of the text or a
// zero byte after a text that is not empty, right after. A text holding a break or a zero byte
// can be no line at all.
template<class Reader>
bool hasLine(Reader &file, QByteArrayView text)
{
    const qsizetype n = text.size();
    if (text.contains('\r') || text.contains('\n') || text.contains('\0'))
        return false;
    // Each window starts with the last n + 1 bytes of the one before, so that a find across
    // two reads is seen whole, with the byte before it.
    QByteArray window(n + 1 + ChunkSize, Qt::Uninitialized);
    qsizetype kept = 0; // bytes carried over from the last window
    qint64 windowAt = 0; // the file offset of window[0]
    qint64 readAt = 0;
    for (;;) {
        const qsizetype got = file.readAt(readAt, window.data() + kept, ChunkSize);
        readAt += got;
        qsizetype filled = kept + got;
        // The text ends at the end of the file or at its first zero byte.
        bool last = got == 0;
        if (const void *zero = std::memchr(window.constData() + kept, 0, size_t(got))) {
            filled = static_cast<const char *>(zero) - window.constData();
            last = true;
        }
        const char *const begin = window.constData();
        // A find at the first of n + 1 bytes carried over was decided in the last window.
        qsizetype from = kept == n + 1 ? 1 : 0;
        while (filled - from >= n) {
            const void *hit = ::memmem(begin + from, size_t(filled - from), n > 0 ? text.data() : "", size_t(n));
            if (!hit)
                break;
            const qsizetype at = static_cast<const char *>(hit) - begin;
            const qsizetype after = at + n;
            if (after == filled && !last)
                break; // the byte after it comes with the next read
            const bool endsLine = after < filled ? isBreak(begin[after]) : n > 0;
            const char before = windowAt + at == 0 ? '\n' : at > 0 ? begin[at - 1] : 0;
            if (endsLine && (before == '\n' || (before == '\r' && begin[at] != '\n')))
                return true;
            from = at + 1;
        }
        if (last)
            return false;
        // Keep the bytes a later find could still start in, and the one before them.
        const qsizetype keep = qMin<qsizetype>(filled, n + 1);
        std::memmove(window.data(), begin + filled - keep, size_t(keep));
        windowAt += filled - keep;
        kept = keep;
    }
}

} // namespace

void PhraseBase::load(const QString &fileName)
{
    m_file.emplace(fileName);
    m_text.clear();
    loadFrom(ChunkSize);
}

void PhraseBase::loadText(const QByteArray &text, qsizetype readSize)
{
    m_file.reset();
    m_text = text;
    loadFrom(qBound(qsizetype(1), readSize, ChunkSize));
}

qsizetype PhraseBase::readAt(qint64 offset, char *buffer, qsizetype n)
{
    if (m_file)
        return m_file->readAt(offset, buffer, n);
    const qsizetype got = qsizetype(qBound(qint64(0), qint64(m_text.size()) - offset, qint64(n)));
    if (got > 0)
        std::memcpy(buffer, m_text.constData() + offset, size_t(got));
    return got;
}

void PhraseBase::loadFrom(qsizetype readSize)
{
    QByteArray &buffer = sharedBuffer();
    QList<Checkpoint> checkpoints;
    LineSplitter splitter;
    qsizetype lines = 0;
    qint64 offset = 0;
    qsizetype reads = 0;
    qsizetype first = 0;
    for (;;) {
        checkpoints.append({offset, lines, splitter.lineOpen(), splitter.skipLf()});
        const qsizetype got = m_file ? m_file->read(buffer.data(), readSize) : readAt(offset, buffer.data(), readSize);
        if (got == 0)
            break;
        if (++reads == 1)
            first = got;
        // Only the number of lines is wanted here, so the chunk is counted in bulk.
        lines += splitter.countLines(buffer.constData(), got);
        if (splitter.ended())
            break;
        offset += got;
    }
    // A base that came in one read stays in memory, so that a press reads it only once.
    if (m_file && reads == 1) {
        m_text = QByteArray(buffer.constData(), first);
        m_file.reset();
    }
    m_readSize = readSize;
    m_checkpoints = std::move(checkpoints);
    m_count = lines + (splitter.lineOpen() ? 1 : 0); // a last line without its break
}

template<class Sink>
void PhraseBase::scanFrom(const Checkpoint &from, Sink &sink)
{
    QByteArray &buffer = sharedBuffer();
    LineSplitter splitter(from.lineOpen, from.skipLf);
    qint64 offset = from.offset;
    while (!sink.done) {
        const qsizetype got = readAt(offset, buffer.data(), m_readSize);
        if (got == 0 || !splitter.feed(buffer.constData(), got, sink))
            break;
        offset += got;
    }
    if (!sink.done)
        splitter.finish(sink);
}

QByteArray PhraseBase::line(qsizetype i)
{
    LineList::checkIndex(i, m_count);

    // The last point before line i began.
    const Checkpoint *from = &m_checkpoints.first();
    for (const Checkpoint &c : std::as_const(m_checkpoints)) {
        if (c.linesBefore < i || (c.linesBefore == i && !c.lineOpen))
            from = &c;
        else
            break;
    }

    struct PickSink
    {
        qsizetype index;
        qsizetype wanted;
        QByteArray text;
        bool done = false;
        void piece(const char *p, qsizetype n)
        {
            if (index == wanted)
                text.append(p, n);
        }
        void lineEnd()
        {
            done = done || index == wanted;
            ++index;
        }
    } sink{from->linesBefore, i, {}};
    scanFrom(*from, sink);
    return sink.text;
}

bool PhraseBase::contains(QByteArrayView text)
{
    return m_count > 0 && hasLine(*this, text);
}

bool PhraseBase::appendIfNew(const QString &fileName, const QByteArray &phrase)
{
    // Held from the comparison to the rewrite, so that a phrase another copy of the program
    // adds meanwhile is neither lost nor added twice.
    SafeWriter::Lock lock(fileName);
    {
        Files::ReadFile file(fileName);
        if (phrase.isEmpty() || hasLine(file, phrase))
            return false;
    }
    lock.append({phrase + "\r\n"});
    return true;
}
