#pragma once

#include "sitedevice.h"
#include "siteircode.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class QDateTime;

// A site as a value: its name, target firmware, the address ranges to probe
// and its devices keyed by MAC. SiteJson reads and writes it, SiteFile
// keeps it on disk.
class Site
{
public:
    static constexpr const char *FormatMarker = "kov-site";
    static constexpr int FormatVersion = 1;

    QString name;
    QString targetVersion; // empty: no target
    QStringList ranges;    // the "Find devices at" ranges, as AddressRange texts
    QList<SiteDevice> devices;
    QList<SiteIrCode> irCodes;

    // Any case, ':' '-' or nothing between bytes; empty when not a MAC.
    static QString canonicalMac(const QString &text);
    int indexOfMac(const QString &mac) const;   // any spelling; -1 when absent
    int indexOfName(const QString &name) const; // case-insensitive; -1 for "" or absent
    int find(const QString &macOrName) const;   // by MAC first, then by name

    // Sets the three texts of the device with that MAC, adding it when the
    // site does not hold it. Refuses (false, *error) a name another device
    // uses, a name that is itself a MAC address, and a MAC that is not one.
    bool setDeviceFields(const QString &mac, const QString &name, const QString &location,
                         const QString &notes, QString *error);

    enum class Heard { NotInSite, Unchanged, TimeOnly, Changed };
    // A reply from mac: updates lastAddress/lastVersion/lastSeen of a site
    // device. Changed when the address or version changed (or first heard),
    // TimeOnly when only the time moved. Callers save at once on Changed and
    // at most once a minute (and on close) for TimeOnly.
    Heard recordHeard(const QString &mac, const QString &address, const QString &version,
                      const QDateTime &utc);

    // True when a target is set and version (trimmed) is not it ("Unknown"
    // and empty: not outdated, the version is not known).
    bool isOutdated(const QString &version) const;

    int indexOfCode(const QString &equipment, const QString &name) const; // case-insensitive
    bool addIrCode(const SiteIrCode &code, QString *error); // refuses a duplicate name
    QStringList equipment() const;                          // in first-seen order

    // "" when valid; else the first problem, as SiteJson::parse words it.
    QString validate() const;

    bool operator==(const Site &other) const
    {
        return name == other.name && targetVersion == other.targetVersion && ranges == other.ranges
               && devices == other.devices && irCodes == other.irCodes;
    }
    bool operator!=(const Site &other) const { return !(*this == other); }

private:
    // MAC -> index into devices, for the first macIndexed devices; checked
    // on every hit, since devices is the caller's to change.
    mutable QHash<QString, int> macIndex;
    mutable int macIndexed = 0;
};
