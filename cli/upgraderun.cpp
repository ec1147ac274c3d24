#include "upgraderun.h"

#include <QJsonArray>

#include "console.h"
#include "discoveryround.h"
#include "tftpdserver.h"

namespace {

// kovctl asks the devices to answer more often than the window does: a
// restart is usually over in seconds, and a script is waiting.
constexpr int BeaconIntervalMs = 2000;
constexpr int TickMs = 200;
constexpr int BarWidth = 20;

bool isFinal(FleetUpgrade::Result result)
{
    return result != FleetUpgrade::Result::Transferring && result != FleetUpgrade::Result::Waiting;
}

QString resultKey(FleetUpgrade::Result result)
{
    switch (result) {
    case FleetUpgrade::Result::Transferring:
        return QStringLiteral("transferring");
    case FleetUpgrade::Result::Waiting:
        return QStringLiteral("waiting");
    case FleetUpgrade::Result::Running:
        return QStringLiteral("running");
    case FleetUpgrade::Result::StillOld:
        return QStringLiteral("still-old");
    case FleetUpgrade::Result::Unverified:
        return QStringLiteral("unverified");
    case FleetUpgrade::Result::NoAnswer:
        return QStringLiteral("no-answer");
    case FleetUpgrade::Result::TransferFailed:
        return QStringLiteral("transfer-failed");
    }
    return QString();
}

}

UpgradeRun::UpgradeRun(TFTPDServer *server, DiscoveryRound *round, const QString &servedVersion,
                       int verifyTimeoutMs, Output output, QObject *parent)
    : QObject(parent),
      fleet(server, verifyTimeoutMs, BeaconIntervalMs),
      round(round),
      verifyTimeoutMs(verifyTimeoutMs),
      output(output)
{
    fleet.setServedVersion(servedVersion);
    fleet.setMacLookup([round](const QHostAddress &address) { return round->macOf(address); });
    connect(round->replies(), &KovDetector::detected, &fleet, &FleetUpgrade::deviceDetected);
    connect(&fleet, &FleetUpgrade::entryChanged, this, &UpgradeRun::entryChanged);
    connect(&ticker, &QTimer::timeout, this, &UpgradeRun::tick);
}

void UpgradeRun::expect(const QHostAddress &address, const QString &label)
{
    devices.append(Device{address, label, QString(), -1, -1});
}

// The device of a fleet entry: the one it was matched with before (it may
// have moved since), else the one expected at its address, else a new one.
UpgradeRun::Device &UpgradeRun::deviceFor(const FleetUpgrade::Entry &entry)
{
    for (Device &device : devices) {
        if (device.id == entry.id)
            return device;
    }
    for (Device &device : devices) {
        if (device.id < 0 && device.address == entry.address) {
            device.id = entry.id;
            return device;
        }
    }
    devices.append(Device{entry.address, entry.address.toString(), QString(), -1, entry.id});
    return devices.last();
}

void UpgradeRun::run(bool everyDevice)
{
    sinceOrder.start();
    if (everyDevice) {
        fleet.orderAll();
    } else {
        QList<QHostAddress> addresses;
        for (const Device &device : std::as_const(devices))
            addresses.append(device.address);
        fleet.order(addresses);
    }
    if (output == Output::Live)
        redraw();
    ticker.start(TickMs);
    if (!finished())
        loop.exec();
    ticker.stop();
    if (output == Output::Live)
        redraw();
}

void UpgradeRun::entryChanged(const QHostAddress &address)
{
    const FleetUpgrade::Entry entry = fleet.entry(address);
    Device &device = deviceFor(entry);
    device.address = entry.address;
    if (output == Output::Live) {
        dirty = true;
    } else if (output == Output::Lines) {
        // One line per 10 % step and per change of state, as a log reads.
        QString line;
        if (entry.result == FleetUpgrade::Result::Transferring && entry.progress >= 0) {
            const int step = entry.progress / 10 * 10;
            if (step != device.lastStep) {
                device.lastStep = step;
                line = QStringLiteral("%1: transfer %2%").arg(device.label).arg(entry.progress);
            }
        } else {
            line = QStringLiteral("%1: %2").arg(device.label, stateText(device));
        }
        if (!line.isEmpty() && line != device.lastLine) {
            device.lastLine = line;
            Console::out(line);
        }
    }
    if (isFinal(entry.result) && finished())
        loop.quit();
}

void UpgradeRun::tick()
{
    for (Device &device : devices) {
        if (neverStarted(device) && device.lastLine.isEmpty() && output == Output::Lines) {
            device.lastLine = QStringLiteral("%1: %2").arg(device.label, stateText(device));
            Console::out(device.lastLine);
        }
    }
    if (output == Output::Live && dirty)
        redraw();
    if (finished())
        loop.quit();
}

bool UpgradeRun::neverStarted(const Device &device) const
{
    return device.id < 0 && sinceOrder.isValid() && sinceOrder.elapsed() >= verifyTimeoutMs;
}

