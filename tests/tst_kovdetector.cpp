#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

#include "kovdetector.h"
#include "kovtable.h"

using Words = QList<quint16>;

namespace {

const QByteArray Marker = "END-OF-CAPTURE";
const QByteArray MarkerReply = "KOV-1,marker,127.0.0.1,MARKER";
const QHostAddress Device("10.0.0.7");
const QHostAddress Loopback(QHostAddress::LocalHost);
const QHostAddress Broadcast(QHostAddress::Broadcast);

QByteArray commandBytes(const char *tail, int length)
{
    return QByteArray("KOV-1") + QByteArray(tail, length);
}

QByteArray irDatagram(quint8 mask, quint8 repeats, const Words &words)
{
    QByteArray bytes = commandBytes("\x00", 1);
    bytes.append(char(mask)).append(char(repeats));
    for (quint16 word : words)
        bytes.append(char(word >> 8)).append(char(word & 0xff));
    return bytes;
}

Words countingWords(int count)
{
    Words words;
    for (int i = 0; i < count; ++i)
        words.append(quint16(0x0100 * (i % 256) + (255 - i % 256)));
    return words;
}

// A device's end of the protocol: everything sent to UDP 5999 in this
// namespace, with the address each datagram was sent to.
class DeviceCapture
{
public:
    bool bind()
    {
        return socket.bind(QHostAddress::AnyIPv4, KovDetector::DevicePort,
                           QUdpSocket::ShareAddress);
    }

    // Sends a marker after the command under test and collects every
    // datagram up to it; loopback keeps the order of the sends.
    QList<QNetworkDatagram> collect()
    {
        QUdpSocket sender;
        sender.writeDatagram(Marker, Loopback, KovDetector::DevicePort);
        QList<QNetworkDatagram> received;
        while (socket.waitForReadyRead(5000) || socket.hasPendingDatagrams()) {
            while (socket.hasPendingDatagrams()) {
                const QNetworkDatagram datagram = socket.receiveDatagram();
                if (datagram.data() == Marker)
                    return received;
                received.append(datagram);
            }
        }
        qWarning("marker datagram never arrived");
        received.append(QNetworkDatagram(Marker));
        return received;
    }

private:
    QUdpSocket socket;
};

struct Reply
{
    QString version;
    QHostAddress ip;
    QString mac;
};

Reply replyAt(const QSignalSpy &spy, int i)
{
    const QList<QVariant> &args = spy.at(i);
    return {args.at(0).toString(), args.at(1).value<QHostAddress>(), args.at(2).toString()};
}

// Sends the datagrams to the reply port, then a marker reply, and runs
// the event loop until the marker is announced.
bool deliver(const QList<QByteArray> &datagrams, QSignalSpy &spy)
{
    QUdpSocket sender;
    for (const QByteArray &datagram : datagrams)
        sender.writeDatagram(datagram, Loopback, KovDetector::ReplyPort);
    sender.writeDatagram(MarkerReply, Loopback, KovDetector::ReplyPort);
    auto markerSeen = [&spy] {
        return !spy.isEmpty() && spy.last().at(2).toString() == QLatin1String("MARKER");
    };
    while (!markerSeen()) {
        if (!spy.wait(5000))
            return false;
    }
    spy.removeLast();
    return true;
}

bool runIp(const QStringList &arguments)
{
    QProcess ip;
    ip.start(QStringLiteral("ip"), arguments);
    if (!ip.waitForFinished(10000) || ip.exitStatus() != QProcess::NormalExit
        || ip.exitCode() != 0) {
        qWarning("ip %s: %s", qPrintable(arguments.join(' ')),
                 ip.readAllStandardError().constData());
        return false;
    }
    return true;
}

} // namespace

class tst_KovDetector : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void beacon();
    void command_data();
    void command();
    void ir_data();
    void ir();
    void irRefusesBadArguments();

    void reply_data();
    void reply();
    void parseReply_data();
    void parseReply();
    void queuedRepliesInOneRun();
    void burstOfReplies();
    void replyPortShared();
    void randomDatagrams();

    void beaconOnEveryBroadcastInterface();

private:
    void replyRows();
};

void tst_KovDetector::initTestCase()
{
    // Everything here binds device ports and broadcasts: only inside the
    // private namespace of the test runner, where loopback is alone.
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        if (!(interface.flags() & QNetworkInterface::IsLoopBack))
            QFAIL(qPrintable(QStringLiteral("interface %1 present: run through scripts/netns-run")
                                 .arg(interface.name())));
    }
}

