// Writes a whole file so that a failed save never damages the old content. The write follows
// the file, not its name:
// - a symbolic link stays a link, and its target is what gets written;
// - a regular file the program may replace (its folder takes new names, the file is its
//   user's own and has no other names) gets a temporary file beside it that replaces it only
//   when every byte is on disk;
// - any other writable regular file is rewritten in place, its old bytes kept in memory and in
//   a write journal until the new ones are on disk, and put back on a failure;
// - a device, pipe or socket is opened for writing as any program would and written to; it is
//   never replaced by a regular file.
#pragma once

#include "core/FileDescriptor.h"
#include "core/WriteJournal.h"

#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include <memory>
#include <optional>

class SafeWriter
{
public:
    // Fails with "Cannot create file ..." when the file cannot be written: a read-only file, a
    // folder in its place, a missing file in a folder that takes no new names, a pipe without
    // a reader.
    explicit SafeWriter(const QString &fileName);
    // The same check on its own, before anything is opened.
    static void checkWritable(const QString &fileName);
    ~SafeWriter();
    SafeWriter(const SafeWriter &) = delete;
    SafeWriter &operator=(const SafeWriter &) = delete;

    // A short write fails with "Stream write error".
    void write(const char *data, qsizetype n);
    void write(QByteArrayView bytes) { write(bytes.data(), bytes.size()); }
    // True when the file is rewritten in place: it is empty from the start, and oldContent()
    // holds what it was.
    bool inPlace() const noexcept { return m_inPlace; }
    const QByteArray &oldContent() const noexcept { return m_old; }
    // Puts the new content in place; "Stream write error" when it cannot be stored completely.
    void commit();

private:
    void flush();
    bool writeOut(const char *data, qsizetype n);
    void openInPlace(const QString &fileName, const QString &target);
    void restore();

    std::unique_ptr<QSaveFile> m_file; // the temporary-file path
    UniqueFd m_fd; // in place, or a device or pipe
    bool m_inPlace = false;
    QByteArray m_old; // in place: the content to put back on a failure
    std::optional<WriteJournal> m_journal;
    QByteArray m_buffer;
    qsizetype m_used = 0;
};
