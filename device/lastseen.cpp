#include "lastseen.h"

#include <QCoreApplication>

QString LastSeen::text(qint64 ageMs, bool lost)
{
    const auto tr = [](const char *text) { return QCoreApplication::translate("LastSeen", text); };
    const qint64 seconds = qMax<qint64>(ageMs, 0) / 1000;
    QString ago;
    if (ageMs < JustNow)
        ago = tr("just now");
    else if (seconds < 60)
        ago = tr("%1 s ago").arg(seconds);
    else if (seconds < 3600)
        ago = tr("%1 min ago").arg(seconds / 60);
    else
        ago = tr("%1 h ago").arg(seconds / 3600);
    return lost ? tr("lost %1").arg(ago) : ago;
}
