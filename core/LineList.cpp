#include "core/LineList.h"

#include "core/Failure.h"
#include "core/Files.h"
#include "core/LineSplitter.h"
#include "core/SafeWriter.h"
#include "core/SaveNote.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

struct ListSink
{
    QList<QByteArray> &lines;
    QByteArray current;

    void piece(const char *p, qsizetype n)
    {
        if (current.isNull())
            current = QByteArray(p, n);
        else
            current.append(p, n);
    }
    void lineEnd()
    {
        lines.append(std::move(current));
        current = QByteArray();
    }
};

// True when the regular file already holds exactly `text`. The file is opened for writing (and
// never cut) first, so that one that cannot be written fails as a save of it would.
bool fileHolds(const QString &fileName, const QByteArray &text)
{
    SafeWriter::checkWritable(fileName);
    const UniqueFd fd(::open(QFile::encodeName(fileName).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != text.size())
        return false;
    QByteArray bytes(text.size(), Qt::Uninitialized);
    return ::pread(fd.get(), bytes.data(), size_t(bytes.size()), 0) == bytes.size() && bytes == text;
}

} // namespace

void LineList::load(const QString &fileName)
{
    // A save cut short is completed before the file is read. Line lists are small files.
    SaveNote::recover(fileName);
    m_lines = fromText(Files::readWhole(fileName)).m_lines;
}

void LineList::save(const QString &fileName) const
{
    SafeWriter out(fileName);
    for (const QByteArray &line : m_lines) {
        out.write(line);
        out.write("\r\n", 2);
    }
    out.commit();
}

void LineList::saveChanged(const QString &fileName) const
{
    if (!fileHolds(fileName, toText()))
        save(fileName);
}

const QByteArray &LineList::get(qsizetype i) const
{
    checkIndex(i);
    return m_lines.at(i);
}

void LineList::replace(qsizetype i, const QByteArray &line)
{
    checkIndex(i);
    m_lines[i] = line;
}

void LineList::checkIndex(qsizetype i) const
{
    if (i < 0 || i >= m_lines.size())
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