void tst_KovDetector::beacon()
{
    QCOMPARE(KovDetector::beaconAddresses(), QList<QHostAddress>{Broadcast});

    DeviceCapture device;
    QVERIFY(device.bind());
    KovDetector::sendBeacon();
    const QList<QNetworkDatagram> received = device.collect();
    QCOMPARE(received.size(), 1);
    QCOMPARE(received[0].data(), commandBytes("\x02", 1));
    QCOMPARE(received[0].destinationAddress(), Broadcast);
}

void tst_KovDetector::command_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("relay");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QHostAddress>("address");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("reboot") << "reboot" << 0 << false << Device << commandBytes("\x03", 1);
    QTest::newRow("upgrade one device")
        << "upgrade" << 0 << false << Device << commandBytes("\x04", 1);
    QTest::newRow("upgrade every device")
        << "upgrade" << 0 << false << Broadcast << commandBytes("\x04", 1);
    for (int relay = 1; relay <= 3; ++relay) {
        const char number = char(relay);
        QTest::addRow("relay %d open", relay)
            << "relay" << relay << false << Device << commandBytes("\x05", 1) + number + '\x00';
        QTest::addRow("relay %d close", relay)
            << "relay" << relay << true << Device << commandBytes("\x05", 1) + number + '\x01';
    }
    QTest::newRow("relay number masked to two bits")
        << "relay" << 6 << true << Device << commandBytes("\x05\x02\x01", 3);
}

void tst_KovDetector::command()
{
    QFETCH(QString, operation);
    QFETCH(int, relay);
    QFETCH(bool, closed);
    QFETCH(QHostAddress, address);
    QFETCH(QByteArray, expected);

    DeviceCapture device;
    QVERIFY(device.bind());
    if (operation == QLatin1String("reboot"))
        KovDetector::sendReboot(address);
    else if (operation == QLatin1String("upgrade"))
        KovDetector::sendUpgrade(address);
    else
        KovDetector::sendRelay(relay, closed, address);

    const QList<QNetworkDatagram> received = device.collect();
    QCOMPARE(received.size(), 1);
    QCOMPARE(received[0].data(), expected);
    QCOMPARE(received[0].destinationAddress(), address);
}

void tst_KovDetector::ir_data()
{
    QTest::addColumn<int>("mask");
    QTest::addColumn<int>("repeats");
    QTest::addColumn<Words>("words");
    QTest::addColumn<bool>("sent");
    QTest::addColumn<int>("length");

    QTest::newRow("ports 1 and 3, two repeats")
        << 0x05 << 2 << Words{0x0000, 0x006D, 0x0000, 0x0001, 0x0016, 0x0016} << true << 20;
    QTest::newRow("every port, 255 repeats, high bytes set")
        << 0x0f << 255 << Words{0xffff, 0x8001, 0x7ffe} << true << 14;
    QTest::newRow("no words") << 0x01 << 0 << Words{} << true << 8;
    QTest::newRow("300 words") << 0x02 << 1 << countingWords(300) << true << 608;
    QTest::newRow("308 words, the longest sent") << 0x04 << 1 << countingWords(308) << true << 624;
    QTest::newRow("309 words refused") << 0x08 << 1 << countingWords(309) << false << 0;
    QTest::newRow("1000 words refused") << 0x08 << 1 << countingWords(1000) << false << 0;
}

void tst_KovDetector::ir()
{
    QFETCH(int, mask);
    QFETCH(int, repeats);
    QFETCH(Words, words);
    QFETCH(bool, sent);
    QFETCH(int, length);

    DeviceCapture device;
    QVERIFY(device.bind());
    QCOMPARE(KovDetector::sendIR(quint8(mask), quint8(repeats), words.constData(),
                                 int(words.size()), Device),
             sent);
    const QList<QNetworkDatagram> received = device.collect();
    if (!sent) {
        QVERIFY(received.isEmpty());
        return;
    }
    QCOMPARE(received.size(), 1);
    QCOMPARE(received[0].data().size(), length);
    QCOMPARE(received[0].data(), irDatagram(quint8(mask), quint8(repeats), words));
    QCOMPARE(received[0].destinationAddress(), Device);
}

void tst_KovDetector::irRefusesBadArguments()
{
    DeviceCapture device;
    QVERIFY(device.bind());
    const quint16 word = 0x1234;
    QVERIFY(!KovDetector::sendIR(1, 1, &word, -1, Device));
    QVERIFY(!KovDetector::sendIR(1, 1, nullptr, 4, Device));
    QVERIFY(device.collect().isEmpty());

    QVERIFY(KovDetector::sendIR(1, 1, nullptr, 0, Device));
    QCOMPARE(device.collect().size(), 1);
}

