// The anchor for start-up and memory: the least Qt Widgets program that shows one empty main
// window, placed and sized as ours. With "report" it prints "painted <peak resident KiB>" once
// the first frame is drawn and ends at once; without, it runs until it is stopped. With "label"
// (after "report" or alone) the window shows one line of text: what any window with text pays
// for its fonts on top.
#include "FirstPaint.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMainWindow>

#include <cstdio>
#include <cstring>
#include <unistd.h>

int main(int argc, char *argv[])
{
    bool report = false;
    bool label = false;
    for (int i = 1; i < argc; ++i) {
        report = report || std::strcmp(argv[i], "report") == 0;
        label = label || std::strcmp(argv[i], "label") == 0;
    }
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(688, 452);
    window.move(283, 110);
    if (label) {
        auto *text = new QLabel(QStringLiteral("ДЛЯ ЭТОГО НЕОБХОДИМО НАЖАТЬ КНОПКУ ВЕДАЛКА"), &window);
        text->move(40, 104);
        text->adjustSize();
    }
    FirstPaint painted(&window, [report] {
        if (report) {
            QByteArray peak = "0";
            QFile status(QStringLiteral("/proc/self/status"));
            if (status.open(QIODevice::ReadOnly)) {
                for (const QByteArray &line : status.readAll().split('\n')) {
                    if (line.startsWith("VmHWM:"))
                        peak = line.mid(6).trimmed().split(' ').first();
                }
            }
            std::fputs(("painted " + peak + '\n').constData(), stdout);
            std::fflush(stdout);
            ::_exit(0);
        }
    });
    window.show();
    return app.exec();
}
