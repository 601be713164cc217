// A note of the bytes a save is about to write into a file, made before the file is touched.
//
// A save that changes a file in place (adds lines at its end, or rewrites it where no new file
// can take its place) first writes every byte it will write into a note, with the file's
// identity and the offset they go to, and syncs it; then it writes the file and removes the
// note. When the program dies in between, whoever next locks or loads the file completes the
// save, but only when it is the same file and what stands from that offset on is a prefix of
// the note's bytes. Anything else means someone has changed the file since: it is left exactly
// as it is, and the note is set aside under another name with one line on stderr. Recovery
// never truncates a file and never writes over a byte: it only adds what is missing.
//
// A note appears whole or not at all (written unnamed, linked in once synced), beside the file
// (".<name>.note") where that folder takes new names, else in the user's state folder
// ("note-<device>-<inode>"). Whatever stands at those names without being a readable note of
// this user's is never followed, applied, moved or deleted.
//
// Answers a session could not put into the result log are the same kind of note, with no
// offset ("answers-<log hash>-<unique>.note" in the state folder), added by the log's next
// save, which claims them (renames them) first, so that they go in at most once. A note removes
// no file but the claimed answers it holds; one that names any other is left as it is.
#pragma once

#include "core/FileDescriptor.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class SaveNote
{
public:
    // A note for the bytes that go into the open regular file `fd` (at `target`; error texts
    // name `fileName`) from `offset` on. "Cannot create file ..." when no folder takes a note.
    SaveNote(const QString &fileName, const QString &target, int fd, qint64 offset);
    ~SaveNote();

    // Adds bytes to the note; "Stream write error" when they cannot be stored (a full disk) or
    // would make the note larger than any recovery reads.
    void write(const char *data, qsizetype n);
    void write(QByteArrayView bytes) { write(bytes.data(), bytes.size()); }
    // Kept answers whose bytes this note holds: removed once they are in the file.
    void takes(const QString &answersNote);

    // Syncs and links the note, cuts the file to the offset (a rewrite), writes the bytes, syncs
    // the file and removes the note. A file changed since the note was begun fails untouched
    // with "Cannot create file ... Resource temporarily unavailable"; a failed append is cut
    // back to its old end, "Stream write error".
    void commit();

    // Completes a save cut short, where one may have been: at start-up, and under the file's
    // lock (SafeWriter::Lock, which has resolved the name to its `target`). Unless the caller
    // holds the lock (`locked`), it takes it, and does nothing while another holds it. Two stat
    // calls when there is no note.
    static void recover(const QString &fileName, const QString &target = {}, bool locked = false);

    // Keeps answers the log `logFile` could not take in a new note, whose name is returned;
    // "Cannot create file ..." naming it otherwise.
    static QString keepAnswers(const QString &logFile, const QList<QByteArray> &text);
    // The kept answers of that log, claimed for the caller's save; one that cannot be claimed
    // (a read-only state folder) stays where it is, unused. readAnswers() hands their bytes on
    // in pieces, so that no more than a piece is held in memory.
    struct Claimed
    {
        QString name;
        qint64 size = 0;
    };
    static QList<Claimed> claimAnswers(const QString &logFile);
    static void readAnswers(const Claimed &kept, const std::function<void(const char *, qsizetype)> &take);

private:
    struct File;

    std::unique_ptr<File> m_note;
    QString m_fileName;
    QByteArray m_file; // the target's path and identity, for the trailer
    QByteArray m_id;
    int m_fd;
    qint64 m_offset;
    qint64 m_written = 0;
    qint64 m_expectedSize = 0; // the file as the note found it
    qint64 m_expectedTime = 0;
    QStringList m_takes;
};
