#include "core/LineCopy.h"

#include "core/LineList.h"
#include "core/LineSplitter.h"
#include "core/SafeWriter.h"
#include "core/WriteJournal.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace LineCopy {

namespace {

constexpr qsizetype ChunkSize = 256 * 1024;

struct CopySink
{
    SafeWriter &out;
    void piece(const char *p, qsizetype n) { out.write(p, n); }
    void lineEnd() { out.write("\r\n", 2); }
};

// What one read of a whole file found.
struct Format
{
    bool inFormat = false; // in the line format, but perhaps for the last line's break
    qint64 size = 0;
    bool lastLineOpen = false; // the last line has no break yet
};

Format readFormat(Files::ReadFile &file)
{
    QByteArray chunk(ChunkSize, Qt::Uninitialized);
    Format format;
    bool crAtEnd = false; // the last read ended in a carriage return
    char last = 0;
    while (const qsizetype got = file.read(chunk.data(), chunk.size())) {
        const char *p = chunk.constData();
        const char *const end = p + got;
        if (crAtEnd) {
            if (*p != '\n')
                return {};
            ++p;
        }
        const char *const same = LineSplit::inFormatEnd(p, end);
        crAtEnd = same == end - 1 && *same == '\r';
        if (same != end && !crAtEnd)
            return {};
        format.size += got;
        last = end[-1];
    }
    if (crAtEnd)
        return {};
    format.inFormat = true;
    format.lastLineOpen = format.size > 0 && last != '\n';
    return format;
}

bool writeText(int fd, bool breakFirst, const QList<QByteArray> &text)
{
    if (breakFirst && !Files::writeAll(fd, "\r\n", 2))
        return false;
    for (const QByteArray &piece : text) {
        if (!Files::writeAll(fd, piece.constData(), piece.size()))
            return false;
    }
    return true;
}

// Adds the lines at the end of the file just read. False when that cannot be done after all
// (the file cannot be opened for writing, is no regular file, or has changed since it was
// read); a failed write cuts the file back and fails with "Stream write error". A write
// journal notes the old end first, so that a save cut short is cut back by the next one.
bool appendInPlace(const QString &fileName, const Format &format, const QList<QByteArray> &text)
{
    const QString target = Files::writeTarget(fileName);
    const UniqueFd file(::open(QFile::encodeName(target).constData(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK));
    const int fd = file.get();
    struct stat st;
    if (!file || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != format.size)
        return false;
    if (format.lastLineOpen || !text.isEmpty()) {
        qint64 grown = format.lastLineOpen ? 2 : 0;
        for (const QByteArray &piece : text)
            grown += piece.size();
        WriteJournal journal = WriteJournal::forAppend(target, fd, format.size, format.size + grown);
        if (!writeText(fd, format.lastLineOpen, text) || ::fdatasync(fd) != 0) {
            if (::ftruncate(fd, format.size) == 0 && ::fdatasync(fd) == 0)
                journal.finish();
            Files::failWrite();
        }
        journal.finish();
    }
    return true;
}

} // namespace

void copyLines(const QString &fileName, SafeWriter &out, Files::ReadFile::Missing missing)
{
    Files::ReadFile file(fileName, missing);
    QByteArray chunk(ChunkSize, Qt::Uninitialized);
    CopySink sink{out};
    LineSplitter splitter;
    while (const qsizetype got = file.read(chunk.data(), chunk.size())) {
        const char *p = chunk.constData();
        const char *const end = p + got;
        while (p < end) {
            // Text already in the program's line format is passed on as it is, in one piece;
            // the line rules are needed only where it is not.
            const char *const same = splitter.skipLf() ? p : LineSplit::inFormatEnd(p, end);
            if (same > p) {
                out.write(p, same - p);
                splitter = LineSplitter(same[-1] != '\n', false);
                p = same;
                continue;
            }
            // A break out of format, a line feed that may belong to a carriage return at the
            // end of the last chunk, or a zero byte: one byte under the line rules.
            if (!splitter.feed(p, 1, sink))
                break;
            ++p;
        }
        if (splitter.ended())
            break;
    }
    splitter.finish(sink);
}

void appendText(const QString &fileName, const QList<QByteArray> &text, Files::ReadFile::Missing missing)
{
    // Checked first, so that a file that cannot be written fails as a save does.
    SafeWriter::checkWritable(fileName);
    {
        Files::ReadFile file(fileName, missing);
        const Format format = readFormat(file);
        if (format.inFormat && appendInPlace(fileName, format, text))
            return;
    }
    SafeWriter out(fileName);
    if (out.inPlace()) {
        // The file is already emptied: its old lines come from the copy the writer holds.
        const LineList old = LineList::fromText(out.oldContent());
        for (const QByteArray &line : old.lines()) {
            out.write(line);
            out.write("\r\n", 2);
        }
    } else {
        copyLines(fileName, out, missing);
    }
    for (const QByteArray &piece : text)
        out.write(piece);
    out.commit();
}

void appendLines(const QString &fileName, const QList<QByteArray> &lines, Files::ReadFile::Missing missing)
{
    QList<QByteArray> text;
    text.reserve(lines.size());
    for (const QByteArray &line : lines)
        text.append(line + "\r\n");
    appendText(fileName, text, missing);
}

} // namespace LineCopy
