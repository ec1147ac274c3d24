#pragma once

#include <QHostAddress>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QUdpSocket>

#include "deviceconfig.h"
#include "devicelog.h"

class TftpFetch;

// One simulated KOV-1: answers beacons with its reply text, keeps its
// relays, takes IR codes, reboots, and upgrades itself by TFTP from the
// computer that ordered it. Everything it is told goes to its log.
class SimDevice : public QObject
{
    Q_OBJECT

public:
    explicit SimDevice(const DeviceConfig &config, const DeviceLog &log,
                       QObject *parent = nullptr);

    const DeviceConfig &config() const { return cfg; }
    QString version() const { return current; }

    // Whether a command sent to destination is meant for this device: its
    // own address, the limited broadcast, or its subnet's broadcast.
    bool addressedBy(const QHostAddress &destination) const;

    void handleCommand(const QByteArray &datagram, const QHostAddress &from, quint16 fromPort,
                       const QHostAddress &destination);

    // The device command opcodes (byte 5 of every command).
    enum Opcode : quint8 { IR = 0x00, Beacon = 0x02, Reboot = 0x03, Upgrade = 0x04, Relay = 0x05 };

private:
    void upgradeFinished(TftpFetch *source, bool ok, QByteArray image, QString reason);
    void rebooted();

    // One handler per command; each completes the log entry it is given.
    void handleIR(const QByteArray &d, QJsonObject &entry);
    void handleBeacon(QJsonObject &entry, const QHostAddress &from);
    void handleReboot(QJsonObject &entry);
    void handleUpgrade(QJsonObject &entry, const QHostAddress &from);
    void handleRelay(const QByteArray &d, QJsonObject &entry);
    void handleUnknown(const QByteArray &d, QJsonObject &entry, int opcode);

    void answerBeacon(const QHostAddress &to);
    void sendReplies(const QHostAddress &to);
    void startUpgrade(const QHostAddress &server);
    void reboot();
    void bindReplySocket();

    DeviceConfig cfg;
    DeviceLog log;
    QString current;
    QUdpSocket replySocket;
    bool relays[3] = {false, false, false};
    bool rebooting = false;
    bool silent = false;     // after an upgrade, with cfg.silentAfterUpgrade
    bool moveOnBoot = false; // an upgrade done: restart at cfg.ipAfterUpgrade
    QPointer<TftpFetch> fetch;
    QHostAddress fetchServer;
};
