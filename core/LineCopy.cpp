#include "core/LineCopy.h"

#include "core/LineSplitter.h"
#include "core/SafeWriter.h"

#include <QByteArray>

namespace LineCopy {

namespace {

struct CopySink
{
    SafeWriter &out;
    void piece(const char *p, qsizetype n) { out.write(p, n); }
    void lineEnd() { out.write("\r\n", 2); }
};

} // namespace

void copyLines(const QString &fileName, SafeWriter &out, Files::ReadFile::Missing missing)
{
    Files::ReadFile file(fileName, missing);
    QByteArray chunk(256 * 1024, Qt::Uninitialized);
    CopySink sink{out};
    LineSplitter splitter;
    for (;;) {
        const qsizetype got = file.read(chunk.data(), chunk.size());
        if (got == 0)
            break;
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

} // namespace LineCopy
