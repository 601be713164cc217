#include "core/ResultLog.h"

#include "core/SafeWriter.h"

void ResultLog::prepare(const QString &fileName)
{
    SaveNote::recover(fileName);
    Files::ReadFile file(fileName);
    m_prepared = true;
}

void ResultLog::append(const QByteArray &line)
{
    constexpr qsizetype BlockSize = 64 * 1024;
    if (m_text.isEmpty() || m_text.last().size() + line.size() + 2 > BlockSize) {
        m_text.append(QByteArray());
        m_text.last().reserve(qMax(BlockSize, line.size() + 2));
    }
    m_text.last().append(line).append("\r\n", 2);
    ++m_count;
}

void ResultLog::save(const QString &fileName)
{
    // Another copy of the program may be closing at the same moment: one waits for the other,
    // then adds its answers after the other's. Answers an earlier session could not write come
    // first, claimed under the lock. A log removed while the program ran starts afresh.
    SafeWriter::Lock lock(fileName, true);
    lock.append(m_text, Files::ReadFile::MissingIsEmpty, SaveNote::claimAnswers(fileName));
    m_text.clear();
    m_count = 0;
}

QString ResultLog::keep(const QString &fileName)
{
    const QString name = SaveNote::keepAnswers(fileName, m_text);
    m_text.clear();
    m_count = 0;
    return name;
}
