// Entry point of Ведал-ка!: prepares the application, makes the main window (which prepares
// the data files), then the three secondary windows, and runs until the main window closes.
#include "app/Startup.h"
#include "app/Vedalka.h"
#include "platform/DisplayPlatform.h"
#include "platform/Termination.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    DisplayPlatform::chooseFallback();
    QApplication app(argc, argv);
    Startup::prepareApplication();
    const std::unique_ptr<TForm1> Form1 = Startup::makeMainWindow();
    Form1->show();
    const int code = app.exec();
    // The loop also ends with the window still open: Qt 6.11 ends it when the X connection breaks.
    Termination::sayLastWords();
    Termination::atEnd({});
    return code != 0 ? code : Form1->exitCode();
}
