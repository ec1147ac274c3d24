#include "fleetupgrade.h"

#include <algorithm>
#include <limits>

#include "kovdetector.h"
#include "tftpdserver.h"

namespace {

bool isFinal(FleetUpgrade::Result result)
{
    return result != FleetUpgrade::Result::Transferring && result != FleetUpgrade::Result::Waiting;
}

quint32 keyOf(const QHostAddress &address)
{
    return address.toIPv4Address();
}

// What the device protocol gives for a reply without a version field.
bool reportsNoVersion(const QString &version)
{
    return version.isEmpty() || version == QLatin1String("Unknown");
}

}

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
    case Result::Unverified:
        return QStringLiteral("restarted; it does not report its version");
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
    summaryTimer.setSingleShot(true);
    summaryTimer.setInterval(SummaryInterval);
    connect(&beaconTimer, &QTimer::timeout, this, &FleetUpgrade::sendBeacon);
    connect(&expiryTimer, &QTimer::timeout, this, &FleetUpgrade::expire);
    connect(&summaryTimer, &QTimer::timeout, this, &FleetUpgrade::sendSummary);
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
        if (Record *r = recordAt(address))
            r->round = round;
        KovDetector::sendUpgrade(address);
    }
    summaryLater();
}

int FleetUpgrade::retryFailed()
{
    QList<int> failed;
    for (const Record &r : std::as_const(records)) {
        if (r.entry.failed())
            failed.append(r.entry.id);
    }
    if (failed.isEmpty())
        return 0;
    startRound();
    for (int id : std::as_const(failed)) {
        Record &r = records[id];
        r.round = round;
        // The entry is where the device was last heard from.
        KovDetector::sendUpgrade(r.entry.address);
    }
    summaryLater();
    return int(failed.size());
}

QList<QHostAddress> FleetUpgrade::addresses() const
{
    QList<QHostAddress> list;
    list.reserve(records.size());
    for (const Record &r : records)
        list.append(r.entry.address);
    return list;
}

bool FleetUpgrade::contains(const QHostAddress &address) const
{
    return byAddress.contains(keyOf(address));
}

FleetUpgrade::Entry FleetUpgrade::entry(const QHostAddress &address) const
{
    const auto found = byAddress.constFind(keyOf(address));
    return found == byAddress.constEnd() ? Entry() : records.at(*found).entry;
}

FleetUpgrade::Entry FleetUpgrade::entryOf(int id) const
{
    return id >= 0 && id < records.size() ? records.at(id).entry : Entry();
}

QList<QHostAddress> FleetUpgrade::failedAddresses() const
{
    QList<QHostAddress> failed;
    for (const Record &r : records) {
        if (r.entry.failed())
            failed.append(r.entry.address);
    }
    return failed;
}

int FleetUpgrade::runningCount() const
{
    return counts().running;
}

