#pragma once

#include <QDateTime>
#include <QString>

// One device of a site, known by its MAC for good; the other texts are the
// installer's, the last* fields what the device said when last heard.
struct SiteDevice
{
    QString mac;  // canonical form: upper-case hex pairs joined by ':' ("00:1E:C0:77:00:01")
    QString name; // unique in the site, case-insensitively; may be empty
    QString location;
    QString notes;
    QString lastAddress; // IPv4 text last heard from, empty when never heard
    QString lastVersion; // firmware version text last heard, empty when never heard
    QDateTime lastSeen;  // UTC; invalid when never heard

    bool operator==(const SiteDevice &other) const
    {
        return mac == other.mac && name == other.name && location == other.location
               && notes == other.notes && lastAddress == other.lastAddress
               && lastVersion == other.lastVersion && lastSeen == other.lastSeen;
    }
    bool operator!=(const SiteDevice &other) const { return !(*this == other); }
};
