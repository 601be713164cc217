// File-system operations with the program's error texts. All names are relative to the
// working directory and handed to the file system as UTF-8.
#pragma once

#include "core/FileDescriptor.h"

#include <QByteArray>
#include <QString>

#include <limits>

namespace Files {

// Files of any size are read and copied through a buffer of this size.
constexpr qsizetype ChunkSize = 256 * 1024;

// The name resolved against the working directory, as error texts show it.
QString fullPath(const QString &name);

// The operating system's description of an error number, without trailing spaces, line
// breaks and full stops.
QString reason(int errorNumber);

// Writes all n bytes to the open file, going on after a short write or an interrupt; false
// when the system stores no more.
bool writeAll(int fd, const char *p, qsizetype n);

[[noreturn]] void failOpen(const QString &name, int errorNumber);
[[noreturn]] void failCreate(const QString &name, int errorNumber);
[[noreturn]] void failRead();
[[noreturn]] void failWrite();

// The user's state folder for this program: $XDG_STATE_HOME/vedalka when that is an absolute
// path, else ~/.local/state/vedalka; empty when there is no home folder either.
QString stateFolder();

// Where writing to the name really goes: a symbolic link leads to its target (followed link by
// link, so a link to a missing file names the file to create); any other name is itself.
QString writeTarget(const QString &name);

// Syncs the folder that holds the file, so that a name just linked or renamed into it outlasts a
// power cut; false when the system fails that sync. A folder that cannot be opened for it, or
// a file system without folder syncs, has nothing to sync.
bool syncFolderOf(const QString &file);

// True when a file of that name exists; a folder of that name does not count.
bool exists(const QString &name);

// A file opened for reading with the program's error rules: a missing file, a folder in its
// place or one that cannot be read fails with "Cannot open file ...".
class ReadFile
{
public:
    // With MissingIsEmpty, a file that does not exist reads as empty instead of failing.
    enum Missing { MissingFails, MissingIsEmpty };
    explicit ReadFile(const QString &name, Missing missing = MissingFails);

    // Reads up to n bytes; 0 at the end of the file. A failing read: "Stream read error".
    qsizetype read(char *buffer, qsizetype n);
    // Reads at an absolute offset without moving the read position.
    qsizetype readAt(qint64 offset, char *buffer, qsizetype n);
    // The size the file had when it was opened (0 for pipes and devices).
    qint64 size() const { return m_size; }

private:
    UniqueFd m_fd;
    qint64 m_size = 0;
};

// The whole file, opened as ReadFile opens it; a file longer than `limit` bytes (or one that
// grows past it while it is read) is cut there.
QByteArray readWhole(const QString &name, ReadFile::Missing missing = ReadFile::MissingFails,
                     qint64 limit = std::numeric_limits<qint64>::max());

// A missing store file created empty, held open until this object goes away. An existing file
// of that name is left as it is.
class CreatedFile
{
public:
    explicit CreatedFile(const QString &name);
    void close() { m_fd.reset(); }

private:
    UniqueFd m_fd;
};

inline void createEmpty(const QString &name)
{
    CreatedFile(name).close();
}

} // namespace Files
