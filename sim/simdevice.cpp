#include "simdevice.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>

#include "hexcheck.h"
#include "tftpfetch.h"

namespace {
constexpr quint16 ReplyPort = 5998;

QString hex16(quint16 v)
{
    return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')).toUpper();
}

QString endpoint(const QHostAddress &address, quint16 port)
{
    return QStringLiteral("%1:%2").arg(QHostAddress(address.toIPv4Address()).toString()).arg(port);
}
} // namespace

SimDevice::SimDevice(const DeviceConfig &config, const DeviceLog &deviceLog, QObject *parent)
    : QObject(parent), cfg(config), log(deviceLog), current(config.version)
{
    bindReplySocket();
}

void SimDevice::bindReplySocket()
{
    // Replies leave from the device's own address when it is local here.
    replySocket.close();
    if (!replySocket.bind(cfg.ip, 0))
        replySocket.bind(QHostAddress::AnyIPv4, 0);
}

bool SimDevice::addressedBy(const QHostAddress &destination) const
{
    if (destination.isNull())
        return true;
    const quint32 dest = destination.toIPv4Address();
    if (dest == cfg.ip.toIPv4Address() || dest == 0xffffffffu)
        return true;
    const quint32 hostMask = cfg.prefixLength >= 32 ? 0u : (0xffffffffu >> cfg.prefixLength);
    return cfg.prefixLength < 31 && dest == (cfg.ip.toIPv4Address() | hostMask);
}

void SimDevice::handleCommand(const QByteArray &d, const QHostAddress &from, quint16 fromPort,
                              const QHostAddress &destination)
{
    QJsonObject entry;
    entry.insert(QStringLiteral("from"), endpoint(from, fromPort));
    entry.insert(QStringLiteral("to"), QHostAddress(destination.toIPv4Address()).toString());
    if (rebooting || silent) {
        entry.insert(QStringLiteral("cmd"), QStringLiteral("ignored"));
        entry.insert(QStringLiteral("reason"),
                     rebooting ? QStringLiteral("rebooting") : QStringLiteral("silent"));
        entry.insert(QStringLiteral("bytes"), QString::fromLatin1(d.toHex()));
        log.write(entry);
        return;
    }
    if (d.size() < 6 || !d.startsWith("KOV-1")) {
        entry.insert(QStringLiteral("cmd"), QStringLiteral("junk"));
        entry.insert(QStringLiteral("bytes"), QString::fromLatin1(d.toHex()));
        log.write(entry);
        return;
    }
    const int opcode = quint8(d.at(5));
    entry.insert(QStringLiteral("length"), d.size());
    switch (opcode) {
    case IR:
        handleIR(d, entry);
        break;
    case Beacon:
        handleBeacon(entry, from);
        break;
    case Reboot:
        handleReboot(entry);
        break;
    case Upgrade:
        handleUpgrade(entry, from);
        break;
    case Relay:
        handleRelay(d, entry);
        break;
    default:
        handleUnknown(d, entry, opcode);
        break;
    }
}

void SimDevice::handleIR(const QByteArray &d, QJsonObject &entry)
{
    entry.insert(QStringLiteral("cmd"), QStringLiteral("ir"));
    if (d.size() < 8 || (d.size() - 8) % 2 != 0) {
        entry.insert(QStringLiteral("malformed"), true);
        entry.insert(QStringLiteral("bytes"), QString::fromLatin1(d.toHex()));
        log.write(entry);
        return;
    }
    entry.insert(QStringLiteral("mask"), quint8(d.at(6)));
    entry.insert(QStringLiteral("repeats"), quint8(d.at(7)));
    QJsonArray words;
    for (int i = 8; i + 1 < d.size(); i += 2)
        words.append(hex16(quint16(quint8(d.at(i)) << 8 | quint8(d.at(i + 1)))));
    entry.insert(QStringLiteral("words"), words);
    log.write(entry);
}

