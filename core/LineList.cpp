#include "core/LineList.h"

#include "core/Failure.h"
#include "core/Files.h"
#include "core/LineSplitter.h"
#include "core/SafeWriter.h"

using namespace Qt::StringLiterals;

namespace {

struct ListSink
{
    QList<QByteArray> &lines;
    QByteArray current;

    void piece(const char *p, qsizetype n) { current.append(p, n); }
    void lineEnd() { lines.append(std::exchange(current, {})); }
};

} // namespace

void LineList::load(const QString &fileName)
{
    m_lines = fromText(Files::readWhole(fileName)).m_lines;
}

void LineList::save(const QString &fileName) const
{
    SafeWriter out(fileName);
    out.write(toText());
    out.commit();
}

void LineList::saveChanged(const QString &fileName) const
{
    // Checked first, so that a file that cannot be written fails as a save of it would.
    SafeWriter::checkWritable(fileName);
    const QByteArray text = toText();
    try {
        if (Files::exists(fileName) && Files::readWhole(fileName, Files::ReadFile::MissingFails, text.size() + 1) == text)
            return;
    } catch (const Failure &) {
        // Unreadable: written all the same.
    }
    save(fileName);
}

const QByteArray &LineList::get(qsizetype i) const
{
    checkIndex(i, count());
    return m_lines.at(i);
}

void LineList::replace(qsizetype i, const QByteArray &line)
{
    checkIndex(i, count());
    m_lines[i] = line;
}

void LineList::checkIndex(qsizetype i, qsizetype count)
{
    if (i < 0 || i >= count)
        throw Failure(u"List index out of bounds (%1)"_s.arg(i));
}

LineList LineList::fromText(QByteArrayView text)
{
    LineList list;
    ListSink sink{list.m_lines, {}};
    LineSplitter splitter;
    splitter.feed(text.data(), text.size(), sink);
    splitter.finish(sink);
    return list;
}

QByteArray LineList::toText() const
{
    QByteArray text;
    for (const QByteArray &line : m_lines)
        text.append(line).append("\r\n", 2);
    return text;
}
