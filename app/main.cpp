#include <QApplication>

#include "mainwindow.h"
#include "programidentity.h"

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    setProgramIdentity();

    MainWindow window;
    window.show();
    return application.exec();
}
