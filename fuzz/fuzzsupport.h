#pragma once

#include <QCoreApplication>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

// Shared by the fuzz targets: a property that fails stops the run with a
// crash report, as a sanitizer finding would.
#define FUZZ_CHECK(condition, what)                                                   \
    do {                                                                              \
        if (!(condition)) {                                                           \
            std::fprintf(stderr, "property broken: %s (%s:%d)\n", what, __FILE__,     \
                         __LINE__);                                                   \
            std::abort();                                                             \
        }                                                                             \
    } while (0)

namespace FuzzSupport {

// The transfer code writes a debug line for every odd packet; at a few
// hundred thousand inputs a second that would be the whole cost of a run.
inline void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "qFatal: %s\n", qPrintable(message));
        std::abort();
    }
    if (type == QtCriticalMsg)
        std::fprintf(stderr, "qCritical: %s\n", qPrintable(message));
}

// Sockets, timers and deferred deletion need an application object that
// lives for the whole run.
inline QCoreApplication *application()
{
    static int argc = 1;
    static char name[] = "kov-fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = [] {
        qInstallMessageHandler(quietMessages);
        return new QCoreApplication(argc, argv);
    }();
    return app;
}

} // namespace FuzzSupport
