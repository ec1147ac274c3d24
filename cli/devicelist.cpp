#include "devicelist.h"

#include <QRegularExpression>
#include <memory>

#include "clisite.h"
#include "discoveryround.h"
#include "exitcode.h"
#include "sitefile.h"

QHostAddress DeviceList::parseIPv4(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral("^(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return QHostAddress();
    quint32 value = 0;
    for (int i = 1; i <= 4; ++i) {
        const int byte = match.captured(i).toInt();
        if (byte > 255)
            return QHostAddress();
        value = value << 8 | quint32(byte);
    }
    // 0.x.x.x is "this network"; 224 and up are multicast, reserved and
    // the broadcast address, none of which is one device.
    const quint32 first = value >> 24;
    if (first == 0 || first >= 224)
        return QHostAddress();
    return QHostAddress(value);
}

bool DeviceList::check(const QStringList &texts, QString *error)
{
    given.clear();
    resolved.clear();
    haveSite = false;
    site = Site();
    if (texts.isEmpty()) {
        *error = QStringLiteral("name at least one DEVICE (an IPv4 address or a MAC)");
        return false;
    }
    if (!CliSite::path().isEmpty()) {
        SiteFile file;
        if (!CliSite::open(&file, error))
            return false;
        site = file.site();
        haveSite = true;
    }
    for (const QString &text : texts) {
        if (!parseIPv4(text).isNull() || !DiscoveryRound::normalMac(text).isEmpty())
            continue;
        if (!haveSite) {
            *error = QStringLiteral("\"%1\" is not a device's IPv4 address or MAC").arg(text);
            return false;
        }
        if (site.indexOfName(text) < 0) {
            *error = QStringLiteral("\"%1\" is not a device's IPv4 address or MAC, nor the name "
                                    "of a device of the site")
                         .arg(text);
            return false;
        }
    }
    given = texts;
    return true;
}

int DeviceList::resolve(int waitMs, QString *error, DiscoveryRound *callersRound)
{
    resolved.clear();
    QStringList macs;
    QList<QHostAddress> addresses;
    for (const QString &text : std::as_const(given)) {
        if (parseIPv4(text).isNull())
            macs.append(macOf(text));
        else
            addresses.append(parseIPv4(text));
    }
    QList<AddressRange> ranges;
    for (const QString &text : std::as_const(site.ranges))
        ranges.append(AddressRange::parse(text));

    // Only one socket of ours may listen: the system hands each answer to
    // one of the sockets bound to the port.
    std::unique_ptr<DiscoveryRound> ownRound;
    if (!callersRound && !macs.isEmpty())
        ownRound = std::make_unique<DiscoveryRound>();
    DiscoveryRound *round = callersRound ? callersRound : ownRound.get();
    if (round) {
        if (!round->isListening()) {
            *error = QStringLiteral("cannot listen on UDP port %1 for the devices' answers, "
                                    "needed to look up the devices")
                         .arg(KovDetector::ReplyPort);
            return ExitCode::BadInput;
        }
        round->run(
            waitMs,
            [&] {
                for (const QString &mac : std::as_const(macs)) {
                    if (!round->findMac(mac))
                        return false;
                }
                for (const QHostAddress &address : std::as_const(addresses)) {
                    if (round->macOf(address).isEmpty())
                        return false;
                }
                return true;
            },
            ranges);
        QStringList missing;
        QString hint;
        for (const QString &mac : std::as_const(macs)) {
            if (round->findMac(mac) || missing.contains(mac))
                continue;
            const int index = site.indexOfMac(mac);
            const QString last = index >= 0 ? site.devices.at(index).lastAddress : QString();
            if (!last.isEmpty() && CliSite::useLastAddress())
                continue;
            missing.append(
                nameOf(mac).isEmpty() ? mac : QStringLiteral("%1 (\"%2\")").arg(mac, nameOf(mac)));
            if (!last.isEmpty() && hint.isEmpty())
                hint = QStringLiteral(" (with --last-address before the command, a site device "
                                      "that does not answer is sent to at the address it was "
                                      "last heard from)");
        }
        if (!missing.isEmpty()) {
            *error = QStringLiteral("no device answered with MAC %1 within %2 s; nothing sent%3")
                         .arg(missing.join(QStringLiteral(", ")))
                         .arg(waitMs / 1000.0)
                         .arg(hint);
            return ExitCode::Failed;
        }
    }

    for (const QString &text : std::as_const(given)) {
        Target target;
        target.address = parseIPv4(text);
        if (target.address.isNull()) {
            const QString mac = macOf(text);
            const QString name = nameOf(mac);
            const QSharedPointer<KovInfo> kov = round->findMac(mac);
            QString where;
            if (kov) {
                target.address = kov->address;
                where = kov->address.toString();
            } else {
                // Not heard: the site's last address, as asked for.
                target.address = parseIPv4(site.devices.at(site.indexOfMac(mac)).lastAddress);
                where = QStringLiteral("last heard at %1").arg(target.address.toString());
            }
            target.label = name.isEmpty() ? QStringLiteral("%1 (%2)").arg(mac, where)
                                          : QStringLiteral("%1 (%2, %3)").arg(name, mac, where);
            if (target.address.isNull()
                || target.address.protocol() != QAbstractSocket::IPv4Protocol) {
                *error = QStringLiteral("device %1 reported no usable IPv4 address; nothing sent")
                             .arg(mac);
                return ExitCode::Failed;
            }
        } else {
            target.label = target.address.toString();
        }
        bool seen = false;
        for (const Target &t : std::as_const(resolved))
            seen = seen || t.address == target.address;
        if (!seen)
            resolved.append(target);
    }
    return ExitCode::Ok;
}

QString DeviceList::macOf(const QString &text) const
{
    if (!parseIPv4(text).isNull())
        return QString();
    const QString mac = DiscoveryRound::normalMac(text);
    if (!mac.isEmpty())
        return mac;
    const int index = site.indexOfName(text);
    return index >= 0 ? site.devices.at(index).mac : QString();
}

QString DeviceList::nameOf(const QString &mac) const
{
    const int index = site.indexOfMac(mac);
    return index >= 0 ? site.devices.at(index).name : QString();
}
