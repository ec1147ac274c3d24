#pragma once

#include <QString>

// How long ago a device last answered, as the device list says it:
// "just now", "42 s ago", "3 min ago", "2 h ago"; a lost device reads
// "lost 3 min ago".
class LastSeen
{
public:
    static constexpr qint64 JustNow = 5000; // ms

    static QString text(qint64 ageMs, bool lost);
};
