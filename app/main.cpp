#include <QApplication>

#include "mainwindow.h"

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QCoreApplication::setApplicationName("KOV-Tool");
    QCoreApplication::setApplicationVersion("1.0");
    QCoreApplication::setOrganizationDomain("Veltrane, LLC");
    QCoreApplication::setOrganizationName("Veltrane");

    MainWindow window;
    window.show();
    return application.exec();
}
