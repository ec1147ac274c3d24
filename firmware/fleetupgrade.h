#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class TFTPDServer;

// Upgrade rounds over a fleet of devices: the orders, the transfers the
// TFTP server reports, and whether each device really came back running
// the image it was served. Free of widgets; the window and kovctl both
// drive it.
//
// A device's transfer is seen through the server's progress/done/error
// signals, one entry per device address. The version served to a device
// is the servedVersion() at the moment its transfer starts (the first
// report after none was running). After "done" the entry waits for the
// device to answer the discovery beacon again: while any entry waits, the
// class broadcasts the beacon every beacon interval (never more often),
// and feeds on replies given to deviceDetected(). A reply matches an
// entry by the MAC the MAC lookup knew for its address, or by address
// when it knew none. Only replies heard after a beacon of ours that went
// out after the transfer's "done" count: earlier ones may answer an
// older beacon from before the restart. An entry that hears nothing for
// the verify timeout after "done" ends as "no answer after the upgrade".
//
// The latest round starts with orderAll(), order() or retryFailed(); the
// summary counts the entries that took part in it: those whose transfer
// started since, and those ordered by address in it.
class FleetUpgrade : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultVerifyTimeout = 180000; // ms after "done"
    static constexpr int DefaultBeaconInterval = 10000; // ms between beacons

    enum class Result {
        Transferring,   // the transfer runs (or nothing is known yet)
        Waiting,        // "done"; waiting for the device to answer again
        Running,        // answered with the version it was served
        StillOld,       // answered with another version
        NoAnswer,       // silent for the verify timeout after "done"
        TransferFailed, // the transfer ended with an error
    };

    struct Entry
    {
        QHostAddress address; // where the transfer went; the entry's key
        QString mac;          // from the MAC lookup; empty when unknown
        QString status;       // as the transfer table shows it: the percentage
                              // (decimal, no sign), "done" or the error text
        int progress = -1;    // 0..100 while the transfer runs, else -1
        Result result = Result::Transferring;
        QString servedVersion;    // captured when the transfer started
        QString deviceVersion;    // what the device answered with after "done"
        QHostAddress seenAddress; // where the device answered from (orders go there)

        bool failed() const;
        // "waiting for the device to restart", "running <version>",
        // "still running <old version>", "no answer after the upgrade",
        // "transfer failed", or empty while the transfer runs.
        QString resultText() const;
    };

    using MacLookup = std::function<QString(const QHostAddress &address)>;

    // Watches server's done/progress/error. The timings are in ms; tests
    // and kovctl --verify-timeout shorten them.
    explicit FleetUpgrade(TFTPDServer *server, int verifyTimeoutMs = DefaultVerifyTimeout,
                          int beaconIntervalMs = DefaultBeaconInterval, QObject *parent = nullptr);
    ~FleetUpgrade() override;

    int verifyTimeout() const { return verifyTimeoutMs; }
    int beaconInterval() const { return beaconIntervalMs; }

    // The version of the image ready to serve (white space around it is
    // dropped). Set it whenever the held image changes.
    void setServedVersion(const QString &version);
    QString servedVersion() const { return served; }

    // The MAC known for an address, or an empty string.
    void setMacLookup(MacLookup lookup);

    // One broadcast upgrade datagram to every device on the subnet.
    void orderAll();
    // One unicast upgrade datagram to each address.
    void order(const QList<QHostAddress> &addresses);
    // Orders every device whose latest result is a failure again, one
    // unicast datagram each; returns how many were ordered.
    int retryFailed();

    // Every address a transfer was reported for, in the order first seen.
    QList<QHostAddress> addresses() const { return seen; }
    bool contains(const QHostAddress &address) const;
    // The entry of address; a default Entry when there is none.
    Entry entry(const QHostAddress &address) const;
    QList<QHostAddress> failedAddresses() const;
    bool hasFailed() const;

    // Counts over the latest round.
    int runningCount() const;
    int failedCount() const;
    int inProgressCount() const;
    // "N running the new firmware, N failed, N in progress"
    QString summary() const;

public slots:
    // A device answered the beacon (as KovDetector::detected gives it).
    void deviceDetected(QString version, QHostAddress ip, QString mac);

signals:
    void entryChanged(const QHostAddress &address);
    void summaryChanged(const QString &summary);

private:
    struct Counts
    {
        int running = 0;
        int failed = 0;
        int inProgress = 0;
    };

    struct Record
    {
        Entry entry;
        int round = 0;
        quint64 beaconsAtDone = 0;
        qint64 deadline = 0; // monotonic ms; while waiting
    };

    void onProgress(QHostAddress &address, int p);
    void onDone(QHostAddress &address);
    void onError(QHostAddress &address, QString error);
    Record &startedRecord(const QHostAddress &address);
    Counts counts() const;
    void startRound();
    void changed(const QHostAddress &address);
    void sendBeacon();
    void expire();
    void scheduleExpiry();

    int verifyTimeoutMs;
    int beaconIntervalMs;
    QString served;
    MacLookup macLookup;
    QHash<QHostAddress, Record> records;
    QList<QHostAddress> seen;
    int round = 0;
    int waiting = 0;
    quint64 beaconsSent = 0;
    QTimer beaconTimer;
    QTimer expiryTimer;
    QElapsedTimer clock;
    QString lastSummary;
};
