#include "core/LineCopy.h"

#include "core/LineSplitter.h"
#include "core/SafeWriter.h"

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

// Adds the text at the end of the file just read, through a note (see SaveNote). False when
// that cannot be done after all: the file cannot be opened for writing, is no regular file, or
// has changed since it was read.
bool appendInPlace(const QString &fileName, const Format &format, const QList<QByteArray> &text,
                   const QList<SaveNote::Claimed> &kept)
{
    const QString target = Files::writeTarget(fileName);
    const UniqueFd file(::open(QFile::encodeName(target).constData(), O_WRONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st;
    if (!file || ::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != format.size)
        return false;
    if (!format.lastLineOpen && text.isEmpty() && kept.isEmpty())
        return true;
    SaveNote note(fileName, target, file.get(), format.size);
    if (format.lastLineOpen)
        note.append("\r\n", 2);
    for (const SaveNote::Claimed &answers : kept) {
        SaveNote::readAnswers(answers, [&note](const char *p, qsizetype n) { note.append(p, n); });
        note.takes(answers.name);
    }
    for (const QByteArray &piece : text)
        note.append(piece);
    note.commit();
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

void appendText(const QString &fileName, const QList<QByteArray> &text, Files::ReadFile::Missing missing,
                const QList<SaveNote::Claimed> &kept)
{
    // Checked first, so that a file that cannot be written fails as a save does.
    SafeWriter::checkWritable(fileName);
    {
        Files::ReadFile file(fileName, missing);
        const Format format = readFormat(file);
        if (format.inFormat && appendInPlace(fileName, format, text, kept))
            return;
    }
    SafeWriter out(fileName);
    copyLines(fileName, out, missing);
    for (const SaveNote::Claimed &answers : kept) {
        SaveNote::readAnswers(answers, [&out](const char *p, qsizetype n) { out.write(p, n); });
        out.takes(answers.name);
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
