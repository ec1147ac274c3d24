#include "tftpdserver.h"

#include <QFile>
#include <QVariant>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "firmwarelog.h"
#include "tftpconnection.h"
#include "tftppacket.h"

// The image lives in this static library's resources, which the linker
// drops unless something refers to them.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace {
const char *const builtInResource = ":/firmware/KOV_rev7_1.7.0.hex";
const char *const builtInVersion = "1.7.0";
constexpr int MaxRequest = 1023;
}

TFTPDServer::TFTPDServer(QObject *parent) : QObject(parent)
{
    initResources();
    connect(&socket, &QUdpSocket::readyRead, this, &TFTPDServer::udpPacketArrived);

    QFile file(QString::fromLatin1(builtInResource));
    if (file.open(QIODevice::ReadOnly)) {
        FirmwareInfo info;
        info.firmware = file.readAll();
        info.revision = QString::fromLatin1(FirmwareFileName);
        info.version = QString::fromLatin1(builtInVersion);
        firmwares.insert(info.revision, info);
    }
    file.close();
}

TFTPDServer::~TFTPDServer() = default;

void TFTPDServer::start(quint16 port)
{
    if (!socket.bind(QHostAddress::AnyIPv4, port, QUdpSocket::ShareAddress)) {
        lastBindError = socket.errorString();
        lastBindCause = socket.error();
        emit error(QStringLiteral(
            "Could not bind to socket, make sure no other TFTP Server is running."));
        return;
    }
    socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption,
                           QVariant(ReceiveBuffer));
    lastBindError.clear();
    lastBindCause = QAbstractSocket::UnknownSocketError;
}

void TFTPDServer::stop()
{
    socket.close();
}

QString TFTPDServer::getVersion(QString revision)
{
    const auto found = firmwares.constFind(revision);
    return found == firmwares.constEnd() ? QStringLiteral("N.A.") : found->version;
}

bool TFTPDServer::hasFirmware(const QString &revision) const
{
    return firmwares.contains(revision);
}

QString TFTPDServer::bindErrorString() const
{
    return lastBindError;
}

QAbstractSocket::SocketError TFTPDServer::bindError() const
{
    return lastBindCause;
}

quint16 TFTPDServer::localPort() const
{
    return socket.localPort();
}

void TFTPDServer::addFirmware(QString revision, QString version, QByteArray firmware)
{
    auto found = firmwares.find(revision);
    if (found != firmwares.end()) {
        found->firmware = firmware;
        found->version = version;
        return;
    }
    firmwares.insert(revision, FirmwareInfo{version, revision, firmware});
}

void TFTPDServer::udpPacketArrived()
{
    // A slice per turn of the event loop: a subnet told to upgrade at once
    // sends its read requests together, and starting them all in one pass
    // would hold up the transfers under way and the window. What is left
    // stays queued in the socket, in the order it came, and its readyRead
    // comes again at the next turn.
    for (int taken = 0; taken < RequestSlice && socket.hasPendingDatagrams(); ++taken) {
        QByteArray datagram(MaxRequest + 1, Qt::Uninitialized);
        QHostAddress sender;
        quint16 senderPort = 0;
        const qint64 n = socket.readDatagram(datagram.data(), MaxRequest, &sender, &senderPort);
        if (n < 0)
            continue;
        datagram.truncate(int(n));
        handleDatagram(datagram, sender, senderPort);
    }
}

void TFTPDServer::handleDatagram(const QByteArray &datagram, const QHostAddress &sender,
                                 quint16 senderPort)
{
    const QByteArray request = datagram.left(MaxRequest);
    if (request.size() < 2)
        return;
    const quint16 opcode = quint16(quint8(request.at(0)) << 8 | quint8(request.at(1)));
    if (opcode != Tftp::RRQ) {
        // Answered only from the listening port; an unbound socket would
        // otherwise bind itself to some port just to send this.
        if (socket.state() == QAbstractSocket::BoundState)
            sendError(&socket, sender, senderPort, 0, QStringLiteral("Not Supported"));
        qCDebug(lcTftp) << "Unsupported Request";
        return;
    }
    if (request.size() < 4)
        return;

    const quint64 client = quint64(sender.toIPv4Address()) << 16 | senderPort;
    const TFTPConnection *running = transfers.value(client);
    if (running && running->isRunning()) {
        qCDebug(lcTftp) << "Resent read request from" << sender.toString() << senderPort;
        return;
    }

    const int end = request.indexOf('\0', 2);
    QString fileName = QString::fromLatin1(request.mid(2, end < 0 ? -1 : end - 2));
    QHostAddress peer = sender;
    auto *session = new TFTPConnection(&firmwares, peer, senderPort, fileName, this);
    ++liveSessions;
    connect(session, &QObject::destroyed, this, &TFTPDServer::sessionEnded);
    connect(session, &TFTPConnection::done, this, &TFTPDServer::done);
    connect(session, &TFTPConnection::error, this,
            qOverload<QHostAddress &, QString>(&TFTPDServer::error));
    connect(session, &TFTPConnection::progress, this, &TFTPDServer::progress);
    session->begin();
    if (session->isRunning()) {
        transfers.insert(client, session);
        connect(session, &QObject::destroyed, this, [this, client, session] {
            const auto found = transfers.constFind(client);
            if (found != transfers.constEnd() && found.value() == session)
                transfers.erase(found);
        });
    }
}

void TFTPDServer::sessionEnded()
{
    // After a burst of thousands of sessions the allocator keeps their
    // freed memory; once none is left, give it back to the system.
    if (--liveSessions == 0) {
#ifdef __GLIBC__
        malloc_trim(0);
#endif
    }
}
