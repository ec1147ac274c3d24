#pragma once

#include <QObject>
#include <QTimer>

#include "kovdetector.h"
#include "unicastprobe.h"

class DeviceRoster;

// The discovery loop: a beacon every interval, by broadcast and by unicast
// to the site's ranges, and each reply handed to the roster.
class Agent : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultIntervalMs = 30000;

    explicit Agent(DeviceRoster *roster, QObject *parent = nullptr);
    ~Agent() override;

    bool isListening() const { return detector.isListening(); }
    void start(int intervalMs);

    quint64 beaconsSent() const { return beacons; }
    quint64 replies() const { return replyCount; }

private:
    void sendRound();

    DeviceRoster *roster;
    KovDetector detector;
    UnicastProbe probe;
    QTimer roundTimer;
    quint64 beacons = 0;
    quint64 replyCount = 0;
};
