#include "kovdetector.h"

#include <QLoggingCategory>
#include <QNetworkInterface>
#include <QVariant>
#include <QStringList>

// Device replies the detector ignores (debug off by default; turn it on
// with QT_LOGGING_RULES="kov.device.debug=true").
Q_LOGGING_CATEGORY(lcDevice, "kov.device", QtInfoMsg)

namespace {

constexpr char Magic[] = "KOV-1";
constexpr int MagicLength = 5;
constexpr int HeaderLength = MagicLength + 1;

constexpr char OpIR = 0x00;
constexpr char OpBeacon = 0x02;
constexpr char OpReboot = 0x03;
constexpr char OpUpgrade = 0x04;
constexpr char OpRelay = 0x05;

void putHeader(char *buffer, char opcode)
{
    for (int i = 0; i < MagicLength; ++i)
        buffer[i] = Magic[i];
    buffer[MagicLength] = opcode;
}

} // namespace

KovDetector::KovDetector(QObject *parent) : QObject(parent)
{
    connect(&socket, &QUdpSocket::readyRead, this, &KovDetector::UDPPacketArrived);
    socket.bind(QHostAddress::AnyIPv4, ReplyPort, QUdpSocket::ShareAddress);
    socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption,
                           QVariant(ReplyReceiveBuffer));
}

KovDetector::~KovDetector() = default;

bool KovDetector::isListening() const
{
    return socket.state() == QAbstractSocket::BoundState;
}

void KovDetector::sendCommand(const char *buffer, int length, const QHostAddress &address)
{
    QUdpSocket sender;
    sender.writeDatagram(buffer, length, address, DevicePort);
}

QList<QHostAddress> KovDetector::beaconAddresses()
{
    QList<QHostAddress> addresses{QHostAddress(QHostAddress::Broadcast)};
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const QNetworkInterface::InterfaceFlags flags = interface.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::CanBroadcast)
            || (flags & QNetworkInterface::IsLoopBack))
            continue;
        const QList<QNetworkAddressEntry> entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            const QHostAddress broadcast = entry.broadcast();
            if (broadcast.protocol() != QAbstractSocket::IPv4Protocol
                || addresses.contains(broadcast))
                continue;
            addresses.append(broadcast);
        }
    }
    return addresses;
}

void KovDetector::sendBeacon()
{
    // One socket for the round, so every copy leaves from the same port.
    QUdpSocket sender;
    const QList<QHostAddress> addresses = beaconAddresses();
    for (const QHostAddress &address : addresses)
        sendBeaconTo(sender, address);
}

void KovDetector::sendBeaconTo(QHostAddress address)
{
    QUdpSocket sender;
    sendBeaconTo(sender, address);
}

void KovDetector::sendBeaconTo(QUdpSocket &sender, const QHostAddress &address)
{
    char buffer[HeaderLength];
    putHeader(buffer, OpBeacon);
    sender.writeDatagram(buffer, HeaderLength, address, DevicePort);
}

void KovDetector::sendReboot(QHostAddress address)
{
    char buffer[HeaderLength];
    putHeader(buffer, OpReboot);
    sendCommand(buffer, HeaderLength, address);
}

void KovDetector::sendUpgrade(QHostAddress address)
{
    char buffer[HeaderLength];
    putHeader(buffer, OpUpgrade);
    sendCommand(buffer, HeaderLength, address);
}

void KovDetector::sendRelay(int relay, bool closed, QHostAddress address)
{
    char buffer[HeaderLength + 2];
    putHeader(buffer, OpRelay);
    buffer[HeaderLength] = char(relay & 3);
    buffer[HeaderLength + 1] = closed ? 1 : 0;
    sendCommand(buffer, HeaderLength + 2, address);
}

bool KovDetector::sendIR(quint8 outputs, quint8 repeats, const quint16 *words, int count,
                         QHostAddress address)
{
    if (count < 0 || (count > 0 && !words))
        return false;
    const int length = HeaderLength + 2 + 2 * count;
    if (length >= IRLengthBound)
        return false;
    char buffer[IRLengthBound];
    putHeader(buffer, OpIR);
    buffer[HeaderLength] = char(outputs);
    buffer[HeaderLength + 1] = char(repeats);
    for (int i = 0; i < count; ++i) {
        buffer[HeaderLength + 2 + 2 * i] = char(words[i] >> 8);
        buffer[HeaderLength + 3 + 2 * i] = char(words[i] & 0xff);
    }
    sendCommand(buffer, length, address);
    return true;
}

bool KovDetector::parseReply(const QByteArray &datagram, QString &version, QHostAddress &ip,
                             QString &mac)
{
    const qsizetype nul = datagram.indexOf('\0');
    const QString text = QString::fromLatin1(datagram.constData(),
                                             nul < 0 ? datagram.size() : nul);
    if (!text.startsWith(QLatin1String("KOV-1,"), Qt::CaseSensitive))
        return false;
    const QStringList parts = text.split(QLatin1Char(','), Qt::SkipEmptyParts, Qt::CaseSensitive);
    if (parts.size() == 4) {
        version = parts[1];
        ip = QHostAddress(parts[2]);
        mac = parts[3];
        return true;
    }
    if (parts.size() == 3) {
        version = QStringLiteral("Unknown");
        ip = QHostAddress(parts[1]);
        mac = parts[2];
        return true;
    }
    return false;
}

void KovDetector::UDPPacketArrived()
{
    char buffer[ReplyReadLimit + 1];
    while (socket.hasPendingDatagrams()) {
        QHostAddress sender;
        const qint64 read = socket.readDatagram(buffer, ReplyReadLimit, &sender);
        if (read <= 0)
            continue;
        buffer[read] = '\0';
        QString version;
        QHostAddress ip;
        QString mac;
        if (parseReply(QByteArray::fromRawData(buffer, int(read)), version, ip, mac))
            emit detected(version, ip, mac);
        else
            qCDebug(lcDevice).noquote() << "Ignoring a datagram that is no device reply from"
                                        << sender.toString() << "(" << read << "bytes)";
    }
}
