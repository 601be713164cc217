// An advisory lock on a data file, held while the file is read and replaced, so that two copies
// of the program working in one folder take turns instead of overwriting each other's changes.
//
// The lock is taken on the file itself, so nothing is left behind in the folder. Since a save
// puts a new file in place of the old one, a waiter that gets the lock checks that the name
// still leads to the file it locked, and locks the new one if not. Whoever gets the lock first
// completes a save its last writer left cut short (see SaveNote).
#pragma once

#include "core/FileDescriptor.h"

#include <QString>

class FileLock
{
public:
    // Waits a short while for the lock, the windows doing their repaints meanwhile; a lock another
    // program keeps longer fails with "Cannot create file ..." and the reason the system gives
    // for a held lock. A missing file is created empty first when `create` is set. Where no
    // lock can be had otherwise (no rights to the file, a file system without locks) the
    // caller goes on unlocked and meets the real error when it reads or writes.
    explicit FileLock(const QString &fileName, bool create = false);

    // How long a held lock is waited for.
    static constexpr int WaitMs = 1500;

private:
    UniqueFd m_fd; // closing it gives the lock up
};
