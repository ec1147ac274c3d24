#pragma once

#include <QCoreApplication>
#include <QStringList>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

// Shared by the fuzz targets. Under libFuzzer a broken property stops the
// run with a crash report, as a sanitizer finding would. Built into the
// corpus replay test (KOV_FUZZ_REPLAY), it is recorded for the test to
// report and the input runs on.
#define FUZZ_CHECK(condition, what) \
    do { \
        if (!(condition)) \
            FuzzSupport::broken(what, __FILE__, __LINE__); \
    } while (0)

namespace FuzzSupport {

inline QStringList &brokenProperties()
{
    static QStringList list;
    return list;
}

inline void broken(const char *what, const char *file, int line)
{
#ifdef KOV_FUZZ_REPLAY
    brokenProperties().append(
        QStringLiteral("%1 (%2:%3)").arg(QLatin1String(what), QLatin1String(file)).arg(line));
#else
    std::fprintf(stderr, "property broken: %s (%s:%d)\n", what, file, line);
    std::abort();
#endif
}

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
// lives for the whole run (the replay test has its own).
inline QCoreApplication *application()
{
    if (QCoreApplication::instance())
        return QCoreApplication::instance();
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
