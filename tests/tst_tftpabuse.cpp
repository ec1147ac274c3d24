#include <QtTest>

#include <QRandomGenerator>

#include <memory>
#include <vector>

#include "firmwaretestutil.h"
#include "tftpconnection.h"
#include "tftpdserver.h"
#include "tftptestclient.h"

using namespace TftpTest;

namespace {

int debugLines = 0;

// Thousands of requests make thousands of debug lines; count them instead.
void quietHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg) {
        ++debugLines;
        return;
    }
    fprintf(stderr, "%s\n", qPrintable(message));
}

QByteArray garbage(QRandomGenerator &random)
{
    QByteArray bytes(random.bounded(0, 1100), Qt::Uninitialized);
    for (char &c : bytes)
        c = char(random.bounded(256));
    switch (random.bounded(4)) {
    case 0: // a read request for a junk name, or for nothing
        bytes.prepend(QByteArray("\0\1", 2));
        break;
    case 1: // a known opcode followed by junk
        bytes.prepend(u16(quint16(random.bounded(0, 7))));
        break;
    default:
        break;
    }
    return bytes;
}

// Counts the sessions the server creates (its children as they are added).
class ChildCounter : public QObject
{
public:
    int added = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::ChildAdded)
            ++added;
        return false;
    }
};

}

class TestTftpAbuse : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void burstOfRequests();
    void garbageDuringTransfers();
    void garbageFedDirectly();

private:
    int sessions() const { return server->findChildren<TFTPConnection *>().size(); }
    // Sends an unknown-name request from control and waits for its refusal:
    // the server handles datagrams in order, so everything sent before it
    // has been handled too.
    bool sync(Client &control);
    QByteArray fetch(Client &c);

    QByteArray builtIn;
    TFTPDServer *server = nullptr;
    Recorder *events = nullptr;
};

void TestTftpAbuse::initTestCase()
{
    qInstallMessageHandler(quietHandler);
    builtIn = FirmwareTest::builtInImage();
    QVERIFY(!builtIn.isEmpty());
}

void TestTftpAbuse::init()
{
    server = new TFTPDServer;
    events = new Recorder(server);
    server->start();
}

void TestTftpAbuse::cleanup()
{
    delete events;
    delete server;
}

bool TestTftpAbuse::sync(Client &control)
{
    control.send(rrq("sync"), 69);
    if (!waitUntil([&] { return control.hasPending(); }, 10000))
        return false;
    return control.socket.receiveDatagram().data().mid(4, 14) == "File not found";
}

QByteArray TestTftpAbuse::fetch(Client &c)
{
    c.send(rrq("kov-1-rev7.hex"), 69);
    QByteArray received;
    for (quint16 k = 1;; ++k) {
        QNetworkDatagram d = c.next();
        // Retransmissions of the block before may still be on their way.
        while (opcodeOf(d.data()) == 3 && blockOf(d.data()) == k - 1)
            d = c.next();
        if (opcodeOf(d.data()) != 3 || blockOf(d.data()) != k)
            return QByteArray("<failed at block ") + QByteArray::number(k) + '>';
        received += d.data().mid(4);
        c.send(ack(k), quint16(d.senderPort()));
        if (d.data().size() < 516)
            return received;
    }
}

