#pragma once

// A TFTP client at packet level for the tests: a real UDP socket on
// 127.0.0.1 that sends hand-made packets and waits, with the event loop
// running, for the answers.

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QHostAddress>
#include <QList>
#include <QNetworkDatagram>
#include <QObject>
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

// Runs the event loop until cond() holds or timeout ms have passed. Unlike
// QTRY_* and qWait, it never sleeps between events, so a lock-step
// transfer driven by another process runs at full speed.
template<typename Condition>
bool waitUntil(Condition cond, int timeout = 20000)
{
    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    tick.start(20);
    while (!cond()) {
        if (clock.elapsed() > timeout)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

class Client
{
public:
    explicit Client(const QHostAddress &local = QHostAddress(QHostAddress::LocalHost))
    {
        bound = socket.bind(local, 0);
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

// A whole read request from a chosen local address, for what curl and
// tftp-hpa do not offer: take a source address, hold back its ACKs, or go
// silent. It reads every DATA block in order and ACKs it while acking is on.
class Transfer
{
public:
    explicit Transfer(const QHostAddress &local) : client(local)
    {
        QObject::connect(&client.socket, &QUdpSocket::readyRead, [this] { drain(); });
    }

    bool isBound() const { return client.bound; }

    void request(const QString &name, quint16 port = 69)
    {
        client.send(rrq(name.toLatin1()), port);
    }

    void setAcking(bool on)
    {
        acking = on;
        if (acking && lastBlock > 0)
            ack(lastBlock);
    }

    QByteArray data;
    quint16 lastBlock = 0;
    bool complete = false;
    QString error;

private:
    void drain()
    {
        while (client.socket.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = client.socket.receiveDatagram();
            const QByteArray packet = datagram.data();
            if (packet.size() < 4)
                continue;
            if (opcodeOf(packet) == 5) {
                error = QString::fromLatin1(packet.mid(4).constData());
                continue;
            }
            if (opcodeOf(packet) != 3)
                continue;
            peer = datagram.senderAddress();
            peerPort = quint16(datagram.senderPort());
            const quint16 block = blockOf(packet);
            if (block == quint16(lastBlock + 1)) {
                data += packet.mid(4);
                lastBlock = block;
                if (packet.size() - 4 < 512)
                    complete = true;
            }
            if (acking && lastBlock > 0)
                ack(lastBlock);
        }
    }

    void ack(quint16 block) { client.socket.writeDatagram(TftpTest::ack(block), peer, peerPort); }

    Client client;
    QHostAddress peer;
    quint16 peerPort = 0;
    bool acking = true;
};

// Records the done/progress/error signals of a transfer or of the server
// (their QHostAddress& parameters are beyond QSignalSpy).
class Recorder : public QObject
{
    Q_OBJECT

public:
    explicit Recorder(QObject *source = nullptr, QObject *parent = nullptr) : QObject(parent)
    {
        if (source)
            attach(source);
    }

    void attach(QObject *source)
    {
        connect(source, SIGNAL(done(QHostAddress &)), this, SLOT(onDone(QHostAddress &)));
        connect(source, SIGNAL(progress(QHostAddress &, int)), this,
                SLOT(onProgress(QHostAddress &, int)));
        connect(source, SIGNAL(error(QHostAddress &, QString)), this,
                SLOT(onError(QHostAddress &, QString)));
    }

    QList<QHostAddress> done;
    QList<QHostAddress> progressFrom;
    QList<int> progress;
    QList<QHostAddress> errorFrom;
    QStringList errors;

public slots:
    void onDone(QHostAddress &address) { done << address; }
    void onProgress(QHostAddress &address, int p)
    {
        progressFrom << address;
        progress << p;
    }
    void onError(QHostAddress &address, QString error)
    {
        errorFrom << address;
        errors << error;
    }
};

}
