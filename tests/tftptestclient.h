#pragma once

// A TFTP client at packet level for the tests: a real UDP socket on
// 127.0.0.1 that sends hand-made packets and waits, with the event loop
// running, for the answers.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

namespace TftpTest {

inline QByteArray u16(quint16 v)
{
    QByteArray b;
    b.append(char(v >> 8));
    b.append(char(v & 0xff));
    return b;
}

inline QByteArray rrq(const QByteArray &name, const QByteArray &mode = "octet")
{
    return u16(1) + name + '\0' + mode + '\0';
}

inline QByteArray ack(quint16 block)
{
    return u16(4) + u16(block);
}

inline QByteArray errorPacket(quint16 code, const QByteArray &text)
{
    return u16(5) + u16(code) + text + '\0';
}

inline quint16 opcodeOf(const QByteArray &p)
{
    return p.size() < 2 ? 0 : quint16(quint8(p[0]) << 8 | quint8(p[1]));
}

inline quint16 blockOf(const QByteArray &p)
{
    return p.size() < 4 ? 0 : quint16(quint8(p[2]) << 8 | quint8(p[3]));
}

class Client
{
public:
    Client()
    {
        bound = socket.bind(QHostAddress::LocalHost, 0);
    }

    bool bound = false;
    QUdpSocket socket;
    QHostAddress host = QHostAddress::LocalHost;

    quint16 port() const { return socket.localPort(); }

    void send(const QByteArray &packet, quint16 toPort)
    {
        socket.writeDatagram(packet, host, toPort);
    }

    // Waits up to timeout ms for the next datagram; an invalid datagram
    // (no data, no sender) when none came.
    QNetworkDatagram next(int timeout = 5000)
    {
        if (!socket.hasPendingDatagrams())
            (void)QTest::qWaitFor([this] { return socket.hasPendingDatagrams(); }, timeout);
        if (!socket.hasPendingDatagrams())
            return QNetworkDatagram();
        return socket.receiveDatagram(2048);
    }

    bool hasPending() { return socket.hasPendingDatagrams(); }
};

}
