// Writes a whole file so that a failed save never damages the old content: the bytes go to a
// temporary file beside it, which replaces the old file only when every byte is on disk.
#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

class SafeWriter
{
public:
    // Fails with "Cannot create file ..." when the file cannot be written: a read-only file or
    // folder, or a folder in its place.
    explicit SafeWriter(const QString &fileName);
    // The same check on its own, before anything is opened.
    static void checkWritable(const QString &fileName);
    ~SafeWriter();
    SafeWriter(const SafeWriter &) = delete;
    SafeWriter &operator=(const SafeWriter &) = delete;

    // A short write fails with "Stream write error".
    void write(const char *data, qsizetype n);
    void write(QByteArrayView bytes) { write(bytes.data(), bytes.size()); }
    // Puts the new content in place; "Stream write error" when it cannot be stored completely.
    void commit();

private:
    void flush();

    QSaveFile m_file;
    QByteArray m_buffer;
    qsizetype m_used = 0;
};
