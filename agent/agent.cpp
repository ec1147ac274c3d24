#include "agent.h"

#include <QLoggingCategory>

#include "addressrange.h"
#include "deviceroster.h"

Q_LOGGING_CATEGORY(lcAgent, "kov.agent")

Agent::Agent(DeviceRoster *roster, QObject *parent) : QObject(parent), roster(roster)
{
    connect(&detector, &KovDetector::detected, this,
            [this](const QString &version, const QHostAddress &ip, const QString &mac) {
                ++replyCount;
                this->roster->heard(version, ip, mac);
            });
    connect(&probe, &UnicastProbe::finished, this, [this] { beacons += quint64(probe.sent()); });
    connect(&roundTimer, &QTimer::timeout, this, &Agent::sendRound);
}

Agent::~Agent() = default;

void Agent::start(int intervalMs)
{
    roundTimer.start(intervalMs);
    sendRound();
}

void Agent::sendRound()
{
    beacons += quint64(KovDetector::beaconAddresses().size());
    KovDetector::sendBeacon();
    if (!roster->hasSite())
        return;
    QList<AddressRange> ranges;
    for (const QString &text : roster->site().ranges) {
        QString error;
        const AddressRange range = AddressRange::parse(text, &error);
        if (range.isValid())
            ranges.append(range);
        else
            qCWarning(lcAgent, "site range %s left out: %s", qPrintable(text), qPrintable(error));
    }
    if (!ranges.isEmpty())
        probe.probe(ranges);
}
