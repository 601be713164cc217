// The phrase base as one press of the button reads it: the number of lines and any one line,
// cut exactly as a line list would cut them. The file is read once through a small reused
// buffer; a base that fits in it stays in memory, and from a larger one a line is fetched again
// from the nearest point remembered on the way. So an answer stays fast however large the base.
#pragma once

#include "core/Files.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

class PhraseBase
{
public:
    // Opens and reads through the file; fails as loading a line list does.
    void load(const QString &fileName);
    // The same reading of a text held in memory, in reads of at most readSize bytes instead of
    // the file's 256 KiB, so that a small text crosses as many read boundaries as a large file.
    void loadText(const QByteArray &text, qsizetype readSize);

    qsizetype count() const noexcept { return m_count; }
    // Line i, 0 <= i < count(); out of range: "List index out of bounds (i)".
    QByteArray line(qsizetype i);
    // True when a line is byte for byte equal to the text.
    bool contains(QByteArrayView text);

    // Adds the phrase as a new last line unless it is empty or equal to a line already there;
    // the file is then rewritten in the program's line format. True when it was added.
    static bool appendIfNew(const QString &fileName, const QByteArray &phrase);

    // Bytes from an offset, from the file or from the text held in memory.
    qsizetype readAt(qint64 offset, char *buffer, qsizetype n);

private:
    struct Checkpoint
    {
        qint64 offset; // where a read of the file resumes
        qsizetype linesBefore; // lines completed before that point
        bool lineOpen; // the line in progress there has already begun
        bool skipLf; // a line feed right there belongs to the last break
    };

    void loadFrom(qsizetype readSize);
    template<class Sink>
    void scanFrom(const Checkpoint &from, Sink &sink);

    std::optional<Files::ReadFile> m_file;
    QByteArray m_text; // a base held in memory: a text, or a file that came in one read
    qsizetype m_readSize = 0;
    QList<Checkpoint> m_checkpoints;
    qsizetype m_count = 0;
};
