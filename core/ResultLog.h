// The result log: one line per answer, kept in memory during a run and written to its file
// when the main window closes.
//
// The file is not held in memory. At close, the answers of this run are added after what the
// file holds at that moment, in the program's line format: a file already in that format (the
// usual case) only grows at its end; any other is written back whole through a temporary
// file. So a file of any size costs one read, an edit made to it while the program runs is
// kept, and two copies of the program sharing a folder both keep their answers.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class ResultLog
{
public:
    // At start-up: completes a save of the last run that was cut short, and checks that the
    // file can be read. Nothing of it is kept; the log is then written back at every close.
    void prepare(const QString &fileName);

    void append(const QByteArray &line);
    // The answers of this run not yet written, as the file will hold them, in blocks.
    const QList<QByteArray> &pending() const noexcept { return m_text; }
    qsizetype pendingCount() const noexcept { return m_count; }

    // Writes the file: its present lines, the answers earlier sessions kept for it, then this
    // run's answers. Written answers are forgotten; after a failure they are all kept for the
    // next attempt.
    void save(const QString &fileName);
    // When the file cannot take them at a session's end: the answers not yet written go into a
    // note in the state folder (see SaveNote), whose name is returned, for the next save.
    QString keep(const QString &fileName);

    // True when closing has something to write: the log was prepared at start-up (the file is
    // always rewritten then) or answers are waiting.
    bool needsSave() const noexcept { return m_prepared || m_count > 0; }

private:
    // The answers as the file will hold them, each followed by its line break, gathered in
    // blocks: ten thousand answers cost ten thousand short lines of memory, not ten thousand
    // separate allocations.
    QList<QByteArray> m_text;
    qsizetype m_count = 0;
    bool m_prepared = false;
};