void tst_KovDetector::replyRows()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("mac");

    const QString mac = QStringLiteral("00:11:22:33:44:55");
    const QString ip = QStringLiteral("192.168.1.20");
    auto dropped = [](const char *name, const QByteArray &datagram) {
        QTest::newRow(name) << datagram << false << QString() << QString() << QString();
    };

    QTest::newRow("four fields") << QByteArray("KOV-1,1.7.0,192.168.1.20,00:11:22:33:44:55")
                                 << true << "1.7.0" << ip << mac;
    QTest::newRow("three fields, version unknown")
        << QByteArray("KOV-1,192.168.1.20,00:11:22:33:44:55") << true << "Unknown" << ip << mac;
    QTest::newRow("empty version part taken as three fields")
        << QByteArray("KOV-1,,192.168.1.20,00:11:22:33:44:55") << true << "Unknown" << ip << mac;
    QTest::newRow("trailing and doubled commas skipped")
        << QByteArray("KOV-1,1.7.0,,192.168.1.20,,00:11:22:33:44:55,,") << true << "1.7.0" << ip
        << mac;
    QTest::newRow("MAC keeps its line break")
        << QByteArray("KOV-1,1.7.0,192.168.1.20,00:11:22:33:44:55\r\n") << true << "1.7.0" << ip
        << mac + "\r\n";
    QTest::newRow("version and MAC kept as sent")
        << QByteArray("KOV-1, v1.7.0 ,192.168.1.20,aa-BB-cc") << true << " v1.7.0 " << ip
        << "aa-BB-cc";
    QTest::newRow("8-bit text read as Latin-1")
        << QByteArray("KOV-1,1.7\xe9,192.168.1.20,\xff\x80") << true
        << QString::fromLatin1("1.7\xe9") << ip << QString::fromLatin1("\xff\x80");
    QTest::newRow("unparseable IP gives a null address")
        << QByteArray("KOV-1,1.7.0,no-address,00:11:22:33:44:55") << true << "1.7.0" << QString()
        << mac;
    QTest::newRow("cut at a NUL byte")
        << QByteArray("KOV-1,1.7.0,192.168.1.20,00:11\0:22,more,fields", 47) << true << "1.7.0"
        << ip << "00:11";

    const QByteArray head = "KOV-1,1.7.0,192.168.1.20,";
    const QByteArray longMac(KovDetector::ReplyReadLimit - head.size(), 'M');
    QTest::newRow("1500 bytes read up to byte 1023")
        << head + longMac + QByteArray(1500 - KovDetector::ReplyReadLimit, 'X') << true << "1.7.0"
        << ip << QString::fromLatin1(longMac);
    QTest::newRow("fifth field beyond byte 1023 is cut away")
        << head + longMac + ",fifth" + QByteArray(400, 'X') << true << "1.7.0" << ip
        << QString::fromLatin1(longMac);
    QTest::newRow("1024 bytes lose the last one")
        << head + longMac + 'Z' << true << "1.7.0" << ip << QString::fromLatin1(longMac);

    dropped("empty datagram", QByteArray());
    dropped("lower-case prefix", "kov-1,1.7.0,192.168.1.20,00:11:22:33:44:55");
    dropped("magic alone", "KOV-1");
    dropped("magic and comma alone", "KOV-1,");
    dropped("magic without comma", "KOV-11.7.0,192.168.1.20,00:11:22:33:44:55");
    dropped("leading blank", " KOV-1,1.7.0,192.168.1.20,00:11:22:33:44:55");
    dropped("two fields", "KOV-1,192.168.1.20");
    dropped("five fields", "KOV-1,1.7.0,192.168.1.20,00:11:22:33:44:55,extra");
    dropped("six fields", "KOV-1,a,b,c,d,e");
    dropped("NUL inside the prefix", QByteArray("KOV-1\0,1.7.0,192.168.1.20,00:11", 31));
    dropped("NUL cuts to two fields", QByteArray("KOV-1,192.168.1.20\0,00:11", 25));
    dropped("comma field beyond byte 1023 never seen",
            "KOV-1," + QByteArray(KovDetector::ReplyReadLimit, 'A') + ",192.168.1.20,00:11");
}

void tst_KovDetector::reply_data()
{
    replyRows();
}

