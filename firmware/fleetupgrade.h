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
// signals, one entry per device: per MAC where the MAC lookup knows the
// transfer's address, else per address. A device that comes back (or is
// served again) at another address keeps its entry, which moves to the
// new address. The version served to a device
// is the servedVersion() at the moment its transfer starts (the first
// report after none was running). After "done" the entry waits for the
// device to answer the discovery beacon again: while any entry waits, the
// class broadcasts the beacon every beacon interval (never more often),
// and feeds on replies given to deviceDetected(). A reply matches an
// entry by the MAC the MAC lookup knew for its address, or by address
// when it knew none. Only replies heard after a beacon of ours that went
// out after the transfer's "done" count: earlier ones may answer an
// older beacon from before the restart. An entry that hears nothing for
// the verify timeout after "done" ends as "no answer after the upgrade";
// one that answers without a version (the three-field reply) ends
// unverified: neither running the new image nor a failure.
//
// The latest round starts with orderAll(), order() or retryFailed(); the
// summary counts the entries that took part in it: those whose transfer
// started since, and those ordered by address in it. summaryChanged is
// sent at most every SummaryInterval ms, however many reports arrive.
class FleetUpgrade : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultVerifyTimeout = 180000; // ms after "done"
    static constexpr int DefaultBeaconInterval = 10000; // ms between beacons
    static constexpr int SummaryInterval = 250;         // ms between summaryChanged

    enum class Result {
        Transferring,   // the transfer runs (or nothing is known yet)
        Waiting,        // "done"; waiting for the device to answer again
        Running,        // answered with the version it was served
        StillOld,       // answered with another version
        Unverified,     // answered, but without a version
        NoAnswer,       // silent for the verify timeout after "done"
        TransferFailed, // the transfer ended with an error
    };

    struct Entry
    {
        int id = -1;          // the entry's own number, kept when it moves
        QHostAddress address; // where the device was last seen: its transfer, or its answer
        QString mac;          // from the MAC lookup (upper case); empty when unknown
        QString status;       // as the transfer table shows it: the percentage
                              // (decimal, no sign), "done" or the error text
        int progress = -1;    // 0..100 while the transfer runs, else -1
        Result result = Result::Transferring;
        QString servedVersion;    // captured when the transfer started
        QString deviceVersion;    // what the device answered with after "done"
        QHostAddress seenAddress; // where the device answered from (orders go there)

        bool failed() const;
        // "waiting for the device to restart", "running <version>",
        // "still running <old version>", "restarted; it does not report
        // its version", "no answer after the upgrade", "transfer failed",
        // or empty while the transfer runs.
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

    // The current address of every entry, in the order the entries began.
    QList<QHostAddress> addresses() const;
    // Whether an entry is at address now.
    bool contains(const QHostAddress &address) const;
    // The entry at address; a default Entry (id -1) when there is none.
    Entry entry(const QHostAddress &address) const;
    // The entry with that id; a default Entry when there is none.
    Entry entryOf(int id) const;
    int entryCount() const { return int(records.size()); }
    QList<QHostAddress> failedAddresses() const;
    bool hasFailed() const { return failedTotal > 0; }
    // Whether every entry has its result (none transferring or waiting).
    bool allFinal() const { return unfinished == 0; }

    // Counts over the latest round.
    int runningCount() const;
    int unverifiedCount() const;
    int failedCount() const;
    int inProgressCount() const;
    // "N running the new firmware, N unverified, N failed, N in progress",
    // the unverified part only when there are any.
    QString summary() const;

public slots:
    // A device answered the beacon (as KovDetector::detected gives it).
    void deviceDetected(QString version, QHostAddress ip, QString mac);

signals:
    // The entry now at address changed (it may have moved there).
    void entryChanged(const QHostAddress &address);
    void summaryChanged(const QString &summary);

private:
    struct Counts
    {
        int running = 0;
        int unverified = 0;
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
    Record *recordAt(const QHostAddress &address);
    Record &newRecord(const QHostAddress &address, const QString &mac);
    void moveTo(Record &r, const QHostAddress &address);
    void setResult(Record &r, Result result);
    Counts counts() const;
    void startRound();
    void changed(const Record &r);
    void summaryLater();
    void sendSummary();
    void sendBeacon();
    void expire();
    void scheduleExpiry();

    int verifyTimeoutMs;
    int beaconIntervalMs;
    QString served;
    MacLookup macLookup;
    QList<Record> records;         // by id, in the order they began
    QHash<quint32, int> byAddress; // IPv4 address -> id of the entry there
    QHash<QString, int> byMac;     // upper-case MAC -> id
    int round = 0;
    int waiting = 0;
    int failedTotal = 0;
    int unfinished = 0;
    quint64 beaconsSent = 0;
    QTimer beaconTimer;
    QTimer expiryTimer;
    QTimer summaryTimer;
    QElapsedTimer clock;
    QString lastSummary;
};
