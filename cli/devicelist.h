#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

// The DEVICE arguments of a command: IPv4 addresses taken as they are,
// MAC addresses looked up by a discovery round. Nothing is sent before
// check() has accepted every argument.
class DiscoveryRound;

class DeviceList
{
public:
    struct Target
    {
        QHostAddress address;
        QString label; // "10.0.0.5", or "00:1E:C0:00:00:01 (10.0.0.5)"
    };

    // Accepts every text as a unicast IPv4 address or a MAC; otherwise
    // false with *error naming the first bad one.
    bool check(const QStringList &texts, QString *error);

    // Looks the MACs up (a discovery round of at most waitMs, only when
    // there are MACs). Returns an exit status: Ok, Failed when a MAC got
    // no answer, BadInput when the reply port cannot be used; *error says
    // why. With a round of the caller's, the round always runs, until
    // every device has answered or waitMs has passed, and stays the
    // caller's to ask afterwards.
    int resolve(int waitMs, QString *error, DiscoveryRound *round = nullptr);

    // The devices in the order given, each once; valid after resolve().
    QList<Target> targets() const { return resolved; }

    // A unicast IPv4 address in dotted-quad form, or a null address.
    static QHostAddress parseIPv4(const QString &text);

private:
    QStringList given;
    QList<Target> resolved;
};
