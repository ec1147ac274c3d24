#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

// The device simulator on its own, against a TFTP server written here
// from raw sockets: the end-to-end tests lean on what it checks, so its
// checks must catch what they claim to. The test's namespace has
// 10.0.0.0/24 local, so the device's address is this host's.
class tst_E2eSimDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void upgrade_data();
    void upgrade();
    void repliesToBeacon();

private:
    QByteArray goodImage() const;
    QList<QJsonObject> upgrades() const;
    QByteArray reply();

    QTemporaryDir dir;
    QProcess sim;
    QUdpSocket replies;
    QString version = QStringLiteral("1.6.2");
};

static QByteArray u16(quint16 v)
{
    return QByteArray(1, char(v >> 8)) + char(v & 0xff);
}

static QByteArray record(int type, int address, const QByteArray &data)
{
    QByteArray r;
    r.append(char(data.size()));
    r.append(char(address >> 8));
    r.append(char(address & 0xff));
    r.append(char(type));
    r += data;
    quint8 sum = 0;
    for (char b : std::as_const(r))
        sum += quint8(b);
    r.append(char(quint8(-sum)));
    return ':' + r.toHex().toUpper() + "\r\n";
}

QByteArray tst_E2eSimDevice::goodImage() const
{
    QByteArray image = record(4, 0, QByteArray::fromHex("0800"));
    for (int r = 0; r < 100; ++r)
        image += record(0, r * 16, QByteArray(16, char(r)));
    return image + ":00000001FF\r\n";
}

void tst_E2eSimDevice::initTestCase()
{
    QVERIFY(replies.bind(QHostAddress::AnyIPv4, 5998));
    sim.start(QStringLiteral(KOV_SIM_PATH),
              {"--device",
               "name=dev,ip=10.0.0.5,mac=00:1E:C0:00:00:05,version=1.6.2,"
               "upgradeVersion=1.7.0,rebootMs=0,tftpTimeoutMs=200,tftpRetries=2",
               "--log", dir.filePath("log.jsonl")});
    QVERIFY(sim.waitForStarted());
    QVERIFY(QTest::qWaitFor(
        [&] {
            return sim.readAllStandardError().contains("ready")
                   || sim.state() != QProcess::Running;
        },
        10000));
    QCOMPARE(sim.state(), QProcess::Running);
}

void tst_E2eSimDevice::cleanupTestCase()
{
    sim.terminate();
    sim.waitForFinished(3000);
}

QList<QJsonObject> tst_E2eSimDevice::upgrades() const
{
    QFile file(dir.filePath("log.jsonl"));
    QList<QJsonObject> found;
    if (!file.open(QIODevice::ReadOnly))
        return found;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.value("cmd").toString() == QLatin1String("upgrade"))
            found.append(o);
    }
    return found;
}

QByteArray tst_E2eSimDevice::reply()
{
    QUdpSocket beacon;
    beacon.writeDatagram(QByteArray("KOV-1\x02", 6), QHostAddress::Broadcast, 5999);
    if (!replies.hasPendingDatagrams() && !replies.waitForReadyRead(5000))
        return QByteArray();
    return replies.receiveDatagram().data();
}

void tst_E2eSimDevice::upgrade_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<bool>("stranger");    // a packet from another port mid-transfer
    QTest::addColumn<QByteArray>("error"); // an ERROR sent instead of block 2
    QTest::addColumn<QString>("reason");   // empty: accepted

    const QByteArray good = goodImage();
    QByteArray badSum = good;
    badSum[badSum.indexOf("\r\n:") - 1] = badSum.at(badSum.indexOf("\r\n:") - 1) == '0' ? '1'
                                                                                        : '0';
    QByteArray badDigit = good;
    badDigit[20] = 'G';

    QTest::newRow("good image") << good << false << QByteArray() << "";
    QTest::newRow("packet from a stranger port is refused, transfer goes on")
        << good << true << QByteArray() << "";
    QTest::newRow("checksum wrong") << badSum << false << QByteArray() << "checksum";
    QTest::newRow("not hexadecimal") << badDigit << false << QByteArray() << "not hexadecimal";
    QTest::newRow("no end-of-file record")
        << good.left(good.size() - 13) << false << QByteArray() << "no end-of-file record";
    QTest::newRow("data after the end-of-file record")
        << good + record(0, 0, "x") << false << QByteArray() << "after the end-of-file";
    QTest::newRow("server error ends the transfer")
        << good << false << QByteArray("Disk on fire") << "Disk on fire";
}

void tst_E2eSimDevice::upgrade()
{
    QFETCH(QByteArray, image);
    QFETCH(bool, stranger);
    QFETCH(QByteArray, error);
    QFETCH(QString, reason);
    const int before = upgrades().size();

    QUdpSocket server;
    QVERIFY(server.bind(QHostAddress::AnyIPv4, 69));
    QUdpSocket order;
    order.writeDatagram(QByteArray("KOV-1\x04", 6), QHostAddress("10.0.0.5"), 5999);
    QVERIFY(server.waitForReadyRead(5000));
    const QNetworkDatagram rrq = server.receiveDatagram();
    QCOMPARE(rrq.data(), QByteArray("\x00\x01kov-1-rev7.hex\x00octet\x00", 23));

    QUdpSocket transfer;
    QVERIFY(transfer.bind(QHostAddress::AnyIPv4, 0));
    const QHostAddress client = rrq.senderAddress();
    const quint16 port = quint16(rrq.senderPort());
    const int blocks = int(image.size() / 512 + 1);
    for (int k = 1; k <= blocks; ++k) {
        if (k == 2 && !error.isEmpty()) {
            transfer.writeDatagram(u16(5) + u16(0) + error + '\0', client, port);
            break;
        }
        transfer.writeDatagram(u16(3) + u16(quint16(k)) + image.mid((k - 1) * 512, 512), client,
                               port);
        if (k == 2 && stranger) {
            QUdpSocket other;
            other.writeDatagram(u16(3) + u16(3) + "junk", client, port);
            QVERIFY(other.waitForReadyRead(5000));
            QCOMPARE(other.receiveDatagram().data().left(4), u16(5) + u16(5));
        }
        QVERIFY(transfer.waitForReadyRead(5000));
        QCOMPARE(transfer.receiveDatagram().data(), u16(4) + u16(quint16(k)));
    }

    QTRY_COMPARE(upgrades().size(), before + 1);
    const QJsonObject result = upgrades().last();
    if (reason.isEmpty()) {
        QCOMPARE(result.value("result").toString(), QStringLiteral("ok"));
        QCOMPARE(result.value("sha256").toString().toLatin1(),
                 QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex());
        QCOMPARE(result.value("blocks").toInt(), blocks);
        version = QStringLiteral("1.7.0");
    } else {
        QCOMPARE(result.value("result").toString(), QStringLiteral("failed"));
        QVERIFY2(result.value("reason").toString().contains(reason),
                 qPrintable(result.value("reason").toString()));
    }
    // A failed upgrade leaves the device on what it ran.
    QCOMPARE(result.value("version").toString(), version);
    QCOMPARE(reply(),
             QStringLiteral("KOV-1,%1,10.0.0.5,00:1E:C0:00:00:05").arg(version).toLatin1());
}

void tst_E2eSimDevice::repliesToBeacon()
{
    while (replies.hasPendingDatagrams())
        replies.receiveDatagram();
    QVERIFY(reply().startsWith("KOV-1,"));
}

QTEST_GUILESS_MAIN(tst_E2eSimDevice)
#include "tst_e2e_simdevice.moc"
