// Writes a whole file so that a failed save never damages the old content. The write follows
// the file, not its name:
// - a symbolic link stays a link, and its target is what gets written;
// - a regular file the program may replace (its folder takes new names, the file is its
//   user's own and has no other names) gets a temporary file beside it that replaces it only
//   when every byte is on disk;
// - any other writable regular file is rewritten in place: the new content goes into a note
//   first (see SaveNote), and the file is cut and written only once the note is on disk;
// - a device, pipe or socket is written to as it is, never replaced, and never waited for
//   longer than a held lock is.
#pragma once

#include "core/FileDescriptor.h"
#include "core/SaveNote.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QSaveFile>
#include <QString>
#include <QStringList>

#include <memory>

class SafeWriter
{
public:
    // Fails with "Cannot create file ..." when the file cannot be written: a read-only file, a
    // folder in its place, a missing file in a folder that takes no new names, a pipe without
    // a reader, a file in place that no note can be made for.
    explicit SafeWriter(const QString &fileName);
    // The same check on its own, before anything is opened.
    static void checkWritable(const QString &fileName);
    SafeWriter(const SafeWriter &) = delete;
    SafeWriter &operator=(const SafeWriter &) = delete;

    // A short write fails with "Stream write error".
    void write(const char *data, qsizetype n);
    void write(QByteArrayView bytes) { write(bytes.data(), bytes.size()); }
    // Kept answers that the new content holds: removed once it is in place.
    void takes(const QString &answersNote);
    // Puts the new content in place; "Stream write error" when it cannot be stored completely.
    void commit();

private:
    void flush();
    void writeOut(const char *data, qsizetype n);

    QString m_fileName;
    std::unique_ptr<QSaveFile> m_file; // the temporary-file path
    std::unique_ptr<SaveNote> m_note; // in place
    UniqueFd m_fd; // in place: the file; or the device or pipe
    QDeadlineTimer m_deadline; // a device or pipe: how long it may keep us waiting
    QStringList m_takes;
    QByteArray m_buffer;
    qsizetype m_used = 0;
};
