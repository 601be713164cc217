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
        if (got == 0 || !splitter.feed(chunk.constData(), got, sink))
            break;
    }
    splitter.finish(sink);
}

} // namespace LineCopy
