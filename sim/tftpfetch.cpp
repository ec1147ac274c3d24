#include "tftpfetch.h"

#include <QDebug>
#include <QNetworkDatagram>

namespace {
constexpr int BlockSize = 512;
constexpr qint64 ImageLimit = qint64(65535) * BlockSize;
// After the last ACK the client stays to answer a resent last block,
// in case that ACK was lost.
constexpr int DallyMs = 3000;

QByteArray u16(quint16 v)
{
    QByteArray b;
    b.append(char(v >> 8));
    b.append(char(v & 0xff));
    return b;
}

quint16 readU16(const QByteArray &b, int at)
{
    return quint16(quint8(b.at(at)) << 8 | quint8(b.at(at + 1)));
}
} // namespace

TftpFetch::TftpFetch(const QHostAddress &local, const QHostAddress &server, quint16 serverPort,
                     const QString &fileName, QObject *parent)
    : QObject(parent), local(local), server(server), serverPort(serverPort), fileName(fileName)
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &TftpFetch::timedOut);
    connect(&socket, &QUdpSocket::readyRead, this, &TftpFetch::readPending);
}

void TftpFetch::setFaults(const Faults &f)
{
    faults = f;
}

void TftpFetch::setTimeout(int ms, int retryCount)
{
    timeoutMs = ms;
    maxRetries = retryCount;
}

void TftpFetch::start()
{
    // Send from the device's own address, so the server sees this device.
    if (!socket.bind(local, 0) && !socket.bind(QHostAddress::AnyIPv4, 0)) {
        end(false, QStringLiteral("cannot bind: ") + socket.errorString());
        return;
    }
    QByteArray rrq = u16(1);
    rrq += fileName.toLatin1();
    rrq += '\0';
    rrq += "octet";
    rrq += '\0';
    lastPacket = rrq;
    socket.writeDatagram(rrq, server, serverPort);
    timer.start(timeoutMs);
}

void TftpFetch::readPending()
{
    while (socket.hasPendingDatagrams()) {
        const QNetworkDatagram d = socket.receiveDatagram();
        if (!d.isValid())
            break;
        if (ended && !dallying)
            continue;
        handle(d.data(), d.senderAddress(), quint16(d.senderPort()));
    }
}

void TftpFetch::handle(const QByteArray &packet, const QHostAddress &from, quint16 port)
{
    QHostAddress sender(from.toIPv4Address());
    if (sender != server || (serverTid != 0 && port != serverTid)) {
        qDebug() << "tftp: packet from unknown transfer" << from.toString() << port;
        sendError(5, QStringLiteral("Unknown transfer ID"), sender, port);
        return;
    }
    if (packet.size() < 4) {
        qDebug() << "tftp: short packet ignored";
        return;
    }
    if (serverTid == 0)
        serverTid = port;
    const quint16 opcode = readU16(packet, 0);
    const quint16 block = readU16(packet, 2);
    if (dallying) {
        if (opcode == 3 && block == quint16(expected - 1))
            sendAck(block);
        return;
    }
    if (opcode == 5) {
        QByteArray text = packet.mid(4);
        const int nul = text.indexOf('\0');
        if (nul >= 0)
            text.truncate(nul);
        end(false,
            QStringLiteral("server error %1: %2").arg(block).arg(QString::fromLatin1(text)));
        return;
    }
    if (opcode != 3) {
        qDebug() << "tftp: unexpected opcode" << opcode;
        return;
    }
    if (silent)
        return;
    const QByteArray payload = packet.mid(4);
    if (block == expected) {
        if (payload.size() > BlockSize) {
            sendError(4, QStringLiteral("Block too long"), server, serverTid);
            end(false, QStringLiteral("block %1 carries %2 bytes").arg(block).arg(payload.size()));
            return;
        }
        if (image.size() + payload.size() > ImageLimit) {
            sendError(3, QStringLiteral("Image too large"), server, serverTid);
            end(false, QStringLiteral("image too large"));
            return;
        }
        image += payload;
        ++received;
        ++expected;
        retries = 0;
        sendAck(block);
        if (payload.size() < BlockSize) {
            end(true, QString());
            return;
        }
        if (faults.stopAfterBlock > 0 && block >= faults.stopAfterBlock) {
            silent = true;
        }
        timer.start(timeoutMs);
    } else if (block == quint16(expected - 1)) {
        // The server did not get our ACK: say it again.
        sendAck(block);
        timer.start(timeoutMs);
    } else {
        qDebug() << "tftp: out of order block" << block << "expected" << expected;
    }
}

void TftpFetch::sendAck(quint16 block)
{
    lastPacket = u16(4) + u16(block);
    send(lastPacket);
}

void TftpFetch::send(const QByteArray &packet)
{
    const bool isAck = readU16(packet, 0) == 4;
    if (isAck) {
        ++acksSent;
        const bool lost = (faults.dropFirstAcks > 0 && acksSent <= faults.dropFirstAcks)
                          || (faults.dropAckEvery > 0 && acksSent % faults.dropAckEvery == 0);
        if (lost) {
            ++dropped;
            return;
        }
    }
    const quint16 port = serverTid ? serverTid : serverPort;
    socket.writeDatagram(packet, server, port);
    if (isAck && faults.duplicateAcks)
        socket.writeDatagram(packet, server, port);
}

void TftpFetch::sendError(quint16 code, const QString &message, const QHostAddress &to,
                          quint16 port)
{
    QByteArray error = u16(5) + u16(code);
    error += message.toLatin1();
    error += '\0';
    socket.writeDatagram(error, to, port);
}

void TftpFetch::timedOut()
{
    if (ended) {
        deleteLater();
        return;
    }
    if (++retries > maxRetries) {
        if (silent)
            end(false, QStringLiteral("stopped answering after block %1").arg(expected - 1));
        else if (serverTid == 0)
            end(false, QStringLiteral("no answer to the read request"));
        else
            end(false, QStringLiteral("timeout waiting for block %1").arg(expected));
        return;
    }
    if (!silent) {
        ++resent;
        send(lastPacket);
    }
    timer.start(timeoutMs);
}

void TftpFetch::end(bool ok, const QString &reason)
{
    if (ended)
        return;
    ended = true;
    timer.stop();
    emit finished(ok, image, reason);
    if (ok) {
        // Dally a while to answer a resent last block, in case our last
        // ACK was lost; the timer's next timeout ends the object.
        dallying = true;
        timer.start(DallyMs);
        return;
    }
    deleteLater();
}
