#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>

#include "addressrange.h"

// Sends the discovery beacon by unicast to every address of some ranges,
// for devices a broadcast cannot reach (behind a router). The datagrams
// leave in timer slices, at most MaxRate a second, so a /20 neither floods
// the link nor blocks the event loop. Replies arrive at KovDetector as for
// the broadcast beacon.
class UnicastProbe : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxRate = 2000;     // datagrams per second
    static constexpr int SliceInterval = 10; // ms between slices

    explicit UnicastProbe(QObject *parent = nullptr);
    ~UnicastProbe() override;

    // Probes the ranges. While a probe runs, ranges it has still to send
    // are not queued twice; the others are added after it.
    void probe(const QList<AddressRange> &ranges);
    void cancel();

    bool isActive() const { return !queue.isEmpty(); }
    int pending() const;
    int sent() const { return sentCount; }

signals:
    void finished();

private:
    void sendSlice();

    QList<AddressRange> queue; // queue.first() is being sent from nextIndex
    int nextIndex = 0;
    int sentCount = 0; // in the current probe
    QElapsedTimer clock;
    QTimer sliceTimer;
    QUdpSocket socket;
};