void SimDevice::handleBeacon(QJsonObject &entry, const QHostAddress &from)
{
    entry.insert(QStringLiteral("cmd"), QStringLiteral("beacon"));
    log.write(entry);
    answerBeacon(from);
}

void SimDevice::handleReboot(QJsonObject &entry)
{
    entry.insert(QStringLiteral("cmd"), QStringLiteral("reboot"));
    log.write(entry);
    reboot();
}

void SimDevice::handleUpgrade(QJsonObject &entry, const QHostAddress &from)
{
    entry.insert(QStringLiteral("cmd"), QStringLiteral("upgrade-order"));
    if (fetch) {
        entry.insert(QStringLiteral("ignored"), QStringLiteral("upgrade under way"));
        log.write(entry);
        return;
    }
    log.write(entry);
    startUpgrade(from);
}

void SimDevice::handleRelay(const QByteArray &d, QJsonObject &entry)
{
    entry.insert(QStringLiteral("cmd"), QStringLiteral("relay"));
    if (d.size() < 8) {
        entry.insert(QStringLiteral("malformed"), true);
        log.write(entry);
        return;
    }
    const int relay = quint8(d.at(6));
    const bool closed = d.at(7) != 0;
    entry.insert(QStringLiteral("relay"), relay);
    entry.insert(QStringLiteral("closed"), closed);
    if (relay >= 1 && relay <= 3)
        relays[relay - 1] = closed;
    else
        entry.insert(QStringLiteral("invalid"), true);
    entry.insert(QStringLiteral("relays"), QJsonArray{relays[0], relays[1], relays[2]});
    log.write(entry);
}

void SimDevice::handleUnknown(const QByteArray &d, QJsonObject &entry, int opcode)
{
    entry.insert(QStringLiteral("cmd"), QStringLiteral("unknown"));
    entry.insert(QStringLiteral("opcode"), opcode);
    entry.insert(QStringLiteral("bytes"), QString::fromLatin1(d.toHex()));
    log.write(entry);
}

void SimDevice::answerBeacon(const QHostAddress &to)
{
    const QHostAddress target(to.toIPv4Address());
    if (cfg.replyDelayMs > 0)
        QTimer::singleShot(cfg.replyDelayMs, this, [this, target] { sendReplies(target); });
    else
        sendReplies(target);
}

void SimDevice::sendReplies(const QHostAddress &to)
{
    if (rebooting)
        return;
    const QByteArray good = cfg.versionInReply ? QStringLiteral("KOV-1,%1,%2,%3")
                                                     .arg(current, cfg.ip.toString(), cfg.mac)
                                                     .toLatin1()
                                               : QStringLiteral("KOV-1,%1,%2")
                                                     .arg(cfg.ip.toString(), cfg.mac)
                                                     .toLatin1();
    if (cfg.malformedReplies) {
        // Each of these must be dropped by the tool; none names a new device.
        const QList<QByteArray> bad = {
            QByteArray(),
            QByteArray("KOV-1"),
            QByteArray("kov-1,") + good.mid(6),
            QByteArray("KOV-1,only-one"),
            QByteArray("KOV-1,a,b,c,d,e"),
            QByteArray("KOV-1,,,,,,"),
            QByteArray("XKOV-1,9.9.9,10.1.1.1,FF:FF:FF:FF:FF:FF"),
            QByteArray("KOV-1") + '\0' + ",9.9.9,10.1.1.1,FF:FF:FF:FF:FF:FE",
            QByteArray(1500, 'A'),
            QByteArray("\x00\x01\x02\x03\xff\xfe", 6),
        };
        for (const QByteArray &b : bad)
            replySocket.writeDatagram(b, to, ReplyPort);
    }
    for (int i = 0; i < cfg.floodReplies; ++i) {
        replySocket.writeDatagram(good, to, ReplyPort);
        replySocket.writeDatagram(QByteArray("KOV-1,flood,") + QByteArray::number(i) + ",x,y,z",
                                  to, ReplyPort);
    }
    replySocket.writeDatagram(good, to, ReplyPort);
}