void TestTftpAbuse::burstOfRequests()
{
    Client control;
    Client unknown;
    constexpr int unknownRequests = 2500;
    constexpr int vanishingClients = 100;
    constexpr int requestsEach = 25;
    int syncs = 0;
    ChildCounter created;
    server->installEventFilter(&created);

    for (int i = 0; i < unknownRequests; ++i) {
        unknown.send(rrq("missing-" + QByteArray::number(i) + ".hex"), 69);
        if (i % 50 == 49) {
            QVERIFY(sync(control));
            ++syncs;
        }
    }
    // Kept open until the burst is over: a closed client's port could be
    // handed to the next one, whose requests would then be resends.
    std::vector<std::unique_ptr<Client>> vanishing;
    for (int c = 0; c < vanishingClients; ++c) {
        Client &gone = *vanishing.emplace_back(std::make_unique<Client>());
        for (int i = 0; i < requestsEach; ++i)
            gone.send(rrq("kov-1-rev7.hex"), 69);
        QVERIFY(sync(control));
        ++syncs;
    }
    // The other requests of each client are its resends: one session each.
    const int abandoned = vanishingClients;

    QVERIFY(waitUntil([&] { return events->errors.size() == unknownRequests + syncs; }));
    QCOMPARE(events->errors.count("File not found"), unknownRequests + syncs);
    QCOMPARE(created.added, unknownRequests + syncs + abandoned);
    qInfo("sessions alive after the burst: %d", sessions());
    QVERIFY(sessions() >= abandoned * 9 / 10);

    // A device asking now is served in full while the abandoned transfers
    // resend into the void.
    Client device;
    const int doneBefore = events->done.size();
    QCOMPARE(fetch(device), builtIn);
    QVERIFY(waitUntil([&] { return events->done.size() == doneBefore + 1; }));

    // Every abandoned transfer gives up at its sixth timeout, about 6 s on.
    QVERIFY(waitUntil([&] { return sessions() == 0; }, 30000));
    QCOMPARE(events->errors.count("Too many retries"), abandoned);
    QCOMPARE(events->done.size(), 1);
}

void TestTftpAbuse::garbageDuringTransfers()
{
    QRandomGenerator random(20261207);
    Client junk;
    Client a;
    Client b;

    a.send(rrq("kov-1-rev7.hex"), 69);
    b.send(rrq("kov-1-rev7.hex"), 69);
    QNetworkDatagram da = a.next();
    QNetworkDatagram db = b.next();
    QCOMPARE(blockOf(da.data()), quint16(1));
    QCOMPARE(blockOf(db.data()), quint16(1));
    const quint16 portA = quint16(da.senderPort());
    const quint16 portB = quint16(db.senderPort());

    QByteArray received = da.data().mid(4);
    int junkSent = 0;
    for (quint16 k = 1; da.data().size() == 516; ++k) {
        for (int i = 0; i < 3; ++i) {
            junk.send(garbage(random), 69);
            junk.send(garbage(random), portA);
            b.send(garbage(random), portB); // from B's own port: may end B
            junkSent += 3;
        }
        a.send(ack(k), portA);
        da = a.next();
        QCOMPARE(opcodeOf(da.data()), quint16(3));
        QCOMPARE(blockOf(da.data()), quint16(k + 1));
        received += da.data().mid(4);
    }
    QCOMPARE(received, builtIn);
    a.send(ack(blockOf(da.data())), portA);
    QVERIFY(waitUntil([&] { return events->done.size() >= 1; }));
    QVERIFY(events->done.contains(QHostAddress(QHostAddress::LocalHost)));
    qInfo("%d junk datagrams; %d debug lines; %d errors reported", junkSent, debugLines,
          int(events->errors.size()));

    // The server still serves a clean request afterwards.
    Client after;
    QCOMPARE(fetch(after), builtIn);
}

void TestTftpAbuse::garbageFedDirectly()
{
    QRandomGenerator random(7);
    Client sink;
    server->stop();

    for (int i = 0; i < 20000; ++i)
        server->handleDatagram(garbage(random), QHostAddress::LocalHost, sink.port());
    QVERIFY(waitUntil([&] { return sessions() == 0; }, 10000));

    // A live transfer fed junk from its own client: it may end, never crash.
    FirmwareStore store;
    store.insert("x", FirmwareInfo{"1", "x", QByteArray(5000, 'x')});
    for (int round = 0; round < 200; ++round) {
        QHostAddress peer = QHostAddress::LocalHost;
        QString name = "x";
        auto *session = new TFTPConnection(&store, peer, sink.port(), name, server);
        session->begin();
        for (int i = 0; i < 20; ++i)
            session->handlePacket(garbage(random), peer, sink.port());
        session->handlePacket(ack(1), peer, sink.port());
    }
    delete server;
    server = nullptr;
    QVERIFY(sink.socket.isValid());
}

QTEST_GUILESS_MAIN(TestTftpAbuse)
#include "tst_tftpabuse.moc"
