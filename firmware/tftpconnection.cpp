#include "tftpconnection.h"

#include "firmwarelog.h"
#include "tftppacket.h"

TFTPConnection::TFTPConnection(QMap<QString, FirmwareInfo> *firmwares, QHostAddress &peer,
                               quint16 port, QString &fileName, QObject *parent)
    : QObject(parent), peer(peer), port(port), fileName(fileName), firmwares(firmwares)
{
    // A coarse timer may fire up to 5 % early; the resend period is 1 s.
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    qCDebug(lcTftp).noquote() << printableText(fileName);
}

TFTPConnection::~TFTPConnection() = default;

void TFTPConnection::begin()
{
    const auto found = firmwares->constFind(fileName);
    if (found == firmwares->constEnd()) {
        refuse(QStringLiteral("File not found"));
        return;
    }
    // Block numbers are 16-bit: a larger image cannot be sent whole.
    if (found->firmware.size() >= Tftp::MaxImageSize) {
        refuse(QStringLiteral("File too large"));
        return;
    }

    connect(&timer, &QTimer::timeout, this, &TFTPConnection::resendIfDue);
    if (!socket.bind(QHostAddress::AnyIPv4, 0)) {
        const QString reason = socket.errorString();
        finish();
        emit error(peer, reason);
        return;
    }
    connect(&socket, &QUdpSocket::readyRead, this, &TFTPConnection::udpDataArrived);

    data = found->firmware;
    blockCount = quint16(Tftp::blockCount(data.size()));
    inbox.resize(MaxDatagram);
    packet.reserve(4 + Tftp::BlockSize);
    block = 1;
    sendCurrentBlock();
    emit progress(peer, int(block) * 100 / blockCount);
    timer.start(RetransmitInterval);
}

void TFTPConnection::sendCurrentBlock()
{
    lastBlock = sendBlock(&socket, peer, port, block, &data, &packet);
    sentAt.start();
}

void TFTPConnection::handlePacket(const QByteArray &datagram, const QHostAddress &source,
                                  quint16 sourcePort)
{
    if (ended)
        return;
    if (sourcePort != port || source != peer) {
        qCDebug(lcTftp).noquote() << "Packet from incorrect host" << source.toString()
                                  << sourcePort;
        return;
    }
    if (datagram.size() < 4) {
        qCDebug(lcTftp).noquote() << "Malformed packet" << peer.toString() << port;
        return;
    }

    const auto byte = [&datagram](int i) { return quint16(quint8(datagram.at(i))); };
    const quint16 opcode = quint16(byte(0) << 8 | byte(1));
    switch (opcode) {
    case Tftp::ACK: {
        // Only the ACK of the block last sent moves the transfer on: a
        // repeated or late ACK would otherwise skip a block or end the
        // transfer before the client has everything.
        const quint16 acked = quint16(byte(2) << 8 | byte(3));
        if (acked != block) {
            qCDebug(lcTftp).noquote()
                << "Ignoring ACK of block" << acked << "while waiting for" << block;
            return;
        }
        if (lastBlock) {
            finish();
            emit done(peer);
            return;
        }
        ++block;
        sendCurrentBlock(); // the resend is due 1 s from now (see retransmitBlock)
        emit progress(peer, int(block) * 100 / blockCount);
        return;
    }
    case Tftp::ERROR: {
        QString text = QStringLiteral("Error opcode received");
        if (datagram.size() >= 6) {
            const int end = datagram.indexOf('\0', 4);
            text = QString::fromLatin1(datagram.mid(4, end < 0 ? -1 : end - 4));
        }
        finish();
        emit error(peer, text);
        return;
    }
    default:
        qCDebug(lcTftp).noquote().nospace() << "Invalid Opcode " << opcode;
        return;
    }
}

void TFTPConnection::udpDataArrived()
{
    // One datagram per readyRead: in lock-step there is one, and asking
    // the socket first and again afterwards costs two system calls a
    // block. Any other datagram waiting brings readyRead again at the
    // next turn of the event loop, in the order it came.
    quint16 sourcePort = 0;
    const qint64 n = socket.readDatagram(inbox.data(), MaxDatagram, &source, &sourcePort);
    if (n >= 0)
        handlePacket(QByteArray::fromRawData(inbox.constData(), int(n)), source, sourcePort);
}

void TFTPConnection::resendIfDue()
{
    // A block went out since the timer was set: its second is not over.
    const qint64 quiet = sentAt.elapsed();
    if (!ended && quiet < RetransmitInterval) {
        timer.start(int(RetransmitInterval - quiet));
        return;
    }
    retransmitBlock();
}

void TFTPConnection::retransmitBlock()
{
    if (ended)
        return;
    ++retries;
    if (retries <= MaxRetries) {
        sendCurrentBlock();
        emit progress(peer, int(block) * 100 / blockCount);
        timer.start(RetransmitInterval);
        return;
    }
    finish();
    emit error(peer, QStringLiteral("Too many retries"));
}

void TFTPConnection::refuse(const QString &reason)
{
    // Sent from the still unbound socket: the system picks a port for it.
    sendError(&socket, peer, port, 0, reason);
    finish();
    emit error(peer, reason);
}

void TFTPConnection::finish()
{
    ended = true;
    timer.stop();
    deleteLater();
}
