// Answers that could not reach the result log when the session ended, kept in the user's state
// folder until the next start in the same data folder takes them back into the log.
//
// Each data folder has its own recovery file, $XDG_STATE_HOME/vedalka/<hash>.log (else
// ~/.local/state/vedalka/), named by a hash of the folder's canonical path; <hash>.folder beside
// it names the folder, for a person looking at it. The file is in the log's own line format, so
// it could even be added to the log by hand. It is only ever replaced whole (temporary file and
// rename), and every change is made under a lock on the state folder, so two copies of the
// program ending at once both keep their answers.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class Recovery
{
public:
    // The recovery file of the data folder at `dataFolder` (any path to it).
    explicit Recovery(const QString &dataFolder);

    const QString &fileName() const noexcept { return m_fileName; }
    const QString &dataFolder() const noexcept { return m_dataFolder; }

    // At start-up: one look for the file; when there is one, its answers are taken to be put
    // into the log at its next save. A file that cannot be read is left for a later start.
    void take() noexcept;
    // The answers taken and not yet in the log, a line each.
    const QList<QByteArray> &taken() const noexcept { return m_taken; }

    // Adds the taken answers at the end of the log, then removes them from the recovery file.
    // Another copy of the program that already put them in is seen, and they are not added
    // twice. Fails as the log's save does; the answers then stay taken and in the file.
    void putInto(const QString &logFile);

    // Adds the answers at the end of the recovery file, making it (and the state folder) when
    // needed. Fails with "Cannot create file ..." naming the recovery file, or "Stream write
    // error".
    void keep(const QList<QByteArray> &lines);

private:
    QString m_dataFolder;
    QString m_fileName;
    QString m_folderNote;
    QByteArray m_takenBytes;
    QList<QByteArray> m_taken;
};
