// Start-up of the tool's window against a bare QMainWindow, in-process:
// from main() to the window shown and exposed on the platform.
//
//   startup-bench tool|bare
// Prints one line of figures; bench/startup runs it several times.
#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QWindow>

#include <cstdio>
#include <memory>

#include "mainwindow.h"

int main(int argc, char *argv[])
{
    QElapsedTimer clock;
    clock.start();
    const bool tool = argc > 1 && QByteArray(argv[1]) == "tool";

    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("KOV-Tool"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("Veltrane, LLC"));
    QCoreApplication::setOrganizationName(QStringLiteral("Veltrane"));
    const qint64 application = clock.nsecsElapsed();

    std::unique_ptr<QMainWindow> window;
    if (tool)
        window = std::make_unique<MainWindow>();
    else
        window = std::make_unique<QMainWindow>();
    const qint64 constructed = clock.nsecsElapsed();

    window->show();
    while (!window->windowHandle() || !window->windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::processEvents();
    const qint64 shown = clock.nsecsElapsed();

    std::printf("startup %s: application %.2f ms, window constructed %.2f ms, "
                "shown %.2f ms\n",
                tool ? "tool" : "bare", application / 1e6, (constructed - application) / 1e6,
                shown / 1e6);
    return 0;
}
