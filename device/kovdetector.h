#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QUdpSocket>

// The tool's end of the device datagram protocol. An instance listens on
// UDP 5998 for replies to the discovery beacon and announces each device
// with detected(); the static senders build every command datagram and
// send it to UDP 5999 of a device through a socket of their own.
class KovDetector : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 ReplyPort = 5998;
    static constexpr quint16 DevicePort = 5999;
    static constexpr int ReplyReadLimit = 1023;
    static constexpr int IRLengthBound = 625;
    // Room for the replies of a whole subnet answering one beacon at once.
    static constexpr int ReplyReceiveBuffer = 1024 * 1024;

    explicit KovDetector(QObject *parent = nullptr);
    ~KovDetector() override;

    // Whether the reply port could be bound; the window carries on either
    // way, the command line refuses to wait for replies it cannot get.
    bool isListening() const;

    static void sendBeacon();
    // The same beacon by unicast to one address, for devices a broadcast
    // cannot reach; the overload sends from the caller's socket.
    static void sendBeaconTo(QHostAddress address);
    static void sendBeaconTo(QUdpSocket &sender, const QHostAddress &address);
    static void sendReboot(QHostAddress address);
    static void sendUpgrade(QHostAddress address);
    static void sendRelay(int relay, bool closed, QHostAddress address);
    static bool sendIR(quint8 outputs, quint8 repeats, const quint16 *words, int count,
                       QHostAddress address);

    // Where a beacon goes: 255.255.255.255 first, then the broadcast
    // address of every other up, broadcast-capable, non-loopback IPv4
    // interface, each once.
    static QList<QHostAddress> beaconAddresses();

    // Parses one reply datagram (already cut to ReplyReadLimit bytes).
    // Returns false for a datagram that is dropped.
    static bool parseReply(const QByteArray &datagram, QString &version, QHostAddress &ip,
                           QString &mac);

signals:
    void detected(QString version, QHostAddress ip, QString mac);

private slots:
    void UDPPacketArrived();

private:
    static void sendCommand(const char *buffer, int length, const QHostAddress &address);

    QUdpSocket socket;
};
