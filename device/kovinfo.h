#pragma once

#include <QDateTime>
#include <QHostAddress>
#include <QString>

// One device seen on the network: a row of KovTable. Held through
// QSharedPointer, so a record handed out stays the live one that later
// replies update in place.
struct KovInfo
{
    QString version;
    QString ip;      // address.toString(), empty for a null address
    QString mac;     // the row's key, compared case-sensitively
    qint64 seen = 0; // table clock (ms) at the last reply
    QHostAddress address;
    Qt::GlobalColor color = Qt::transparent;

    // While a site is open: the installer's texts for a device of the site,
    // and for one not heard in this run (missing) what the site file last
    // heard: `version` and `ip` are then the file's, lastHeard its time.
    bool inSite = false;
    bool heard = true;
    bool outdated = false; // heard on another version than the site's target
    QString name;
    QString location;
    QString notes;
    QDateTime lastHeard; // UTC; invalid when the site never heard it
};
