#include "core/ResultLog.h"

#include "core/FileLock.h"
#include "core/Files.h"
#include "core/LineCopy.h"

void ResultLog::load(const QString &fileName)
{
    Files::ReadFile file(fileName);
    m_loaded = true;
}

void ResultLog::save(const QString &fileName)
{
    // Another copy of the program may be closing at the same moment: one waits for the other,
    // then adds its answers after the other's.
    const FileLock lock(fileName, true);
    // A log removed while the program ran starts afresh with this run's answers.
    LineCopy::appendLines(fileName, m_pending, Files::ReadFile::MissingIsEmpty);
    m_pending.clear();
}
