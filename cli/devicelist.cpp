#include "devicelist.h"

#include <QRegularExpression>
#include <memory>

#include "discoveryround.h"
#include "exitcode.h"

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
    if (texts.isEmpty()) {
        *error = QStringLiteral("name at least one DEVICE (an IPv4 address or a MAC)");
        return false;
    }
    for (const QString &text : texts) {
        if (parseIPv4(text).isNull() && DiscoveryRound::normalMac(text).isEmpty()) {
            *error = QStringLiteral("\"%1\" is not a device's IPv4 address or MAC").arg(text);
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
            macs.append(DiscoveryRound::normalMac(text));
        else
            addresses.append(parseIPv4(text));
    }

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
        round->run(waitMs, [&] {
            for (const QString &mac : std::as_const(macs)) {
                if (!round->findMac(mac))
                    return false;
            }
            for (const QHostAddress &address : std::as_const(addresses)) {
                if (round->macOf(address).isEmpty())
                    return false;
            }
            return true;
        });
        QStringList missing;
        for (const QString &mac : std::as_const(macs)) {
            if (!round->findMac(mac) && !missing.contains(mac))
                missing.append(mac);
        }
        if (!missing.isEmpty()) {
            *error = QStringLiteral("no device answered with MAC %1 within %2 s; nothing sent")
                         .arg(missing.join(QStringLiteral(", ")))
                         .arg(waitMs / 1000.0);
            return ExitCode::Failed;
        }
    }

    for (const QString &text : std::as_const(given)) {
        Target target;
        target.address = parseIPv4(text);
        if (target.address.isNull()) {
            const QSharedPointer<KovInfo> kov = round->findMac(text);
            target.address = kov->address;
            target.label = QStringLiteral("%1 (%2)").arg(DiscoveryRound::normalMac(text),
                                                         kov->address.toString());
            if (kov->address.isNull()
                || kov->address.protocol() != QAbstractSocket::IPv4Protocol) {
                *error = QStringLiteral("device %1 reported no usable IPv4 address; nothing sent")
                             .arg(DiscoveryRound::normalMac(text));
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
