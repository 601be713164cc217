// An ordered list of text lines (CP1251 bytes), loaded from and saved to a text file. Lines are
// never trimmed, converted or sorted; equal lines may occur any number of times.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class LineList
{
public:
    // Replaces the content with the lines of the file. On a failure the list is unchanged.
    void load(const QString &fileName);
    // Rewrites the file: every line followed by a carriage return and a line feed.
    void save(const QString &fileName) const;
    // Saves only when the file's bytes differ, so nothing is rewritten or synced for nothing; a
    // file that cannot be written fails all the same.
    void saveChanged(const QString &fileName) const;

    qsizetype count() const noexcept { return m_lines.size(); }
    // Out of range: "List index out of bounds (i)".
    const QByteArray &get(qsizetype i) const;
    void replace(qsizetype i, const QByteArray &line);
    void append(const QByteArray &line) { m_lines.append(line); }

    const QList<QByteArray> &lines() const noexcept { return m_lines; }

    // The lines of a text held in memory, cut by the same rule as a file.
    static LineList fromText(QByteArrayView text);
    // The file form of the list.
    QByteArray toText() const;

    // "List index out of bounds (i)" unless 0 <= i < count.
    static void checkIndex(qsizetype i, qsizetype count);

private:
    QList<QByteArray> m_lines;
};
