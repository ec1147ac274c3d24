#include <QtTest>

#include <QPointer>

#include "firmwaretestutil.h"
#include "tftpconnection.h"
#include "tftpdserver.h"
#include "tftptestclient.h"

using namespace TftpTest;

namespace {

const QByteArray notSupported("\0\5\0\0Not Supported\0", 18);
const QByteArray fileNotFound("\0\5\0\0File not found\0", 19);

}

class TestTftpdServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void nothingListensBeforeStart();
    void refusals_data();
    void refusals();
    void droppedDatagrams_data();
    void droppedDatagrams();
    void notFound_data();
    void notFound();
    void served_data();
    void served();
    void resentRequestMakesNoSecondSession();
    void burstServedInOrderOverSeveralTurns();
    void replacedImageLeavesRunningTransfer();
    void addedImageIsServed();
    void getVersion_data();
    void getVersion();
    void portTaken();
    void stopLeavesRunningTransfers();

private:
    // Fetches name in lock-step from the session that answers request.
    QByteArray fetch(Client &c, const QByteArray &request, quint16 toPort = 69);
    int sessions() const { return server->findChildren<TFTPConnection *>().size(); }

    QByteArray builtIn;
    TFTPDServer *server = nullptr;
    Recorder *events = nullptr;
};

void TestTftpdServer::initTestCase()
{
    builtIn = FirmwareTest::builtInImage();
    QCOMPARE(builtIn.size(), 161302);
}

void TestTftpdServer::init()
{
    server = new TFTPDServer;
    events = new Recorder(server);
}

void TestTftpdServer::cleanup()
{
    delete events;
    delete server;
    events = nullptr;
    server = nullptr;
}

QByteArray TestTftpdServer::fetch(Client &c, const QByteArray &request, quint16 toPort)
{
    c.send(request, toPort);
    QByteArray received;
    for (quint16 k = 1;; ++k) {
        const QNetworkDatagram d = c.next();
        if (opcodeOf(d.data()) != 3 || blockOf(d.data()) != k || d.senderPort() == 69) {
            qWarning("unexpected answer %s", d.data().left(24).toHex().constData());
            return QByteArray("<failed>");
        }
        received += d.data().mid(4);
        c.send(ack(k), quint16(d.senderPort()));
        if (d.data().size() < 516)
            return received;
    }
}

void TestTftpdServer::nothingListensBeforeStart()
{
    Client c;
    QUdpSocket other;
    // Port 69 is free until start(): anyone else may bind it.
    QVERIFY(other.bind(QHostAddress::AnyIPv4, 69));
    other.close();
    server->start();
    QVERIFY(events->errors.isEmpty());
    QCOMPARE(fetch(c, rrq("kov-1-rev7.hex")), builtIn);
}

void TestTftpdServer::refusals_data()
{
    QTest::addColumn<QByteArray>("packet");

    QTest::newRow("write request") << u16(2) + "kov-1-rev7.hex" + '\0' + "octet" + '\0';
    QTest::newRow("DATA") << u16(3) + u16(1) + "hello";
    QTest::newRow("ACK") << ack(1);
    QTest::newRow("ERROR") << errorPacket(0, "oops");
    QTest::newRow("2-byte unknown opcode") << u16(0x0100);
    QTest::newRow("opcode 0") << u16(0) + "kov-1-rev7.hex" + '\0';
}

void TestTftpdServer::refusals()
{
    QFETCH(QByteArray, packet);
    server->start();
    Client c;
    QTest::ignoreMessage(QtDebugMsg, "Unsupported Request");
    c.send(packet, 69);
    const QNetworkDatagram d = c.next();
    QCOMPARE(d.data(), notSupported);
    QCOMPARE(d.senderPort(), 69);
    QCOMPARE(sessions(), 0);
    QVERIFY(events->errors.isEmpty());
}

void TestTftpdServer::droppedDatagrams_data()
{
    QTest::addColumn<QByteArray>("packet");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("1 byte") << QByteArray("\0", 1);
    QTest::newRow("3-byte read request 00 01 41") << QByteArray("\0\1A", 3);
}

void TestTftpdServer::droppedDatagrams()
{
    QFETCH(QByteArray, packet);
    server->start();
    Client c;
    c.send(packet, 69);
    // Datagrams are handled in order: the answer to this one comes first
    // unless the dropped one was answered.
    QTest::ignoreMessage(QtDebugMsg, "Unsupported Request");
    c.send(ack(9), 69);
    QCOMPARE(c.next().data(), notSupported);
    QCOMPARE(sessions(), 0);
    QVERIFY(events->errors.isEmpty());
    QVERIFY(!c.hasPending());
}

