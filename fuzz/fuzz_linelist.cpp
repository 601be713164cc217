// The phrase base and the other line files are whatever the user put there. One rule cuts them
// into lines, applied in several ways: all at once (LineList::fromText), fed in pieces of any
// size (LineSplitter), through the reads and checkpoints of a press of the button (PhraseBase),
// and from a real file (LineList::load, PhraseBase::load, SafeWriter::copyLines). Every way must give the
// lines that a plain byte-by-byte reading of the rule below gives, and every line must survive
// the trip to a text field and back.
#include "FuzzCheck.h"

#include "core/Cp1251.h"
#include "core/Failure.h"
#include "core/LineList.h"
#include "core/LineSplitter.h"
#include "core/PhraseBase.h"
#include "core/SafeWriter.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <memory>

using namespace Qt::StringLiterals;
using FuzzCheck::Choices;

namespace {

// The rule, one byte at a time: CR, LF or a zero byte end a line, CR LF is one break, and a
// zero byte ends the text (a line it cuts short still counts, an empty one does not).
// The checks' own loops are kept out of the coverage the fuzzer steers by.
#define NOT_STEERING __attribute__((no_sanitize("coverage")))

NOT_STEERING QList<QByteArray> plainLines(QByteArrayView text)
{
    QList<QByteArray> lines;
    QByteArray current;
    bool open = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\0')
            break;
        if (c == '\r' || c == '\n') {
            lines.append(current);
            current.clear();
            open = false;
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            current.append(c);
            open = true;
        }
    }
    if (open)
        lines.append(current);
    return lines;
}

struct CollectSink
{
    QList<QByteArray> lines;
    QByteArray current;
    void piece(const char *p, qsizetype n)
    {
        FUZZ_CHECK(n > 0);
        current.append(p, n);
    }
    void lineEnd()
    {
        lines.append(current);
        current.clear();
    }
};

// Feeds the text in pieces of 1 to maxPiece bytes, checking the splitter's state between them.
NOT_STEERING QList<QByteArray> splitInPieces(QByteArrayView text, Choices &choices, qsizetype maxPiece)
{
    LineSplitter splitter;
    CollectSink sink;
    bool ended = false;
    for (qsizetype at = 0; at < text.size();) {
        const qsizetype n = qMin(1 + choices.below(maxPiece), text.size() - at);
        const qsizetype linesBefore = sink.lines.size();
        const bool more = splitter.feed(text.data() + at, n, sink);
        if (ended) {
            // Everything after the end of the text is ignored.
            FUZZ_CHECK(!more && sink.lines.size() == linesBefore && sink.current.isEmpty());
        } else if (more) {
            FUZZ_CHECK(!splitter.ended());
            FUZZ_CHECK(splitter.lineOpen() == !sink.current.isEmpty());
        } else {
            FUZZ_CHECK(splitter.ended() && !splitter.lineOpen() && sink.current.isEmpty());
            ended = true;
        }
        at += n;
    }
    splitter.finish(sink);
    FUZZ_CHECK(splitter.ended() && !splitter.lineOpen() && sink.current.isEmpty());
    return sink.lines;
}

NOT_STEERING void checkPhraseBase(PhraseBase &base, const QList<QByteArray> &expected, Choices &choices)
{
    FUZZ_CHECK(base.count() == expected.size());
    // Every line of a short text; a sample of a long one, the first and the last among them.
    if (expected.size() <= 16) {
        for (qsizetype i = 0; i < expected.size(); ++i)
            FUZZ_CHECK(base.line(i) == expected.at(i));
    } else {
        FUZZ_CHECK(base.line(0) == expected.first());
        FUZZ_CHECK(base.line(expected.size() - 1) == expected.last());
        for (int k = 0; k < 16; ++k) {
            const qsizetype i = choices.below(expected.size());
            FUZZ_CHECK(base.line(i) == expected.at(i));
        }
    }
    for (const qsizetype i : {qsizetype(-1), expected.size()}) {
        try {
            base.line(i);
            FUZZ_FAIL("an index out of range was accepted");
        } catch (const Failure &f) {
            FUZZ_CHECK(f.text() == u"List index out of bounds (%1)"_s.arg(i));
        }
    }
    for (int k = 0; k < 2 && !expected.isEmpty(); ++k) {
        const QByteArray &line = expected.at(choices.below(expected.size()));
        FUZZ_CHECK(base.contains(line));
        FUZZ_CHECK(base.contains(line + 'x') == expected.contains(line + 'x'));
        FUZZ_CHECK(base.contains(line.chopped(qMin<qsizetype>(1, line.size()))) == expected.contains(line.chopped(qMin<qsizetype>(1, line.size()))));
    }
    FUZZ_CHECK(base.contains(QByteArray()) == expected.contains(QByteArray()));
}

// The files of the file round, in a folder of their own. Not the working directory: libFuzzer
// reads its corpus folders relative to that after this set-up.
std::unique_ptr<QTemporaryDir> workDir;
QString baseFile;
QString copyFile;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzCheck::quietQt();
    // In memory where the system has such a folder: the copy is synced to disk at every save.
    workDir = QFileInfo(u"/dev/shm"_s).isWritable() ? std::make_unique<QTemporaryDir>(u"/dev/shm/vedalka-fuzz-XXXXXX"_s)
                                                    : std::make_unique<QTemporaryDir>();
    FUZZ_CHECK(workDir->isValid());
    baseFile = workDir->filePath(u"baza.leh"_s);
    copyFile = workDir->filePath(u"copy.txt"_s);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    Choices choices(FuzzCheck::hashOf(data, size));
    const QList<QByteArray> expected = plainLines(text);

    const LineList list = LineList::fromText(text);
    FUZZ_CHECK(list.lines() == expected);
    FUZZ_CHECK(LineList::fromText(list.toText()).lines() == expected);

    FUZZ_CHECK(splitInPieces(text, choices, 1) == expected);
    FUZZ_CHECK(splitInPieces(text, choices, 4) == expected);
    FUZZ_CHECK(splitInPieces(text, choices, 64) == expected);

    // Reads of a few bytes put a checkpoint inside every kind of break; at least a sixty-fourth
    // of the text each keeps long inputs quick.
    PhraseBase base;
    base.loadText(text, qMax(1 + choices.below(16), text.size() / 64));
    checkPhraseBase(base, expected, choices);
    base.loadText(text, 256 * 1024);
    checkPhraseBase(base, expected, choices);

    for (const QByteArray &line : expected)
        FUZZ_CHECK(Cp1251::encode(Cp1251::decode(line)) == line);

    // The same bytes as a real file, as the program reads them. Files, the 1 MiB save buffer and
    // the sync cost a hundred times the rest, so one input in sixteen takes this round.
    if (choices.below(16) != 0)
        return 0;
    {
        QFile file(baseFile);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size());
    }
    LineList loaded;
    loaded.load(baseFile);
    FUZZ_CHECK(loaded.lines() == expected);
    PhraseBase fromFile;
    fromFile.load(baseFile);
    checkPhraseBase(fromFile, expected, choices);
    {
        SafeWriter out(copyFile);
        out.copyLines(baseFile);
        out.commit();
    }
    QFile copy(copyFile);
    FUZZ_CHECK(copy.open(QIODevice::ReadOnly) && copy.readAll() == list.toText());
    return 0;
}
