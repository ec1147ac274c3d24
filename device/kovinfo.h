#pragma once

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
};
