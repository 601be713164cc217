#include "core/ResultLog.h"

#include "core/FileLock.h"
#include "core/Files.h"
#include "core/LineCopy.h"
#include "core/SafeWriter.h"

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
    SafeWriter out(fileName);
    // A log removed while the program ran starts afresh with this run's answers.
    LineCopy::copyLines(fileName, out, Files::ReadFile::MissingIsEmpty);
    for (const QByteArray &line : std::as_const(m_pending)) {
        out.write(line);
        out.write("\r\n", 2);
    }
    out.commit();
    m_pending.clear();
}
