#include "addressrange.h"

#include <QCoreApplication>
#include <QStringList>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("AddressRange", text);
}

// Four dotted decimal parts, each 0-255; none of the short or octal forms
// that inet_aton would also take, so "10.1" is not read as 10.0.0.1.
bool parseIPv4(const QString &text, quint32 *address)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    quint32 value = 0;
    for (const QString &part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return false;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        }
        const uint byte = part.toUInt();
        if (byte > 255)
            return false;
        value = (value << 8) | byte;
    }
    *address = value;
    return true;
}

QString dotted(quint32 address)
{
    return QHostAddress(address).toString();
}

bool overlaps(quint32 first, quint32 last, quint32 blockFirst, quint32 blockLast)
{
    return first <= blockLast && last >= blockFirst;
}

// The reason a run of addresses may not be probed, or an empty string.
QString forbidden(quint32 first, quint32 last)
{
    if (first == 0)
        return tr("0.0.0.0 is not a device address");
    if (last == 0xffffffffu)
        return tr("255.255.255.255 is the broadcast address; use Send Discovery Beacon");
    if (overlaps(first, last, 0x7f000000u, 0x7fffffffu))
        return tr("%1 is a loopback address").arg(dotted(qMax(first, 0x7f000000u)));
    if (overlaps(first, last, 0xe0000000u, 0xefffffffu))
        return tr("%1 is a multicast address").arg(dotted(qMax(first, 0xe0000000u)));
    return QString();
}

} // namespace

QHostAddress AddressRange::at(int i) const
{
    if (i < 0 || i >= count())
        return QHostAddress();
    return QHostAddress(firstAddress + quint32(i));
}

AddressRange AddressRange::parse(const QString &input, QString *error)
{
    const auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return AddressRange();
    };
    const QString text = input.trimmed();
    if (text.isEmpty())
        return fail(tr("Enter an IPv4 address, a range such as 10.1.2.10-10.1.2.60 or a block "
                       "such as 10.1.2.0/24"));

    AddressRange range;
    const qsizetype slash = text.indexOf(QLatin1Char('/'));
    const qsizetype dash = text.indexOf(QLatin1Char('-'));
    if (slash >= 0) {
        quint32 base = 0;
        if (!parseIPv4(text.left(slash).trimmed(), &base))
            return fail(tr("\"%1\" is not an IPv4 address").arg(text.left(slash).trimmed()));
        const QString prefixText = text.mid(slash + 1).trimmed();
        bool ok = false;
        const int prefix = prefixText.toInt(&ok);
        if (!ok || prefix < 0 || prefix > 32 || prefixText.startsWith(QLatin1Char('+')))
            return fail(tr("\"%1\" is not a prefix length from 20 to 32").arg(prefixText));
        if (prefix < 20)
            return fail(tr("/%1 is larger than /20 (%2 addresses)").arg(prefix).arg(MaxAddresses));
        const quint32 mask = prefix == 32 ? 0xffffffffu : ~(0xffffffffu >> prefix);
        const quint32 network = base & mask;
        const quint32 broadcast = network | ~mask;
        if (prefix <= 30) {
            range.firstAddress = network + 1;
            range.lastAddress = broadcast - 1;
        } else {
            range.firstAddress = network;
            range.lastAddress = broadcast;
        }
        const QString reason = forbidden(network, broadcast);
        if (!reason.isEmpty())
            return fail(reason);
        range.canonical = QStringLiteral("%1/%2").arg(dotted(network)).arg(prefix);
    } else if (dash >= 0) {
        const QString startText = text.left(dash).trimmed();
        const QString endText = text.mid(dash + 1).trimmed();
        if (!parseIPv4(startText, &range.firstAddress))
            return fail(tr("\"%1\" is not an IPv4 address").arg(startText));
        if (!parseIPv4(endText, &range.lastAddress))
            return fail(tr("\"%1\" is not an IPv4 address").arg(endText));
        if (range.lastAddress < range.firstAddress)
            return fail(tr("The range ends at %1, before its start %2").arg(endText, startText));
        if (range.lastAddress - range.firstAddress >= quint32(MaxAddresses))
            return fail(tr("The range holds %1 addresses; at most %2 are probed at once")
                            .arg(qulonglong(range.lastAddress - range.firstAddress) + 1)
                            .arg(MaxAddresses));
        const QString reason = forbidden(range.firstAddress, range.lastAddress);
        if (!reason.isEmpty())
            return fail(reason);
        range.canonical = range.firstAddress == range.lastAddress
                              ? dotted(range.firstAddress)
                              : QStringLiteral("%1-%2").arg(dotted(range.firstAddress),
                                                            dotted(range.lastAddress));
    } else {
        if (!parseIPv4(text, &range.firstAddress))
            return fail(tr("\"%1\" is not an IPv4 address, range or block").arg(text));
        range.lastAddress = range.firstAddress;
        const QString reason = forbidden(range.firstAddress, range.lastAddress);
        if (!reason.isEmpty())
            return fail(reason);
        range.canonical = dotted(range.firstAddress);
    }
    range.valid = true;
    if (error)
        error->clear();
    return range;
}
