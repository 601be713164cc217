// Helpers shared by the test suites: a text's code-page bytes, a private working folder, recorded
// message boxes and sound requests, a fixed clock, a file-size limit that stands in for a full
// disk, and typing text as a user would.
#pragma once

#include "core/Cp1251.h"
#include "core/Failure.h"
#include "core/RandomSource.h"
#include "platform/Dialogs.h"
#include "platform/SystemSound.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <initializer_list>

class QWidget;

class ResultLog;

namespace TestSupport {

// Runs the test process without root's right to write anything, so that read-only files and
// folders behave as they do for a user. `needs` names the files and folders of the source and
// build trees the test reads (see reachable()). Called before the application object is made.
void dropRootPrivileges(char *argv[], std::initializer_list<const char *> needs = {});

// Two empty regular files of root's that the tests' user may write and link (as another user's
// files in a shared folder are); none when the tests did not start as root.
QStringList othersFiles();

// The path to read `path` by. Root's folders (a 700 /root) are closed to the user the tests
// run as, so what a test needs from them is copied, with the test program itself, into a
// folder of that user's, and the program starts again from there; this is then the copy.
QString reachable(const char *path);

// A test program started by hand, without a display or a locale, runs as CTest runs it.
void headlessByDefault();

// A fresh temporary folder made the working directory for the life of the object.
class WorkDir
{
public:
    WorkDir();
    ~WorkDir();
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// The text in the program's code page.
inline QByteArray cp(const QString &s)
{
    return Cp1251::encode(s);
}

// A text of about `size` bytes drawn from `seed`: lines of bytes from 0x20 up, one in
// `longOneIn` up to `longMax` long and the others up to `shortMax`, each ended by one of the five
// kinds of break.
QByteArray mixedText(qsizetype size, quint32 seed, quint32 longOneIn = 10, quint32 longMax = 3000, quint32 shortMax = 120);

// The text of the Failure the body throws, or "<no failure>".
QString failureText(const std::function<void()> &body);

void writeFile(const QString &name, const QByteArray &bytes);
QByteArray readFile(const QString &name);
// The answers of a run not yet in the log, a line each.
QList<QByteArray> answersOf(const ResultLog &log);
void makeDir(const QString &name);

// Records every box instead of showing it.
class RecordingPresenter : public Dialogs::Presenter
{
public:
    struct Box
    {
        Dialogs::Kind kind;
        QString text;
    };

    RecordingPresenter();
    ~RecordingPresenter() override;
    void present(Dialogs::Kind kind, const QString &text) override;

    QList<Box> boxes;
    // Called while a box is "shown", as a user could act while it waits.
    std::function<void(const Box &)> onBox;

    QStringList texts() const;
    QStringList errors() const;
    QStringList messages() const;
};

// Records every sound request instead of making sound, while the object lives.
class RecordingSoundPlayer : public SystemSound::Player
{
public:
    RecordingSoundPlayer();
    ~RecordingSoundPlayer() override;
    bool play(const SystemSound::SoundRequest &request) override;

    QList<SystemSound::SoundRequest> requests;
    // Called with each request as it is made, as the sound player would see it.
    std::function<void(const SystemSound::SoundRequest &)> onRequest;

    // The requests that name a sound, without the empty ones that only stop.
    QList<SystemSound::SoundRequest> sounds() const;
    // How many empty requests (stops) were made.
    qsizetype stops() const;
};

// Little-endian fields, as icon and WAV files store them.
QByteArray le16(quint16 v);
QByteArray le32(quint32 v);

// A WAV image: the RIFF header, a "fmt " chunk for the format tag, rate, channels and bits, and
// a "data" chunk holding the samples as given.
QByteArray makeWav(int sampleRate, int channels, int bits, const QByteArray &samples, quint16 formatTag = 1);
// A WAV image of a sine tone, 16-bit PCM.
QByteArray makeTone(int sampleRate, int channels, int milliseconds, double hertz = 440.0);

// Keeps a test process away from any real sound server: without this, the sound library could
// reach the desktop's server, or start one of its own for the test user.
void isolateFromSoundServer();

// The clock that seeds the random source returns this value while the object lives.
class FixedCounter
{
public:
    explicit FixedCounter(quint64 value);
    ~FixedCounter();
};

// Writes beyond this many bytes fail, as on a full disk, while the object lives.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();

private:
    quint64 m_soft = 0;
    quint64 m_hard = 0;
};

// Types the text into the widget one character at a time, Cyrillic included.
void typeText(QWidget *widget, const QString &text);

// When the next modal box or window appears, hands it to the function (on the event loop), and
// closes it afterwards if the function left it open.
void whenModalAppears(std::function<void(QWidget *)> action, int timeoutMs = 5000);

} // namespace TestSupport

// Like QTEST_MAIN, but first gives up root, which would make every file writable. The arguments
// after the test object are the paths it reads from the trees, as dropRootPrivileges takes them.
#define VEDALKA_TEST_MAIN(TestObject, ...)                                                              \
    int main(int argc, char *argv[])                                                                    \
    {                                                                                                   \
        TestSupport::headlessByDefault();                                                               \
        TestSupport::dropRootPrivileges(argv, {__VA_ARGS__});                                           \
        TestSupport::isolateFromSoundServer();                                                          \
        QApplication app(argc, argv);                                                                   \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                        \
        TestObject tc;                                                                                  \
        QTEST_SET_MAIN_SOURCE_PATH                                                                      \
        return QTest::qExec(&tc, argc, argv);                                                           \
    }
