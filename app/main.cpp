// Entry point of Ведал-ка!
#include "platform/Dialogs.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("ВЕДАЛКА"));
    window.resize(688, 432);
    window.show();
    return app.exec();
}
