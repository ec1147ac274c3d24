#include "fleetupgrade.h"

#include <algorithm>
#include <limits>

#include "kovdetector.h"
#include "tftpdserver.h"

bool FleetUpgrade::Entry::failed() const
{
    return result == Result::StillOld || result == Result::NoAnswer
           || result == Result::TransferFailed;
}

QString FleetUpgrade::Entry::resultText() const
{
    switch (result) {
    case Result::Transferring:
        return QString();
    case Result::Waiting:
        return QStringLiteral("waiting for the device to restart");
    case Result::Running:
        return QStringLiteral("running ") + deviceVersion;
    case Result::StillOld:
        return QStringLiteral("still running ") + deviceVersion;
    case Result::NoAnswer:
        return QStringLiteral("no answer after the upgrade");
    case Result::TransferFailed:
        return QStringLiteral("transfer failed");
    }
    return QString();
}

FleetUpgrade::FleetUpgrade(TFTPDServer *server, int verifyTimeoutMs, int beaconIntervalMs,
                           QObject *parent)
    : QObject(parent), verifyTimeoutMs(verifyTimeoutMs), beaconIntervalMs(beaconIntervalMs)
{
    clock.start();
    beaconTimer.setInterval(beaconIntervalMs);
    expiryTimer.setSingleShot(true);
    connect(&beaconTimer, &QTimer::timeout, this, &FleetUpgrade::sendBeacon);
    connect(&expiryTimer, &QTimer::timeout, this, &FleetUpgrade::expire);
    if (server) {
        connect(server, &TFTPDServer::progress, this, &FleetUpgrade::onProgress);
        connect(server, &TFTPDServer::done, this, &FleetUpgrade::onDone);
        connect(server, qOverload<QHostAddress &, QString>(&TFTPDServer::error), this,
                &FleetUpgrade::onError);
    }
    lastSummary = summary();
}

FleetUpgrade::~FleetUpgrade() = default;

void FleetUpgrade::setServedVersion(const QString &version)
{
    served = version.trimmed();
}

void FleetUpgrade::setMacLookup(MacLookup lookup)
{
    macLookup = std::move(lookup);
}

void FleetUpgrade::orderAll()
{
    startRound();
    KovDetector::sendUpgrade(QHostAddress(QHostAddress::Broadcast));
}

void FleetUpgrade::order(const QList<QHostAddress> &addresses)
{
    startRound();
    for (const QHostAddress &address : addresses) {
        const auto found = records.find(address);
        if (found != records.end())
            found->round = round;
        KovDetector::sendUpgrade(address);
    }
    changed(QHostAddress());
}

int FleetUpgrade::retryFailed()
{
    const QList<QHostAddress> failed = failedAddresses();
    if (failed.isEmpty())
        return 0;
    startRound();
    for (const QHostAddress &address : failed) {
        Record &r = records[address];
        r.round = round;
        // A device matched by MAC may have come back on another address.
        KovDetector::sendUpgrade(r.entry.seenAddress.isNull() ? address : r.entry.seenAddress);
    }
    changed(QHostAddress());
    return int(failed.size());
}

bool FleetUpgrade::contains(const QHostAddress &address) const
{
    return records.contains(address);
}

FleetUpgrade::Entry FleetUpgrade::entry(const QHostAddress &address) const
{
    const auto found = records.constFind(address);
    return found == records.constEnd() ? Entry() : found->entry;
}

QList<QHostAddress> FleetUpgrade::failedAddresses() const
{
    QList<QHostAddress> failed;
    for (const QHostAddress &address : seen) {
        if (records.value(address).entry.failed())
            failed.append(address);
    }
    return failed;
}

bool FleetUpgrade::hasFailed() const
{
    return std::any_of(records.cbegin(), records.cend(),
                       [](const Record &r) { return r.entry.failed(); });
}

int FleetUpgrade::runningCount() const
{
    return counts().running;
}

int FleetUpgrade::failedCount() const
{
    return counts().failed;
}

int FleetUpgrade::inProgressCount() const
{
    return counts().inProgress;
}

FleetUpgrade::Counts FleetUpgrade::counts() const
{
    // One pass: this runs on every transfer report.
    Counts c;
    for (const Record &r : records) {
        if (r.round != round)
            continue;
        if (r.entry.result == Result::Running)
            ++c.running;
        else if (r.entry.failed())
            ++c.failed;
        else
            ++c.inProgress;
    }
    return c;
}