void tst_KovDetector::reply()
{
    QFETCH(QByteArray, datagram);
    QFETCH(bool, accepted);
    QFETCH(QString, version);
    QFETCH(QString, ip);
    QFETCH(QString, mac);

    KovDetector detector;
    QSignalSpy spy(&detector, SIGNAL(detected(QString, QHostAddress, QString)));
    QVERIFY(deliver({datagram}, spy));
    QCOMPARE(spy.size(), accepted ? 1 : 0);
    if (!accepted)
        return;
    const Reply reply = replyAt(spy, 0);
    QCOMPARE(reply.version, version);
    QCOMPARE(reply.ip, QHostAddress(ip));
    QCOMPARE(reply.ip.isNull(), ip.isEmpty());
    QCOMPARE(reply.mac, mac);
}

void tst_KovDetector::parseReply_data()
{
    replyRows();
}

void tst_KovDetector::parseReply()
{
    QFETCH(QByteArray, datagram);
    QFETCH(bool, accepted);
    QFETCH(QString, version);
    QFETCH(QString, ip);
    QFETCH(QString, mac);

    QString parsedVersion;
    QHostAddress parsedIp;
    QString parsedMac;
    QCOMPARE(KovDetector::parseReply(datagram.left(KovDetector::ReplyReadLimit), parsedVersion,
                                     parsedIp, parsedMac),
             accepted);
    if (!accepted)
        return;
    QCOMPARE(parsedVersion, version);
    QCOMPARE(parsedIp, QHostAddress(ip));
    QCOMPARE(parsedMac, mac);
}

void tst_KovDetector::queuedRepliesInOneRun()
{
    KovDetector detector;
    QSignalSpy spy(&detector, SIGNAL(detected(QString, QHostAddress, QString)));
    QUdpSocket sender;
    sender.writeDatagram("KOV-1,1.0,10.0.0.1,first", Loopback, KovDetector::ReplyPort);
    sender.writeDatagram("KOV-1,10.0.0.2,second", Loopback, KovDetector::ReplyPort);
    sender.writeDatagram("KOV-1,3.0,10.0.0.3,third", Loopback, KovDetector::ReplyPort);

    // One readyRead: the first wake-up of the loop must bring all three.
    QVERIFY(spy.wait(5000));
    QCOMPARE(spy.size(), 3);
    QCOMPARE(replyAt(spy, 0).mac, "first");
    QCOMPARE(replyAt(spy, 1).mac, "second");
    QCOMPARE(replyAt(spy, 1).version, "Unknown");
    QCOMPARE(replyAt(spy, 2).mac, "third");
    QCOMPARE(replyAt(spy, 2).ip, QHostAddress("10.0.0.3"));
}

void tst_KovDetector::burstOfReplies()
{
    // A whole subnet answering one beacon before the loop gets to run.
    KovDetector detector;
    QSignalSpy spy(&detector, SIGNAL(detected(QString, QHostAddress, QString)));
    QList<QByteArray> replies;
    for (int i = 0; i < 1000; ++i)
        replies.append(QStringLiteral("KOV-1,1.7.0,10.0.%1.%2,00:00:00:00:%3")
                           .arg(i / 250)
                           .arg(i % 250 + 1)
                           .arg(i, 4, 16, QLatin1Char('0'))
                           .toLatin1());
    QVERIFY(deliver(replies, spy));
    QCOMPARE(spy.size(), replies.size());
    for (int i = 0; i < replies.size(); ++i)
        QCOMPARE(replyAt(spy, i).mac,
                 QStringLiteral("00:00:00:00:%1").arg(i, 4, 16, QLatin1Char('0')));
}

void tst_KovDetector::replyPortShared()
{
    KovDetector first;
    KovDetector second;
    QSignalSpy firstSpy(&first, SIGNAL(detected(QString, QHostAddress, QString)));
    QSignalSpy secondSpy(&second, SIGNAL(detected(QString, QHostAddress, QString)));
    QUdpSocket sender;
    sender.writeDatagram("KOV-1,1.7.0,10.0.0.7,shared", Broadcast, KovDetector::ReplyPort);
    QTRY_COMPARE(firstSpy.size(), 1);
    QTRY_COMPARE(secondSpy.size(), 1);
    QCOMPARE(replyAt(secondSpy, 0).mac, "shared");
}

