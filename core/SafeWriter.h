// The one place where the program saves its data files, so that a failed save never damages the
// old content and two copies of the program in one folder take turns. The write follows the
// file, not its name (the name is resolved once per save):
// - a symbolic link stays a link, and its target is what gets written;
// - a file already in the program's line format (every line followed by CR LF) that gets lines
//   added (the result log, the phrase base) only grows at its end, through a note (SaveNote);
// - a regular file the program may replace (its folder takes new names, the file is its user's
//   own and has no other names) is rewritten through a temporary file that replaces it only
//   when every byte is on disk; any other writable regular file is rewritten in place, its new
//   content going into a note first;
// - a device, pipe or socket is written to as it is, never replaced, and never waited for
//   longer than a held lock is.
#pragma once

#include "core/FileDescriptor.h"
#include "core/Files.h"
#include "core/SaveNote.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QSaveFile>
#include <QString>
#include <QStringList>

#include <memory>

class SafeWriter
{
public:
    // How long a lock another copy of the program holds is waited for.
    static constexpr int WaitMs = 1500;

    // An advisory lock on the file itself (nothing is left in the folder), held from a save's
    // first read to its write. It is waited for WaitMs, the windows doing their repaints and
    // nothing else meanwhile; a lock held longer fails with "Cannot create file ..." and the
    // reason the system gives for a held lock. A file replaced while we waited is locked anew.
    // The first to get it completes a save its last writer left cut short (see SaveNote). A
    // missing file is created empty first when `create` is set. Where no lock can be had (no
    // rights to the file, no locks on its file system) the save goes on unlocked and meets the
    // real error when it reads or writes.
    class Lock
    {
    public:
        explicit Lock(const QString &fileName, bool create = false);
        // Where writing to the name really goes (Files::writeTarget).
        const QString &target() const noexcept { return m_target; }

        // Saves the file's lines followed by `text` (lines already with their breaks, in pieces
        // of whole lines), after the kept answers `kept`: what loading the lines, adding and
        // saving them gives. A file in the line format but perhaps for its last break only
        // grows; any other is rewritten whole. With MissingIsEmpty a file removed meanwhile
        // starts afresh. Fails as that save would (checked first), then as that load would.
        void append(const QList<QByteArray> &text, Files::ReadFile::Missing missing = Files::ReadFile::MissingFails,
                    const QList<SaveNote::Claimed> &kept = {});

    private:
        QString m_fileName;
        QString m_target;
        UniqueFd m_fd; // closing it gives the lock up
    };

    // A whole-file rewrite. Fails with "Cannot create file ..." when the file cannot be
    // written: a read-only file, a folder in its place, a missing file in a folder that takes
    // no new names, a pipe without a reader, a file in place that no note can be made for.
    explicit SafeWriter(const QString &fileName);
    // The same check on its own, before anything is opened.
    static void checkWritable(const QString &fileName);
    SafeWriter(const SafeWriter &) = delete;
    SafeWriter &operator=(const SafeWriter &) = delete;

    // A short write fails with "Stream write error".
    void write(const char *data, qsizetype n);
    void write(QByteArrayView bytes) { write(bytes.data(), bytes.size()); }
    // Writes the lines of a text file in the line format, read through a small buffer; fails
    // to open or read as loading a line list does.
    void copyLines(const QString &fileName, Files::ReadFile::Missing missing = Files::ReadFile::MissingFails);
    // Kept answers that the new content holds: removed once it is in place.
    void takes(const QString &answersNote);
    // Puts the new content in place; "Stream write error" when it cannot be stored completely.
    void commit();

private:
    SafeWriter(const QString &fileName, const QString &target);
    void flush();
    void writeOut(const char *data, qsizetype n);

    QString m_fileName;
    std::unique_ptr<QSaveFile> m_file; // the temporary-file path
    std::unique_ptr<SaveNote> m_note; // in place
    UniqueFd m_fd; // in place: the file; or the device or pipe
    QDeadlineTimer m_deadline; // a device or pipe: how long it may keep us waiting
    QStringList m_takes;
    QByteArray m_buffer;
};
