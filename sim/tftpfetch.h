#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUdpSocket>

// A device's TFTP client (RFC 1350): one read request in octet mode, DATA
// blocks of 512 bytes taken in order and acknowledged one by one, the
// server's transfer port locked at its first packet, the last packet sent
// again after each silent timeout until the retries run out. It can also
// play a faulty client: lose or double its ACKs, or fall silent.
class TftpFetch : public QObject
{
    Q_OBJECT

public:
    struct Faults
    {
        int dropAckEvery = 0;
        int dropFirstAcks = 0;
        bool duplicateAcks = false;
        int stopAfterBlock = 0;
    };

    TftpFetch(const QHostAddress &local, const QHostAddress &server, quint16 serverPort,
              const QString &fileName, QObject *parent = nullptr);

    void setFaults(const Faults &faults);
    void setTimeout(int ms, int retries);
    void start();

    int blocks() const { return received; }
    int acksDropped() const { return dropped; }
    int retransmits() const { return resent; }
    quint16 serverTransferPort() const { return serverTid; }

signals:
    // Ends the transfer: ok with the whole image, or not with a reason.
    void finished(bool ok, QByteArray image, QString reason);

private slots:
    void readPending();
    void timedOut();

private:
    void handle(const QByteArray &packet, const QHostAddress &from, quint16 port);
    void sendAck(quint16 block);
    void send(const QByteArray &packet);
    void sendError(quint16 code, const QString &message, const QHostAddress &to, quint16 port);
    void end(bool ok, const QString &reason);

    QUdpSocket socket;
    QTimer timer;
    QHostAddress local;
    QHostAddress server;
    quint16 serverPort;
    quint16 serverTid = 0;
    QString fileName;
    Faults faults;
    int timeoutMs = 1000;
    int maxRetries = 5;

    QByteArray image;
    QByteArray lastPacket;
    quint16 expected = 1;
    int received = 0;
    int retries = 0;
    int acksSent = 0;
    int dropped = 0;
    int resent = 0;
    bool silent = false;
    bool ended = false;
    bool dallying = false;
};