int FleetUpgrade::unverifiedCount() const
{
    return counts().unverified;
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
    Counts c;
    for (const Record &r : records) {
        if (r.round != round)
            continue;
        if (r.entry.result == Result::Running)
            ++c.running;
        else if (r.entry.result == Result::Unverified)
            ++c.unverified;
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
    QString text = QStringLiteral("%1 running the new firmware, ").arg(c.running);
    if (c.unverified > 0)
        text += QStringLiteral("%1 unverified, ").arg(c.unverified);
    return text + QStringLiteral("%1 failed, %2 in progress").arg(c.failed).arg(c.inProgress);
}

void FleetUpgrade::deviceDetected(QString version, QHostAddress ip, QString mac)
{
    if (waiting == 0)
        return;
    int id = -1;
    const auto byItsMac = byMac.constFind(mac.toUpper());
    if (byItsMac != byMac.constEnd()) {
        id = *byItsMac;
    } else if (const Record *r = recordAt(ip); r && r->entry.mac.isEmpty()) {
        id = r->entry.id; // no MAC was known for the transfer: matched by address
    }
    if (id < 0)
        return;
    Record &r = records[id];
    if (r.entry.result != Result::Waiting || beaconsSent <= r.beaconsAtDone)
        return;
    if (r.entry.mac.isEmpty() && !mac.isEmpty()) {
        r.entry.mac = mac;
        byMac.insert(mac.toUpper(), id);
    }
    r.entry.deviceVersion = version.trimmed();
    r.entry.seenAddress = ip;
    moveTo(r, ip);
    setResult(r, reportsNoVersion(r.entry.deviceVersion)          ? Result::Unverified
                 : r.entry.deviceVersion == r.entry.servedVersion ? Result::Running
                                                                  : Result::StillOld);
    changed(r);
    if (waiting == 0) {
        beaconTimer.stop();
        expiryTimer.stop();
    }
}

FleetUpgrade::Record *FleetUpgrade::recordAt(const QHostAddress &address)
{
    const auto found = byAddress.constFind(keyOf(address));
    return found == byAddress.constEnd() ? nullptr : &records[*found];
}

FleetUpgrade::Record &FleetUpgrade::newRecord(const QHostAddress &address, const QString &mac)
{
    Record r;
    r.entry.id = int(records.size());
    r.entry.address = address;
    r.entry.mac = mac;
    records.append(r);
    ++unfinished; // it starts as Transferring
    byAddress.insert(keyOf(address), r.entry.id);
    if (!mac.isEmpty())
        byMac.insert(mac.toUpper(), r.entry.id);
    return records.last();
}

void FleetUpgrade::moveTo(Record &r, const QHostAddress &address)
{
    const quint32 to = keyOf(address);
    const quint32 from = keyOf(r.entry.address);
    if (from != to) {
        const auto old = byAddress.constFind(from);
        if (old != byAddress.constEnd() && *old == r.entry.id)
            byAddress.erase(old);
        r.entry.address = address;
    }
    // The latest device heard at an address owns it.
    byAddress.insert(to, r.entry.id);
}

void FleetUpgrade::setResult(Record &r, Result result)
{
    const Result before = r.entry.result;
    const bool failedBefore = r.entry.failed();
    r.entry.result = result;
    failedTotal += int(r.entry.failed()) - int(failedBefore);
    unfinished += int(!isFinal(result)) - int(!isFinal(before));
    waiting += int(result == Result::Waiting) - int(before == Result::Waiting);
}

FleetUpgrade::Record &FleetUpgrade::startedRecord(const QHostAddress &address)
{
    Record *r = recordAt(address);
    if (r && r->entry.result == Result::Transferring && r->entry.progress >= 0)
        return *r; // a report of the transfer that runs

    // A new transfer: whose device is it?
    const QString mac = macLookup ? macLookup(address) : QString();
    if (!mac.isEmpty()) {
        const auto known = byMac.constFind(mac.toUpper());
        if (known != byMac.constEnd()) {
            r = &records[*known];
        } else if (r && r->entry.mac.isEmpty()) {
            r->entry.mac = mac;
            byMac.insert(mac.toUpper(), r->entry.id);
        } else if (r) {
            r = nullptr; // another device has taken this address
        }
    }
    if (!r)
        r = &newRecord(address, mac);
    moveTo(*r, address);

    // The image it is served is the one held now.
    setResult(*r, Result::Transferring);
    r->entry.servedVersion = served;
    r->entry.deviceVersion.clear();
    r->entry.seenAddress = QHostAddress();
    r->entry.progress = -1; // until the caller sets what was reported
    r->round = round;
    return *r;
}

void FleetUpgrade::onProgress(QHostAddress &address, int p)
{
    Record &r = startedRecord(address);
    if (r.entry.progress == p)
        return; // the next block, or a resend, within the same percent
    r.entry.progress = p;
    r.entry.status = QString::number(p);
    changed(r);
}

void FleetUpgrade::onDone(QHostAddress &address)
{
    Record &r = startedRecord(address);
    r.entry.progress = -1;
    r.entry.status = QStringLiteral("done");
    if (r.entry.mac.isEmpty() && macLookup) {
        r.entry.mac = macLookup(address);
        if (!r.entry.mac.isEmpty() && !byMac.contains(r.entry.mac.toUpper()))
            byMac.insert(r.entry.mac.toUpper(), r.entry.id);
    }
    setResult(r, Result::Waiting);
    r.beaconsAtDone = beaconsSent;
    r.deadline = clock.elapsed() + verifyTimeoutMs;
    if (!beaconTimer.isActive())
        beaconTimer.start();
    scheduleExpiry();
    changed(r);
}

void FleetUpgrade::onError(QHostAddress &address, QString error)
{
    Record &r = startedRecord(address);
    r.entry.progress = -1;
    r.entry.status = error;
    setResult(r, Result::TransferFailed);
    changed(r);
}

void FleetUpgrade::startRound()
{
    ++round;
}

void FleetUpgrade::changed(const Record &r)
{
    emit entryChanged(r.entry.address);
    summaryLater();
}

void FleetUpgrade::summaryLater()
{
    if (!summaryTimer.isActive())
        summaryTimer.start();
}

void FleetUpgrade::sendSummary()
{
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
    for (Record &r : records) {
        if (r.entry.result != Result::Waiting || r.deadline > now)
            continue;
        setResult(r, Result::NoAnswer);
        changed(r);
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