void TestTftpdServer::notFound_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QString>("logged");

    QTest::newRow("empty name 00 01 00 00") << QByteArray("\0\1\0\0", 4) << QString("");
    QTest::newRow("capitals") << rrq("KOV-1-REV7.HEX") << QString("KOV-1-REV7.HEX");
    QTest::newRow("leading slash") << rrq("/kov-1-rev7.hex") << QString("/kov-1-rev7.hex");
    QTest::newRow("trailing blank") << rrq("kov-1-rev7.hex ") << QString("kov-1-rev7.hex ");
    QTest::newRow("directory") << rrq("firmware/kov-1-rev7.hex")
                               << QString("firmware/kov-1-rev7.hex");
    // A name that would clear the terminal of whoever reads the log.
    QTest::newRow("escape sequence") << rrq("\x1b[2J") << QString("\\x1b[2J");
    QTest::newRow("bytes beyond ASCII") << rrq("\x9b\xff\\") << QString("\\x9b\\xff\\\\");
}

void TestTftpdServer::notFound()
{
    QFETCH(QByteArray, packet);
    QFETCH(QString, logged);
    QTest::ignoreMessage(QtDebugMsg, qPrintable(logged));
    server->start();
    Client c;
    c.send(packet, 69);
    const QNetworkDatagram d = c.next();
    QCOMPARE(d.data(), fileNotFound);
    QVERIFY(d.senderPort() != 69);
    QTRY_COMPARE(events->errors, QStringList{"File not found"});
    QCOMPARE(events->errorFrom.at(0), QHostAddress(QHostAddress::LocalHost));
    QVERIFY(events->progress.isEmpty());
    QTRY_COMPARE(sessions(), 0);
}

void TestTftpdServer::served_data()
{
    QTest::addColumn<QByteArray>("request");

    QTest::newRow("octet") << rrq("kov-1-rev7.hex");
    QTest::newRow("netascii, bytes as stored") << rrq("kov-1-rev7.hex", "netascii");
    QTest::newRow("unterminated name") << u16(1) + "kov-1-rev7.hex";
    QTest::newRow("options are not acknowledged")
        << rrq("kov-1-rev7.hex") + "blksize" + '\0' + "1428" + '\0' + "tsize" + '\0' + "0" + '\0';
    QTest::newRow("datagram over 1023 bytes") << rrq("kov-1-rev7.hex") + QByteArray(3000, 'z');
}

void TestTftpdServer::served()
{
    QFETCH(QByteArray, request);
    server->start();
    Client c;
    QCOMPARE(fetch(c, request), builtIn);
    QTRY_COMPARE(events->done.size(), 1);
    QCOMPARE(events->done.at(0), QHostAddress(QHostAddress::LocalHost));
    QCOMPARE(events->progress.size(), 316);
    QCOMPARE(events->progress.last(), 100);
    QVERIFY(events->errors.isEmpty());
    QTRY_COMPARE(sessions(), 0);
}

void TestTftpdServer::resentRequestMakesNoSecondSession()
{
    server->start();
    Client c;
    // The first request's DATA is late: the client asks again from its port.
    c.send(rrq("kov-1-rev7.hex"), 69);
    QCOMPARE(fetch(c, rrq("kov-1-rev7.hex")), builtIn);
    QTRY_COMPARE(sessions(), 0);
    QCOMPARE(events->done.size(), 1);
    QVERIFY(events->errors.isEmpty());
    // Once that transfer has ended, the same port may start another.
    QCOMPARE(fetch(c, rrq("kov-1-rev7.hex")), builtIn);
    QTRY_COMPARE(events->done.size(), 2);
}

// A subnet's read requests at once: taken a slice per turn of the event
// loop, still answered in the order they came.
void TestTftpdServer::burstServedInOrderOverSeveralTurns()
{
    constexpr int Count = 3 * TFTPDServer::RequestSlice;
    server->start();
    std::vector<std::unique_ptr<Client>> clients;
    QList<QHostAddress> order;
    for (int i = 0; i < Count; ++i) {
        order.append(QHostAddress(QStringLiteral("127.0.1.%1").arg(i + 1)));
        clients.push_back(std::make_unique<Client>(order.last()));
        clients.back()->send(rrq("absent"), 69);
    }
    QList<int> answeredPerTurn;
    QTimer turn;
    connect(&turn, &QTimer::timeout, [&] { answeredPerTurn.append(int(events->errors.size())); });
    turn.start(0);
    QTRY_COMPARE(events->errors.size(), Count);
    QCOMPARE(events->errorFrom, order);
    QVERIFY(std::any_of(answeredPerTurn.cbegin(), answeredPerTurn.cend(),
                        [](int n) { return n > 0 && n < Count; }));
}

