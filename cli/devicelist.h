#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

#include "site.h"

// The DEVICE arguments of a command: IPv4 addresses taken as they are,
// MAC addresses looked up by a discovery round, and with a site named
// (CliSite) the names of its devices, looked up by their MACs. Nothing is
// sent before check() has accepted every argument.
class DiscoveryRound;

class DeviceList
{
public:
    struct Target
    {
        QHostAddress address;
        QString label; // "10.0.0.5", or "00:1E:C0:00:00:01 (10.0.0.5)"
    };

    // Accepts every text as a unicast IPv4 address, a MAC or the name of a
    // device of the named site; otherwise false with *error naming the
    // first bad one (or saying why the site cannot be read).
    bool check(const QStringList &texts, QString *error);

    // Looks the MACs up (a discovery round of at most waitMs, only when
    // there are MACs; also to the site's ranges). A site device that does
    // not answer is taken at its last address when CliSite::useLastAddress().
    // Returns an exit status: Ok, Failed when a MAC got
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
    // The MAC a text stands for ("" for an address), and the site's name of it.
    QString macOf(const QString &text) const;
    QString nameOf(const QString &mac) const;

    QStringList given;
    QList<Target> resolved;
    bool haveSite = false;
    Site site;
};
