// The phrase base as one press of the button reads it: the number of lines and any one line,
// cut exactly as a line list would cut them, without holding the file in memory. The file is
// read once through a small reused buffer; a line is fetched again from the nearest point
// remembered on the way. This keeps an answer fast however large the base grows.
#pragma once

#include "core/Files.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

class PhraseBase
{
public:
    PhraseBase();
    ~PhraseBase();

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

private:
    class Source;
    class FileSource;
    class TextSource;

    struct Checkpoint
    {
        qint64 offset; // where a read of the file resumes
        qsizetype linesBefore; // lines completed before that point
        bool lineOpen; // the line in progress there has already begun
        bool skipLf; // a line feed right there belongs to the last break
    };

    void loadFrom(std::unique_ptr<Source> source, qsizetype readSize);
    template<class Sink>
    void scanFrom(const Checkpoint &from, Sink &sink);

    std::unique_ptr<Source> m_source;
    qsizetype m_readSize = 0;
    QList<Checkpoint> m_checkpoints;
    qsizetype m_count = 0;
};
