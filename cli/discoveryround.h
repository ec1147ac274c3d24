#pragma once

#include <QList>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <functional>

#include "addressrange.h"
#include "kovdetector.h"
#include "kovinfo.h"
#include "kovtable.h"

// One round of discovery: the beacon goes out, and every answer within
// the waiting time lands in a device table keyed by MAC, as in the window.
class DiscoveryRound : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultWaitMs = 2000;

    explicit DiscoveryRound(QObject *parent = nullptr);

    // False when the reply port could not be bound; a round would then
    // hear nothing.
    bool isListening() const;

    // Broadcasts the beacon, sends it by unicast to every address of
    // ranges (paced), and collects answers for waitMs after the last one
    // went out, or less once enough() holds after an answer.
    void run(int waitMs, const std::function<bool()> &enough = {},
             const QList<AddressRange> &ranges = {});

    // Stays listening after run(): later answers keep coming through here.
    KovDetector *replies() { return &detector; }

    // The devices heard, sorted by MAC.
    QList<QSharedPointer<KovInfo>> devices();

    // The device whose MAC is mac (any case, ':' or '-' between the
    // bytes), or null.
    QSharedPointer<KovInfo> findMac(const QString &mac);

    // "AA:BB:CC:DD:EE:FF" for a MAC written with ':' or '-' or nothing
    // between its six bytes, in any case; empty for anything else.
    static QString normalMac(const QString &text);

    // The MAC of the device that reported address, or an empty string.
    QString macOf(const QHostAddress &address);

private:
    KovTable table;
    KovDetector detector;
};
