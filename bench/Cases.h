// The benchmark cases, registered with Google Benchmark by area, and what the in-process cases
// share: the real main window made in a data folder, with message boxes and sound requests
// recorded instead of shown and played.
#pragma once

#include "app/Vedalka.h"
#include "support/TestSupport.h"

#include <QString>

#include <benchmark/benchmark.h>

namespace Bench {

void registerAnswerCases();
void registerStartupCases();
void registerToolCases();

// The doubles the in-process windows use, made once by main().
TestSupport::RecordingPresenter &boxes();
TestSupport::RecordingSoundPlayer &sounds();

// The real main window, made in the folder (which becomes the working directory) with its
// secondary windows, shown, as the program makes it.
class Window
{
public:
    explicit Window(const QString &folder);
    ~Window();
    TForm1 &form() { return *m_form; }

private:
    std::unique_ptr<TForm1> m_form;
};

// The programs the process-level cases start.
QString vedalkaExe();
QString probeExe();
QString minimalExe();
QString minimalMultimediaExe();

// Mebibytes from kibibytes, for the tables.
inline double mib(qint64 kib)
{
    return double(kib) / 1024.0;
}

} // namespace Bench
