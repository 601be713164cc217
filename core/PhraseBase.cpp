#include "core/PhraseBase.h"

#include "core/Failure.h"
#include "core/FileLock.h"
#include "core/LineCopy.h"
#include "core/LineSplitter.h"
#include "core/SafeWriter.h"

#include <cstring>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype ChunkSize = 256 * 1024;

// One buffer for every press: fresh memory costs more to touch than reading the file does.
QByteArray &sharedBuffer()
{
    static QByteArray buffer(ChunkSize, Qt::Uninitialized);
    return buffer;
}

struct CountSink
{
    qsizetype lines = 0;
    void piece(const char *, qsizetype) { }
    void lineEnd() { ++lines; }
};

} // namespace

PhraseBase::PhraseBase() = default;
PhraseBase::~PhraseBase() = default;

void PhraseBase::load(const QString &fileName)
{
    auto file = std::make_unique<Files::ReadFile>(fileName);
    QByteArray &buffer = sharedBuffer();
    QList<Checkpoint> checkpoints;
    LineSplitter splitter;
    CountSink sink;
    qint64 offset = 0;
    for (;;) {
        checkpoints.append({offset, sink.lines, splitter.lineOpen(), splitter.skipLf()});
        const qsizetype got = file->read(buffer.data(), buffer.size());
        if (got == 0)
            break;
        // Only the number of lines is wanted here, so the chunk is counted in bulk.
        sink.lines += splitter.countLines(buffer.constData(), got);
        if (splitter.ended())
            break;
        offset += got;
    }
    splitter.finish(sink);
    m_file = std::move(file);
    m_checkpoints = std::move(checkpoints);
    m_count = sink.lines;
}

template<class Sink>
void PhraseBase::scanFrom(const Checkpoint &from, Sink &sink)
{
    QByteArray &buffer = sharedBuffer();
    LineSplitter splitter(from.lineOpen, from.skipLf);
    qint64 offset = from.offset;
    while (!sink.done) {
        const qsizetype got = m_file->readAt(offset, buffer.data(), buffer.size());
        if (got == 0 || !splitter.feed(buffer.constData(), got, sink))
            break;
        offset += got;
    }
    if (!sink.done)
        splitter.finish(sink);
}

QByteArray PhraseBase::line(qsizetype i)
{
    if (i < 0 || i >= m_count || !m_file)
        throw Failure(u"List index out of bounds (%1)"_s.arg(i));

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
    if (!m_file || m_count == 0)
        return false;

    // Compares every line with the text as its pieces arrive.
    struct MatchSink
    {
        QByteArrayView text;
        qsizetype at = 0;
        bool same = true;
        bool done = false;
        void piece(const char *p, qsizetype n)
        {
            if (same && at + n <= text.size() && std::memcmp(text.data() + at, p, size_t(n)) == 0)
                at += n;
            else
                same = false;
        }
        void lineEnd()
        {
            done = done || (same && at == text.size());
            at = 0;
            same = true;
        }
    } sink{text};
    scanFrom(m_checkpoints.first(), sink);
    return sink.done;
}

bool PhraseBase::appendIfNew(const QString &fileName, const QByteArray &phrase)
{
    // Held from the comparison to the rewrite, so that a phrase another copy of the program
    // adds meanwhile is neither lost nor added twice.
    const FileLock lock(fileName);
    PhraseBase base;
    base.load(fileName);
    if (phrase.isEmpty() || base.contains(phrase))
        return false;
    SafeWriter out(fileName);
    LineCopy::copyLines(fileName, out);
    out.write(phrase);
    out.write("\r\n", 2);
    out.commit();
    return true;
}
