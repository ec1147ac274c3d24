#include <QApplication>

#include "mainwindow.h"
#include "programicon.h"

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QCoreApplication::setApplicationName("KOV-Tool");
    QCoreApplication::setApplicationVersion("1.0");
    QCoreApplication::setOrganizationDomain("Veltrane, LLC");
    QCoreApplication::setOrganizationName("Veltrane");
    // Every window, the About box included, shows the tool's icon; the
    // desktop entry's name lets a Wayland compositor match the windows to
    // the menu entry and its icon.
    QApplication::setWindowIcon(programIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("com.veltrane.KovTool"));

    MainWindow window;
    window.show();
    return application.exec();
}