void SimDevice::startUpgrade(const QHostAddress &server)
{
    fetchServer = QHostAddress(server.toIPv4Address());
    fetch = new TftpFetch(cfg.ip, fetchServer, cfg.tftpPort, cfg.fileName, this);
    TftpFetch::Faults faults;
    faults.dropAckEvery = cfg.dropAckEvery;
    faults.dropFirstAcks = cfg.dropFirstAcks;
    faults.duplicateAcks = cfg.duplicateAcks;
    faults.stopAfterBlock = cfg.stopAfterBlock;
    fetch->setFaults(faults);
    fetch->setTimeout(cfg.tftpTimeoutMs, cfg.tftpRetries);
    connect(fetch, &TftpFetch::finished, this,
            [this, source = fetch.data()](bool ok, QByteArray image, QString reason) {
                upgradeFinished(source, ok, image, reason);
            });
    fetch->start();
}

void SimDevice::upgradeFinished(TftpFetch *source, bool ok, QByteArray image, QString reason)
{
    // The finished transfer may linger to re-acknowledge a resent last
    // block; a new order may start another one meanwhile.
    fetch = nullptr;
    QJsonObject entry;
    entry.insert(QStringLiteral("cmd"), QStringLiteral("upgrade"));
    entry.insert(QStringLiteral("server"), fetchServer.toString());
    entry.insert(QStringLiteral("file"), cfg.fileName);
    if (source) {
        entry.insert(QStringLiteral("blocks"), source->blocks());
        entry.insert(QStringLiteral("acksDropped"), source->acksDropped());
        entry.insert(QStringLiteral("retransmits"), source->retransmits());
        entry.insert(QStringLiteral("serverPort"), source->serverTransferPort());
    }
    if (ok) {
        const QString problem = HexCheck::problem(image);
        if (!problem.isEmpty()) {
            ok = false;
            reason = QStringLiteral("bad image: ") + problem;
        }
    }
    entry.insert(QStringLiteral("size"), image.size());
    entry.insert(QStringLiteral("sha256"),
                 QString::fromLatin1(
                     QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex()));
    entry.insert(QStringLiteral("result"), ok ? QStringLiteral("ok") : QStringLiteral("failed"));
    if (!ok)
        entry.insert(QStringLiteral("reason"), reason);
    // A device with restartOld fails to write its flash and comes back
    // with what it ran; one with silentAfterUpgrade never comes back.
    if (ok && !cfg.restartOld)
        current = cfg.upgradeVersion;
    entry.insert(QStringLiteral("version"), current);
    if (ok && cfg.restartOld)
        entry.insert(QStringLiteral("flash"), QStringLiteral("failed"));
    log.write(entry);
    // A device flashes and restarts after a good image; a bad one is not
    // flashed and the device goes on with what it ran.
    if (ok && cfg.silentAfterUpgrade)
        silent = true;
    else if (ok) {
        moveOnBoot = !cfg.ipAfterUpgrade.isNull();
        reboot();
    }
}

void SimDevice::reboot()
{
    rebooting = true;
    QTimer::singleShot(cfg.rebootMs, this, &SimDevice::rebooted);
}

void SimDevice::rebooted()
{
    rebooting = false;
    QJsonObject entry;
    if (moveOnBoot) {
        moveOnBoot = false;
        cfg.ip = cfg.ipAfterUpgrade;
        bindReplySocket();
        entry.insert(QStringLiteral("ip"), cfg.ip.toString());
    }
    entry.insert(QStringLiteral("cmd"), QStringLiteral("booted"));
    entry.insert(QStringLiteral("version"), current);
    entry.insert(QStringLiteral("relays"), QJsonArray{false, false, false});
    relays[0] = relays[1] = relays[2] = false;
    log.write(entry);
}
