#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUdpSocket>

#include "firmwareinfo.h"

// Serves one read request: one image to one client, 512-byte blocks in
// lock-step from a port of its own, resent after 1 s of silence, given up
// at the sixth timeout of the transfer. Deletes itself when it ends.
//
// The resend timer is not restarted at every block: each send stamps
// sentAt, and a timeout that comes sooner than 1 s after the latest send
// only re-arms the timer for the rest of that second (resendIfDue); a
// timeout 1 s after it runs retransmitBlock. A transfer thus
// touches the timer about once a second instead of once a block, and
// reuses one packet buffer and one receive buffer throughout.
class TFTPConnection : public QObject
{
    Q_OBJECT

public:
    static constexpr int RetransmitInterval = 1000;
    static constexpr int MaxRetries = 5;
    static constexpr int MaxDatagram = 1024;

    TFTPConnection(QMap<QString, FirmwareInfo> *firmwares, QHostAddress &peer, quint16 port,
                   QString &fileName, QObject *parent);
    ~TFTPConnection() override;

    void begin();
    // False once the transfer has ended (done, failed or refused).
    bool isRunning() const { return !ended; }

    // Handles one datagram from source:sourcePort as if it had arrived on
    // the transfer's socket (the socket's reader calls it for each one).
    void handlePacket(const QByteArray &datagram, const QHostAddress &source, quint16 sourcePort);

signals:
    void done(QHostAddress &address);
    void progress(QHostAddress &address, int p);
    void error(QHostAddress &address, QString error);

private slots:
    void udpDataArrived();
    void retransmitBlock();

private:
    void refuse(const QString &reason);
    void sendCurrentBlock();
    // The timer's timeout: resends once 1 s has passed since the latest send.
    void resendIfDue();
    // Stops the transfer for good and schedules its deletion.
    void finish();

    QUdpSocket socket;
    QHostAddress peer;
    quint16 port;
    QString fileName;
    QByteArray data;
    quint16 block = 0;
    bool lastBlock = false;
    QTimer timer;
    quint16 retries = 0;
    quint16 blockCount = 0;
    QMap<QString, FirmwareInfo> *firmwares;
    bool ended = false;
    QElapsedTimer sentAt; // since the latest send of a block
    QByteArray packet;    // the DATA packet, rebuilt in place for each block
    QByteArray inbox;     // receive buffer
    QHostAddress source;  // sender of the datagram read last
};
