#pragma once

#include <QHostAddress>
#include <QString>

class QJsonObject;

// How one simulated KOV-1 looks and behaves: its identity, its reply
// form, the version it runs after an upgrade, and the faults it plays.
struct DeviceConfig
{
    QString name;
    QString mac;
    QHostAddress ip;
    int prefixLength = 24;
    QString version = QStringLiteral("1.6.2");
    bool versionInReply = true; // "KOV-1,<version>,<ip>,<mac>"; false: "KOV-1,<ip>,<mac>"
    QString upgradeVersion = QStringLiteral("1.7.0");
    QString logPath; // empty: the process-wide log
    QString fileName = QStringLiteral("kov-1-rev7.hex");
    quint16 tftpPort = 69;
    int rebootMs = 300;
    int tftpTimeoutMs = 1000;
    int tftpRetries = 5;

    // Misbehaviour.
    int replyDelayMs = 0;
    int dropAckEvery = 0;       // drop every Nth ACK sent
    int dropFirstAcks = 0;      // drop the first K ACKs sent
    bool duplicateAcks = false; // send every ACK twice
    int stopAfterBlock = 0;     // go silent once block N has been acknowledged
    bool malformedReplies = false;
    int floodReplies = 0;            // N extra valid and N junk replies per beacon
    bool restartOld = false;         // after a complete transfer, restart into the old version
    bool silentAfterUpgrade = false; // after a complete transfer, never answer again
    QHostAddress ipAfterUpgrade;     // set: restarts at this address after an upgrade (DHCP)

    // Reads "key=value,key=value" (keys as in JSON). Returns an empty
    // string when it is well-formed, else what is wrong.
    static QString fromText(const QString &text, DeviceConfig &config);
    static QString fromJson(const QJsonObject &object, DeviceConfig &config);
};