void tst_KovDetector::randomDatagrams()
{
    KovDetector detector;
    KovTable table;
    connect(&detector, &KovDetector::detected, &table,
            [&table](const QString &version, const QHostAddress &ip, const QString &mac) {
                table.addKov(version, ip, mac);
            });
    QSignalSpy spy(&detector, SIGNAL(detected(QString, QHostAddress, QString)));
    const QString knownMac = QStringLiteral("00:11:22:33:44:55");
    QVERIFY(deliver({"KOV-1,1.7.0,10.0.0.7," + knownMac.toLatin1()}, spy));
    QCOMPARE(table.totalCount(), 2); // the device and the marker
    spy.clear();

    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("seed %u", seed);
    QRandomGenerator random(seed);
    for (int batch = 0; batch < 30; ++batch) {
        QList<QByteArray> datagrams;
        for (int i = 0; i < 100; ++i) {
            QByteArray bytes(random.bounded(2001), Qt::Uninitialized);
            for (char &byte : bytes) {
                // Mostly commas and text, so many get past the prefix.
                const int kind = random.bounded(8);
                byte = kind == 0 ? ',' : kind == 1 ? '\0' : char(random.bounded(256));
            }
            if (random.bounded(2))
                bytes.prepend("KOV-1,");
            datagrams.append(bytes);
        }
        QVERIFY(deliver(datagrams, spy));
    }

    // What the random replies announced is well-formed, and only their own
    // rows exist; the known device was left as it was.
    QSet<QString> macs{knownMac, QStringLiteral("MARKER")};
    for (int i = 0; i < spy.size(); ++i) {
        const Reply reply = replyAt(spy, i);
        QVERIFY(!reply.version.isEmpty() && !reply.version.contains(','));
        QVERIFY(!reply.mac.isEmpty() && !reply.mac.contains(','));
        QVERIFY(!reply.mac.contains(QChar(0)));
        QVERIFY(reply.mac.size() < KovDetector::ReplyReadLimit);
        macs.insert(reply.mac);
    }
    qInfo("%lld random datagrams announced a device", qlonglong(spy.size()));
    QCOMPARE(table.totalCount(), macs.size());
    const QSharedPointer<KovInfo> known = table.getKov(table.index(0, 0));
    QCOMPARE(known->mac, knownMac);
    QCOMPARE(known->version, "1.7.0");
    QCOMPARE(known->address, QHostAddress("10.0.0.7"));
}

void tst_KovDetector::beaconOnEveryBroadcastInterface()
{
    // A second network inside this namespace: a veth pair whose first end
    // carries two addresses of one subnet, and a pair left down.
    if (!runIp({"link", "add", "kovlan0", "type", "veth", "peer", "name", "kovlan1"}))
        QSKIP("cannot make a veth pair here");
    QVERIFY(runIp({"addr", "add", "192.168.77.1/24", "brd", "+", "dev", "kovlan0"}));
    QVERIFY(runIp({"addr", "add", "192.168.77.2/24", "brd", "+", "dev", "kovlan0"}));
    QVERIFY(runIp({"link", "set", "kovlan1", "up"}));
    QVERIFY(runIp({"link", "set", "kovlan0", "up"}));
    QVERIFY(runIp({"link", "add", "kovdown0", "type", "veth", "peer", "name", "kovdown1"}));
    QVERIFY(runIp({"addr", "add", "192.168.88.1/24", "brd", "+", "dev", "kovdown0"}));
    auto cleanup = qScopeGuard([] {
        runIp({"link", "del", "kovlan0"});
        runIp({"link", "del", "kovdown0"});
    });

    const QHostAddress lanBroadcast("192.168.77.255");
    QCOMPARE(KovDetector::beaconAddresses(), (QList<QHostAddress>{Broadcast, lanBroadcast}));

    DeviceCapture device;
    QVERIFY(device.bind());
    KovDetector::sendBeacon();
    QList<QNetworkDatagram> received = device.collect();
    QCOMPARE(received.size(), 2);
    QSet<QHostAddress> destinations;
    for (const QNetworkDatagram &datagram : received) {
        QCOMPARE(datagram.data(), commandBytes("\x02", 1));
        destinations.insert(datagram.destinationAddress());
    }
    QCOMPARE(destinations, (QSet<QHostAddress>{Broadcast, lanBroadcast}));

    // An upgrade order for all stays a single datagram to 255.255.255.255.
    KovDetector::sendUpgrade(Broadcast);
    received = device.collect();
    QCOMPARE(received.size(), 1);
    QCOMPARE(received[0].destinationAddress(), Broadcast);
}

QTEST_GUILESS_MAIN(tst_KovDetector)
#include "tst_kovdetector.moc"