bool UpgradeRun::finished() const
{
    for (const Device &device : devices) {
        if (device.id < 0 && !neverStarted(device))
            return false;
    }
    // Every transfer, of devices nobody named (an order to all) too.
    return fleet.allFinal();
}

QString UpgradeRun::stateText(const Device &device) const
{
    if (device.id < 0) {
        return neverStarted(device) ? QStringLiteral("did not ask for the image within %1 s")
                                          .arg(verifyTimeoutMs / 1000.0)
                                    : QStringLiteral("ordered, waiting for the transfer");
    }
    const FleetUpgrade::Entry entry = fleet.entryOf(device.id);
    switch (entry.result) {
    case FleetUpgrade::Result::Transferring:
        return QStringLiteral("transfer %1%").arg(qMax(0, entry.progress));
    case FleetUpgrade::Result::TransferFailed:
        return QStringLiteral("transfer failed: %1").arg(Console::printable(entry.status));
    default:
        return Console::printable(entry.resultText());
    }
}

QString UpgradeRun::liveLine(const Device &device) const
{
    const FleetUpgrade::Entry entry = fleet.entryOf(device.id);
    int percent = 0;
    if (device.id >= 0)
        percent = entry.progress >= 0                                    ? entry.progress
                  : entry.result == FleetUpgrade::Result::TransferFailed ? 0
                                                                         : 100;
    const int filled = percent * BarWidth / 100;
    const QString bar = QString(filled, QLatin1Char('#'))
                        + QString(BarWidth - filled, QLatin1Char('.'));
    int width = 0;
    for (const Device &d : devices)
        width = qMax(width, int(d.label.size()));
    return QStringLiteral("%1  [%2] %3%  %4")
        .arg(device.label, -width)
        .arg(bar)
        .arg(percent, 3)
        .arg(stateText(device));
}

void UpgradeRun::redraw()
{
    dirty = false;
    QString text;
    if (linesShown > 0)
        text += QStringLiteral("\x1b[%1A").arg(linesShown);
    for (const Device &device : std::as_const(devices))
        text += QLatin1Char('\r') + liveLine(device) + QStringLiteral("\x1b[K\n");
    linesShown = int(devices.size());
    Console::raw(text);
}

bool UpgradeRun::allRunning() const
{
    if (devices.isEmpty())
        return false;
    for (const Device &device : devices) {
        if (fleet.entryOf(device.id).result != FleetUpgrade::Result::Running)
            return false;
    }
    return true;
}

QString UpgradeRun::summary() const
{
    int running = 0;
    int unverified = 0;
    int failed = 0;
    int inProgress = 0;
    for (const Device &device : devices) {
        const FleetUpgrade::Entry entry = fleet.entryOf(device.id);
        if (device.id < 0)
            (neverStarted(device) ? failed : inProgress)++;
        else if (entry.result == FleetUpgrade::Result::Running)
            ++running;
        else if (entry.result == FleetUpgrade::Result::Unverified)
            ++unverified;
        else if (entry.failed())
            ++failed;
        else
            ++inProgress;
    }
    QString text = QStringLiteral("%1 running the new firmware, ").arg(running);
    if (unverified > 0)
        text += QStringLiteral("%1 unverified, ").arg(unverified);
    return text + QStringLiteral("%1 failed, %2 in progress").arg(failed).arg(inProgress);
}

QStringList UpgradeRun::resultLines() const
{
    QStringList lines;
    for (const Device &device : devices)
        lines.append(QStringLiteral("%1: %2").arg(device.label, stateText(device)));
    return lines;
}

QJsonObject UpgradeRun::toJson() const
{
    QJsonArray list;
    int running = 0;
    int unverified = 0;
    int failed = 0;
    for (const Device &device : devices) {
        const bool started = device.id >= 0;
        const FleetUpgrade::Entry entry = fleet.entryOf(device.id);
        const QString result = started                ? resultKey(entry.result)
                               : neverStarted(device) ? QStringLiteral("no-transfer")
                                                      : QStringLiteral("ordered");
        running += result == QLatin1String("running");
        unverified += result == QLatin1String("unverified");
        failed += started ? entry.failed() : neverStarted(device);
        list.append(QJsonObject{
            {QStringLiteral("device"), device.label},
            {QStringLiteral("address"), device.address.toString()},
            {QStringLiteral("mac"),
             started && !entry.mac.isEmpty() ? entry.mac : round->macOf(device.address)},
            {QStringLiteral("transfer"), entry.status},
            {QStringLiteral("result"), result},
            {QStringLiteral("text"), stateText(device)},
            {QStringLiteral("servedVersion"), entry.servedVersion},
            {QStringLiteral("deviceVersion"), entry.deviceVersion},
        });
    }
    return QJsonObject{{QStringLiteral("summary"), summary()},
                       {QStringLiteral("running"), running},
                       {QStringLiteral("unverified"), unverified},
                       {QStringLiteral("failed"), failed},
                       {QStringLiteral("devices"), list}};
}