QString FleetUpgrade::summary() const
{
    const Counts c = counts();
    return QStringLiteral("%1 running the new firmware, %2 failed, %3 in progress")
        .arg(c.running)
        .arg(c.failed)
        .arg(c.inProgress);
}

void FleetUpgrade::deviceDetected(QString version, QHostAddress ip, QString mac)
{
    if (waiting == 0)
        return;
    for (auto it = records.begin(); it != records.end(); ++it) {
        Record &r = *it;
        if (r.entry.result != Result::Waiting || beaconsSent <= r.beaconsAtDone)
            continue;
        const bool match = r.entry.mac.isEmpty()
                               ? ip.isEqual(r.entry.address, QHostAddress::TolerantConversion)
                               : mac.compare(r.entry.mac, Qt::CaseInsensitive) == 0;
        if (!match)
            continue;
        r.entry.deviceVersion = version.trimmed();
        r.entry.seenAddress = ip;
        r.entry.result = r.entry.deviceVersion == r.entry.servedVersion ? Result::Running
                                                                        : Result::StillOld;
        --waiting;
        changed(it.key());
        break;
    }
    if (waiting == 0) {
        beaconTimer.stop();
        expiryTimer.stop();
    }
}

FleetUpgrade::Record &FleetUpgrade::startedRecord(const QHostAddress &address)
{
    auto found = records.find(address);
    if (found == records.end()) {
        found = records.insert(address, Record());
        found->entry.address = address;
        seen.append(address);
    } else if (found->entry.result == Result::Transferring && found->entry.progress >= 0) {
        return *found; // a report of the transfer that runs
    }
    // A new transfer: the image it is served is the one held now.
    Record &r = *found;
    if (r.entry.result == Result::Waiting)
        --waiting;
    r.entry.result = Result::Transferring;
    r.entry.servedVersion = served;
    r.entry.deviceVersion.clear();
    r.entry.seenAddress = QHostAddress();
    r.entry.progress = 0;
    if (macLookup)
        r.entry.mac = macLookup(address);
    r.round = round;
    return r;
}

void FleetUpgrade::onProgress(QHostAddress &address, int p)
{
    Record &r = startedRecord(address);
    r.entry.progress = p;
    r.entry.status = QString::number(p);
    changed(address);
}

void FleetUpgrade::onDone(QHostAddress &address)
{
    Record &r = startedRecord(address);
    r.entry.progress = -1;
    r.entry.status = QStringLiteral("done");
    r.entry.result = Result::Waiting;
    if (r.entry.mac.isEmpty() && macLookup)
        r.entry.mac = macLookup(address);
    r.beaconsAtDone = beaconsSent;
    r.deadline = clock.elapsed() + verifyTimeoutMs;
    ++waiting;
    if (!beaconTimer.isActive())
        beaconTimer.start();
    scheduleExpiry();
    changed(address);
}

void FleetUpgrade::onError(QHostAddress &address, QString error)
{
    Record &r = startedRecord(address);
    r.entry.progress = -1;
    r.entry.status = error;
    r.entry.result = Result::TransferFailed;
    changed(address);
}

void FleetUpgrade::startRound()
{
    ++round;
}

void FleetUpgrade::changed(const QHostAddress &address)
{
    if (!address.isNull())
        emit entryChanged(address);
    const QString text = summary();
    if (text != lastSummary) {
        lastSummary = text;
        emit summaryChanged(text);
    }
}

void FleetUpgrade::sendBeacon()
{
    if (waiting == 0) {
        beaconTimer.stop();
        return;
    }
    ++beaconsSent;
    KovDetector::sendBeacon();
}

void FleetUpgrade::expire()
{
    const qint64 now = clock.elapsed();
    for (auto it = records.begin(); it != records.end(); ++it) {
        if (it->entry.result != Result::Waiting || it->deadline > now)
            continue;
        it->entry.result = Result::NoAnswer;
        --waiting;
        changed(it.key());
    }
    if (waiting == 0)
        beaconTimer.stop();
    scheduleExpiry();
}

void FleetUpgrade::scheduleExpiry()
{
    qint64 next = std::numeric_limits<qint64>::max();
    for (const Record &r : std::as_const(records)) {
        if (r.entry.result == Result::Waiting)
            next = std::min(next, r.deadline);
    }
    if (next == std::numeric_limits<qint64>::max()) {
        expiryTimer.stop();
        return;
    }
    expiryTimer.start(int(std::max<qint64>(0, next - clock.elapsed())));
}
