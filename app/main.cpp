// The program's entry: the Qt application, then the application object's start-up and loop.
#include "Images.h"
#include "TidemarkApp.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setWindowIcon(DrawMainIcon());
    // Desktops find the window's menu entry, and with it the icon, by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral(TIDEMARK_APP_ID));
    CTidemarkApp theApp;
    if (!theApp.InitInstance())
        return theApp.ExitInstance();
    return theApp.Run();
}
