#pragma once

#include <QHostAddress>
#include <QString>

// A run of IPv4 addresses to probe by unicast: one address, a range
// "A-B" or a CIDR block "A/N" (20 <= N <= 32). A block stands for its
// host addresses: up to /30 its network and broadcast addresses are left
// out, since a datagram to either would be a directed broadcast.
class AddressRange
{
public:
    static constexpr int MaxAddresses = 4096;

    AddressRange() = default;

    // An invalid range, with a one-line reason in *error, for text that is
    // not an address, range or block, a block larger than /20, a range
    // whose end is before its start or that holds more than MaxAddresses,
    // and anything that covers 0.0.0.0, 255.255.255.255, a multicast or a
    // loopback address.
    static AddressRange parse(const QString &text, QString *error = nullptr);

    bool isValid() const { return valid; }
    int count() const { return valid ? int(lastAddress - firstAddress + 1) : 0; }
    QHostAddress at(int i) const;
    quint32 first() const { return firstAddress; }
    quint32 last() const { return lastAddress; }
    // The canonical text: "A", "A-B" or "network/N".
    QString text() const { return canonical; }

    bool operator==(const AddressRange &other) const
    {
        return valid == other.valid && firstAddress == other.firstAddress
               && lastAddress == other.lastAddress;
    }
    bool operator!=(const AddressRange &other) const { return !(*this == other); }

private:
    quint32 firstAddress = 0;
    quint32 lastAddress = 0;
    bool valid = false;
    QString canonical;
};
