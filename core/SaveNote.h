// A note of the bytes a save is about to write into a file, made before the file is touched.
//
// A save that changes a file in place (adds lines at its end, or rewrites it where no new file
// can take its place) first writes every byte it will write into a note, with the file's
// identity and the offset the bytes go to, and syncs it; then it writes the file and removes
// the note. When the program dies in between, whoever next locks or loads the file completes
// the save, but only when it is the same file and what stands from that offset on is a prefix
// of the note's bytes. Anything else means someone has changed the file since: it is left
// exactly as it is, and the note is set aside under another name with one line on stderr.
// Recovery never truncates a file and never writes over a byte: it only adds what is missing.
//
// A note appears whole or not at all (it is written unnamed and linked in once synced). It
// lies beside the file (".<name>.note") where that folder takes new names, else in the user's
// state folder ("note-<device>-<inode>"). Anything at those names that is not a readable note
// of this user's is never followed, applied, moved or deleted.
//
// Answers a session could not put into the result log are the same kind of note, with no
// offset: "answers-<log hash>-<unique>.note" in the state folder, added to the log by its next
// save, which claims them (renames them) first, so that they go in at most once.
#pragma once

#include "core/FileDescriptor.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class SaveNote
{
public:
    // Starts a note for the bytes that go into the open regular file `fd` (at `target`; error
    // texts name `fileName`) from `offset` on. Fails with "Cannot create file ..." naming the
    // file when no note can be made (no folder takes it).
    SaveNote(const QString &fileName, const QString &target, int fd, qint64 offset);
    ~SaveNote();
    SaveNote(const SaveNote &) = delete;
    SaveNote &operator=(const SaveNote &) = delete;

    // Adds bytes to the note; "Stream write error" when they cannot be stored (a full disk).
    void append(const char *data, qsizetype n);
    void append(QByteArrayView bytes) { append(bytes.data(), bytes.size()); }
    // Kept answers whose bytes this note holds: removed once they are in the file.
    void takes(const QString &answersNote) { m_takes.append(answersNote); }

    // Syncs and links the note, cuts the file to the offset (a rewrite) and writes the bytes,
    // syncs the file and removes the note. A file changed since the note was begun fails with
    // "Cannot create file ... Resource temporarily unavailable", untouched; a failed append is
    // cut back to the old end: "Stream write error".
    void commit();

    // Completes a save cut short, from a note beside the file or in the state folder. The caller
    // of recoverLocked() holds the file's lock; recover() takes it itself, and does nothing
    // while another holds it (its writer is at work). Two stat calls when there is no note.
    static void recoverLocked(const QString &fileName);
    static void recover(const QString &fileName);

    // Answers for the result log `logFile` that could not be saved, kept in a new note in the
    // state folder, whose name is returned. Fails with "Cannot create file ..." naming it.
    static QString keepAnswers(const QString &logFile, const QList<QByteArray> &text);
    // The kept answers of that log, claimed (renamed) for the caller's save, with their bytes.
    // A note that cannot be claimed (a read-only state folder) stays where it is, unused.
    struct Claimed
    {
        QString name;
        QByteArray bytes;
    };
    static QList<Claimed> claimAnswers(const QString &logFile);

private:
    void link();

    QString m_fileName;
    QByteArray m_path; // the note's name once linked
    QByteArray m_temporary; // where unnamed files are not supported: its name until then
    UniqueFd m_note;
    int m_fd;
    qint64 m_offset;
    qint64 m_written = 0;
    QByteArray m_file; // the target's path and identity, for the trailer
    QByteArray m_id;
    qint64 m_expectedSize = 0;
    qint64 m_expectedTime = 0;
    QStringList m_takes;
};
