#include "core/SafeWriter.h"

#include "core/Files.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype BufferSize = 1 << 20;

// The reason a file cannot be replaced, found before anything is written: a folder in its
// place, a read-only file or a folder where no new file can be made.
int whyNotWritable(const QString &fileName)
{
    const QByteArray path = QFile::encodeName(fileName);
    struct stat st;
    if (::stat(path.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return EISDIR;
        if (::access(path.constData(), W_OK) != 0)
            return errno;
    } else if (errno != ENOENT) {
        return errno;
    }
    const QByteArray dir = QFile::encodeName(QFileInfo(QFileInfo(fileName).absoluteFilePath()).path());
    if (::access(dir.constData(), W_OK | X_OK) != 0)
        return errno;
    return 0;
}

} // namespace

SafeWriter::SafeWriter(const QString &fileName)
    : m_file(fileName)
{
    if (const int err = whyNotWritable(fileName))
        Files::failCreate(fileName, err);
    // Never fall back to writing the old file in place: that would lose it on a failure.
    m_file.setDirectWriteFallback(false);
    errno = 0;
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        Files::failCreate(fileName, errno != 0 ? errno : EACCES);
}

SafeWriter::~SafeWriter()
{
    if (m_file.isOpen())
        m_file.cancelWriting();
}

void SafeWriter::write(const char *data, qsizetype n)
{
    // A null byte array (a blank line as loading gives it) has no data pointer at all.
    if (n <= 0)
        return;
    if (m_used + n > BufferSize)
        flush();
    if (n >= BufferSize) {
        if (m_file.write(data, n) != n)
            Files::failWrite();
        return;
    }
    if (m_buffer.isEmpty())
        m_buffer.resize(BufferSize);
    std::memcpy(m_buffer.data() + m_used, data, size_t(n));
    m_used += n;
}

void SafeWriter::flush()
{
    if (m_used == 0)
        return;
    const qsizetype n = m_used;
    m_used = 0;
    if (m_file.write(m_buffer.constData(), n) != n)
        Files::failWrite();
}

void SafeWriter::commit()
{
    flush();
    if (!m_file.commit())
        Files::failWrite();
}
