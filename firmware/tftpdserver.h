#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QMap>
#include <QObject>
#include <QString>
#include <QUdpSocket>

#include "firmwareinfo.h"

// The read-only TFTP service from which devices fetch firmware.
//
// It holds the firmware store (the built-in image at first, replaced by
// addFirmware) and, while started, listens on UDP 69. Every read request
// becomes a TFTPConnection child that runs the transfer from a port of its
// own; the server passes each transfer's done/progress/error on through
// its own signals of the same names. Anything but a read request is
// refused with "Not Supported". A read request from the address and port
// of a transfer still running is that client's resend (its first DATA
// was late or lost) and starts nothing.
class TFTPConnection;

class TFTPDServer : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 DefaultPort = 69;
    // Room for the read requests of a whole subnet told to upgrade at once.
    static constexpr int ReceiveBuffer = 1 << 20;
    // Datagrams taken from that port per turn of the event loop.
    static constexpr int RequestSlice = 16;

    explicit TFTPDServer(QObject *parent = nullptr);
    ~TFTPDServer() override;

    void start(quint16 port = DefaultPort);
    void stop();
    QString getVersion(QString revision);
    // Whether an image is held under revision (getVersion answers "N.A." if not).
    bool hasFirmware(const QString &revision) const;

    // Why the last start() could not bind, in the socket's own words.
    QString bindErrorString() const;
    // Why, as the socket's error code (UnknownSocketError after a good start).
    QAbstractSocket::SocketError bindError() const;
    // The port the server listens on while started (useful with port 0).
    quint16 localPort() const;

    // Handles one datagram sent to the server's port by sender:senderPort.
    void handleDatagram(const QByteArray &datagram, const QHostAddress &sender,
                        quint16 senderPort);

signals:
    void error(QString error);
    void done(QHostAddress &address);
    void progress(QHostAddress &address, int p);
    void error(QHostAddress &address, QString error);

public slots:
    void addFirmware(QString revision, QString version, QByteArray firmware);

private slots:
    void udpPacketArrived();
    void sessionEnded();

private:
    QMap<QString, FirmwareInfo> firmwares;
    QUdpSocket socket;
    QString lastBindError;
    QAbstractSocket::SocketError lastBindCause = QAbstractSocket::UnknownSocketError;
    int liveSessions = 0;
    // The running transfers by client address and port.
    QHash<quint64, TFTPConnection *> transfers;
};
