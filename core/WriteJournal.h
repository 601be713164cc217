// A note made before a store file is changed in place and removed once the change is on disk.
// When the program dies halfway (killed, power gone), the next one to lock the file finds the
// note and puts the file back as it was: a torn append is cut back to the old end, a torn
// rewrite gets its old bytes back. So a file is only ever seen before a change or after it.
//
// The note lies beside the file (".<name>.journal") when that folder can take it, else in the
// user's state folder ($XDG_STATE_HOME/vedalka, else ~/.local/state/vedalka), named by the
// file's device and inode. Where neither can be written the change goes ahead without a note.
#pragma once

#include <QByteArray>
#include <QString>

class WriteJournal
{
public:
    // Notes, before the first byte changes, that the open file `fd` at `target` grows from
    // oldSize to newSize, or that its whole old content is `old`.
    static WriteJournal forAppend(const QString &target, int fd, qint64 oldSize, qint64 newSize);
    static WriteJournal forRewrite(const QString &target, int fd, const QByteArray &old);

    WriteJournal(WriteJournal &&other) noexcept : m_path(std::move(other.m_path)) {}
    WriteJournal(const WriteJournal &) = delete;
    WriteJournal &operator=(const WriteJournal &) = delete;
    // Leaves the note in place: only finish() says the change is done or undone.
    ~WriteJournal() = default;
    // The file is as it should be (the change is on disk, or it was undone): drops the note.
    void finish();

    // Puts the file back from a note left by a writer that died. The caller holds the file's
    // lock, so no living writer can own the note.
    static void recoverLocked(const QString &fileName);
    // The same for a reader that holds no lock: a note is only acted on when the file's lock
    // can be had at once (else its writer is still at work). Costs two stat calls otherwise.
    static void recover(const QString &fileName);

private:
    explicit WriteJournal(QByteArray path) : m_path(std::move(path)) {}
    static WriteJournal write(const QString &target, int fd, const QByteArray &kind, qint64 oldSize, qint64 newSize,
                              const QByteArray &body);

    QByteArray m_path;
};
