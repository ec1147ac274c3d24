#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include "fleetupgrade.h"

class DiscoveryRound;
class TFTPDServer;

// One kovctl upgrade: orders the devices, follows every transfer that the
// TFTP server reports and waits until each device has its result. Shows
// a live line per device with a progress bar on a terminal, plain lines
// on anything else, or nothing until the end (json).
class UpgradeRun : public QObject
{
    Q_OBJECT

public:
    enum class Output { Live, Lines, Quiet };

    UpgradeRun(TFTPDServer *server, DiscoveryRound *round, const QString &servedVersion,
               int verifyTimeoutMs, Output output, QObject *parent = nullptr);

    // A device we expect a transfer from; label is how the user named it.
    void expect(const QHostAddress &address, const QString &label);

    // Orders the expected devices (or every device, by broadcast) and
    // returns once every one of them, and every other device whose
    // transfer was reported, has a result.
    void run(bool everyDevice);

    // True when every device is running the served version; a device that
    // does not report its version is not one.
    bool allRunning() const;
    // The window's summary line: "N running the new firmware[, N
    // unverified], N failed, N in progress".
    QString summary() const;
    // The final report, one line per device.
    QStringList resultLines() const;
    QJsonObject toJson() const;

private:
    struct Device
    {
        QHostAddress address;
        QString label;
        QString lastLine;  // for plain lines: what was printed last
        int lastStep = -1; // last 10 % step printed
        int id = -1;       // its fleet entry; -1 until its transfer is reported
    };

    void entryChanged(const QHostAddress &address);
    void tick();
    bool finished() const;
    bool neverStarted(const Device &device) const;
    Device &deviceFor(const FleetUpgrade::Entry &entry);
    QString stateText(const Device &device) const;
    QString liveLine(const Device &device) const;
    void redraw();

    FleetUpgrade fleet;
    DiscoveryRound *round;
    int verifyTimeoutMs;
    Output output;
    QList<Device> devices;
    QElapsedTimer sinceOrder;
    QTimer ticker;
    QEventLoop loop;
    int linesShown = 0;
    bool dirty = false;
};