void TestTftpdServer::replacedImageLeavesRunningTransfer()
{
    server->start();
    Client old;
    old.send(rrq("kov-1-rev7.hex"), 69);
    QNetworkDatagram d = old.next();
    QCOMPARE(blockOf(d.data()), quint16(1));
    const quint16 oldPort = quint16(d.senderPort());

    const QByteArray newImage = QByteArray(":00000001FF\r\n").repeated(100);
    server->addFirmware("kov-1-rev7.hex", "1.8.0", newImage);
    QCOMPARE(server->getVersion("kov-1-rev7.hex"), QStringLiteral("1.8.0"));

    Client fresh;
    QCOMPARE(fetch(fresh, rrq("kov-1-rev7.hex")), newImage);

    QByteArray received = d.data().mid(4);
    for (quint16 k = 1; d.data().size() == 516; ++k) {
        old.send(ack(k), oldPort);
        d = old.next();
        QCOMPARE(blockOf(d.data()), quint16(k + 1));
        received += d.data().mid(4);
    }
    QCOMPARE(received, builtIn);
    old.send(ack(blockOf(d.data())), oldPort);
    QTRY_COMPARE(events->done.size(), 2);
}

void TestTftpdServer::addedImageIsServed()
{
    const QByteArray other(700, 'q');
    server->addFirmware("kov-2.hex", "2.0", other);
    server->start();
    Client c;
    QCOMPARE(fetch(c, rrq("kov-2.hex")), other);
    Client d;
    QCOMPARE(fetch(d, rrq("kov-1-rev7.hex")), builtIn);
    QCOMPARE(server->getVersion("kov-2.hex"), QStringLiteral("2.0"));
    QCOMPARE(server->getVersion("kov-1-rev7.hex"), QStringLiteral("1.7.0"));
}

void TestTftpdServer::getVersion_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("version");

    QTest::newRow("built-in") << "kov-1-rev7.hex"
                              << "1.7.0";
    QTest::newRow("capitals") << "KOV-1-REV7.HEX"
                              << "N.A.";
    QTest::newRow("unknown") << "kov-9.hex"
                             << "N.A.";
    QTest::newRow("empty") << ""
                           << "N.A.";
}

void TestTftpdServer::getVersion()
{
    QFETCH(QString, name);
    QFETCH(QString, version);
    QCOMPARE(server->getVersion(name), version);
}

void TestTftpdServer::portTaken()
{
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::AnyIPv4, 69, QUdpSocket::DontShareAddress));

    QSignalSpy bindError(server, SIGNAL(error(QString)));
    server->start();
    QCOMPARE(bindError.count(), 1);
    QCOMPARE(bindError.at(0).at(0).toString(),
             QStringLiteral(
                 "Could not bind to socket, make sure no other TFTP Server is running."));
    QVERIFY(!server->bindErrorString().isEmpty());
    qInfo("socket reason: %s", qPrintable(server->bindErrorString()));

    // The rest of the server still works, and a later start can succeed.
    QCOMPARE(server->getVersion("kov-1-rev7.hex"), QStringLiteral("1.7.0"));
    holder.close();
    server->start();
    QCOMPARE(bindError.count(), 1);
    QVERIFY(server->bindErrorString().isEmpty());
    Client c;
    QCOMPARE(fetch(c, rrq("kov-1-rev7.hex")), builtIn);
}

void TestTftpdServer::stopLeavesRunningTransfers()
{
    server->start();
    Client running;
    running.send(rrq("kov-1-rev7.hex"), 69);
    QNetworkDatagram d = running.next();
    const quint16 sessionPort = quint16(d.senderPort());
    QByteArray received = d.data().mid(4);

    server->stop();
    Client late;
    late.send(rrq("kov-1-rev7.hex"), 69);
    // Port 69 is free again once stopped.
    QUdpSocket other;
    QVERIFY(other.bind(QHostAddress::AnyIPv4, 69, QUdpSocket::DontShareAddress));
    other.close();

    for (quint16 k = 1; d.data().size() == 516; ++k) {
        running.send(ack(k), sessionPort);
        d = running.next();
        QCOMPARE(blockOf(d.data()), quint16(k + 1));
        received += d.data().mid(4);
    }
    QCOMPARE(received, builtIn);
    running.send(ack(blockOf(d.data())), sessionPort);
    QTRY_COMPARE(events->done.size(), 1);
    QVERIFY(!late.hasPending());
    QCOMPARE(sessions(), 0);
    QCOMPARE(events->progress.size(), 316); // one transfer only
}

QTEST_GUILESS_MAIN(TestTftpdServer)
#include "tst_tftpdserver.moc"
