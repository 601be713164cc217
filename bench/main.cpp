// The benchmark executable: every path of the program whose cost grows with its data, each
// measured against an anchor in the same run. Google Benchmark runs the cases (its options,
// such as --benchmark_filter, work as usual); the table at the end gives, for each case, our
// median, the anchor's median, their ratio and the target.
#include "Cases.h"
#include "Harness.h"

#include "app/Startup.h"

#include <QApplication>
#include <QDir>

#include <memory>
#include <vector>

namespace Bench {

namespace {

std::unique_ptr<TestSupport::RecordingPresenter> g_boxes;
std::unique_ptr<TestSupport::RecordingSoundPlayer> g_sounds;

} // namespace

TestSupport::RecordingPresenter &boxes()
{
    return *g_boxes;
}

TestSupport::RecordingSoundPlayer &sounds()
{
    return *g_sounds;
}

Window::Window(const QString &folder)
{
    if (!QDir::setCurrent(folder))
        fail(QStringLiteral("cannot enter ") + folder);
    boxes().boxes.clear();
    m_form = std::make_unique<TForm1>();
    m_form->createWindows();
    m_form->show();
    QCoreApplication::processEvents();
    if (!boxes().boxes.isEmpty())
        fail(QStringLiteral("start-up showed a message: ") + boxes().texts().join(u' '));
}

Window::~Window()
{
    m_form.reset();
    QDir::setCurrent(QDir::tempPath());
}

QString vedalkaExe()
{
    return QStringLiteral(VEDALKA_EXE);
}

QString probeExe()
{
    return QStringLiteral(VEDALKA_BENCH_PROBE);
}

QString minimalExe()
{
    return QStringLiteral(VEDALKA_BENCH_MINIMAL);
}

QString minimalMultimediaExe()
{
    return QStringLiteral(VEDALKA_BENCH_MINIMAL_MULTIMEDIA);
}

} // namespace Bench

namespace {

QtMessageHandler g_previousHandler = nullptr;

// The offscreen platform warns about window hints it cannot honour; that is no news here.
void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!message.contains(QStringLiteral("propagateSizeHints")) && g_previousHandler)
        g_previousHandler(type, context, message);
}

} // namespace

int main(int argc, char *argv[])
{
    // The windows made in this process are drawn off screen, whatever the environment says.
    static std::vector<char *> qtArgs = {argv[0], const_cast<char *>("-platform"), const_cast<char *>("offscreen")};
    int qtArgc = int(qtArgs.size());
    g_previousHandler = qInstallMessageHandler(quietHandler);
    QApplication app(qtArgc, qtArgs.data());
    Startup::prepareApplication();
    Bench::g_boxes = std::make_unique<TestSupport::RecordingPresenter>();
    Bench::g_sounds = std::make_unique<TestSupport::RecordingSoundPlayer>();

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Bench::registerAnswerCases();
    Bench::registerStartupCases();
    Bench::registerToolCases();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Bench::printResults();
    Bench::g_sounds.reset();
    Bench::g_boxes.reset();
    return 0;
}
