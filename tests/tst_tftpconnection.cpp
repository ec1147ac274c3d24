#include <QtTest>

#include <QElapsedTimer>
#include <QPointer>

#include "tftpconnection.h"
#include "tftppacket.h"
#include "tftptestclient.h"

using namespace TftpTest;

namespace {

QByteArray image(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 31) ^ (i >> 9));
    return bytes;
}

}

class TestTftpConnection : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void transfer_data();
    void transfer();
    void refusal_data();
    void refusal();
    void repeatedAckDoesNotSkipABlock();
    void staleAckIsIgnored();
    void doneOnlyAfterLastAck();
    void strangerIsIgnored();
    void oddPacketsFromTheClient_data();
    void oddPacketsFromTheClient();
    void clientError_data();
    void clientError();
    void timeoutsCountOverTheWholeTransfer();
    void clientThatNeverAnswers();
    void resendCountsFromTheLatestBlock();

private:
    // Starts a session for name, with signal spies, serving to client.
    TFTPConnection *startSession(const QString &name);
    QNetworkDatagram expectBlock(quint16 block);

    QObject parent;
    FirmwareStore store;
    Client *client = nullptr;
    QPointer<TFTPConnection> session;
    Recorder *events = nullptr;
    quint16 sessionPort = 0;
};

void TestTftpConnection::init()
{
    store.clear();
    client = new Client;
    QVERIFY(client->bound);
}

void TestTftpConnection::cleanup()
{
    delete session;
    delete events;
    events = nullptr;
    delete client;
    client = nullptr;
}

TFTPConnection *TestTftpConnection::startSession(const QString &name)
{
    QHostAddress peer = QHostAddress::LocalHost;
    QString fileName = name;
    session = new TFTPConnection(&store, peer, client->port(), fileName, &parent);
    events = new Recorder(session);
    session->begin();
    return session;
}

QNetworkDatagram TestTftpConnection::expectBlock(quint16 block)
{
    const QNetworkDatagram d = client->next();
    if (opcodeOf(d.data()) != Tftp::DATA || blockOf(d.data()) != block) {
        qWarning("expected DATA %d, got opcode %d block %d (%d bytes)", block, opcodeOf(d.data()),
                 blockOf(d.data()), int(d.data().size()));
        return QNetworkDatagram();
    }
    sessionPort = quint16(d.senderPort());
    return d;
}

void TestTftpConnection::transfer_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("packets");
    QTest::addColumn<int>("lastPayload");
    QTest::addColumn<QList<int>>("firstProgress");

    QTest::newRow("empty image: one empty block") << 0 << 1 << 0 << QList<int>{100};
    QTest::newRow("511 bytes: one block") << 511 << 1 << 511 << QList<int>{100};
    QTest::newRow("512 bytes: full block then empty one") << 512 << 2 << 0 << QList<int>{50, 100};
    QTest::newRow("1024 bytes: 33, 66, 100") << 1024 << 3 << 0 << QList<int>{33, 66, 100};
    QTest::newRow("161302 bytes: 316 blocks, last of 22")
        << 161302 << 316 << 22 << QList<int>{0, 0, 0, 1, 1, 1, 2};
}

void TestTftpConnection::transfer()
{
    QFETCH(int, size);
    QFETCH(int, packets);
    QFETCH(int, lastPayload);
    QFETCH(QList<int>, firstProgress);

    const QByteArray bytes = image(size);
    store.insert("fw.hex", FirmwareInfo{"1.0", "fw.hex", bytes});
    startSession("fw.hex");

    QByteArray received;
    for (int k = 1; k <= packets; ++k) {
        const QNetworkDatagram d = expectBlock(quint16(k));
        QVERIFY(!d.isNull());
        QVERIFY(d.senderPort() != 0);
        const int payload = int(d.data().size()) - 4;
        QCOMPARE(payload, k < packets ? 512 : lastPayload);
        received += d.data().mid(4);
        QCOMPARE(events->progress.count(), k);
        QVERIFY(events->done.isEmpty());
        client->send(ack(quint16(k)), sessionPort);
    }
    QTRY_COMPARE(events->done.count(), 1);
    QCOMPARE(received, bytes);
    QCOMPARE(events->done.at(0), QHostAddress(QHostAddress::LocalHost));
    QVERIFY(events->errors.isEmpty());

    const QList<int> progress = events->progress;
    QCOMPARE(events->progressFrom.count(QHostAddress(QHostAddress::LocalHost)), progress.size());
    QCOMPARE(progress.mid(0, firstProgress.size()), firstProgress);
    QCOMPARE(progress.last(), 100);
    QVERIFY(std::is_sorted(progress.begin(), progress.end()));

    QTRY_VERIFY(session.isNull());
    QVERIFY(!client->hasPending());
}

void TestTftpConnection::refusal_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("unknown name") << "other.hex" << qint64(10)
                                  << QByteArray("\0\5\0\0File not found\0", 19);
    QTest::newRow("image too large for 16-bit blocks")
        << "fw.hex" << Tftp::MaxImageSize << QByteArray("\0\5\0\0File too large\0", 19);
}

void TestTftpConnection::refusal()
{
    QFETCH(QString, name);
    QFETCH(qint64, size);
    QFETCH(QByteArray, expected);

    store.insert("fw.hex", FirmwareInfo{"1.0", "fw.hex", QByteArray(size, 'x')});
    startSession(name);

    const QNetworkDatagram d = client->next();
    QCOMPARE(d.data(), expected);
    QVERIFY(d.senderPort() > 0);
    QCOMPARE(events->errors.count(), 1);
    QCOMPARE(events->errors.at(0), QString::fromLatin1(expected.mid(4, 14)));
    QVERIFY(events->progress.isEmpty());
    QTRY_VERIFY(session.isNull());
    QVERIFY(!client->hasPending());
    QVERIFY(events->done.isEmpty());
}

void TestTftpConnection::repeatedAckDoesNotSkipABlock()
{
    store.insert("fw.hex", FirmwareInfo{"1.0", "fw.hex", image(2048)});
    startSession("fw.hex");
    QVERIFY(!expectBlock(1).isNull());

    QTest::ignoreMessage(QtDebugMsg, "Ignoring ACK of block 1 while waiting for 2");
    client->send(ack(1), sessionPort);
    client->send(ack(1), sessionPort);
    QVERIFY(!expectBlock(2).isNull());
    // Both ACKs were handled in one go: an answer to the second would be
    // queued behind block 2 by now.
    QVERIFY(!client->hasPending());
    client->send(ack(2), sessionPort);
    // Had the repeated ACK counted, block 3 would already be here and this
    // would be block 4.
    QVERIFY(!expectBlock(3).isNull());
    QCOMPARE(events->progress.count(), 3);
}

void TestTftpConnection::staleAckIsIgnored()
{
    store.insert("fw.hex", FirmwareInfo{"1.0", "fw.hex", image(2048)});
    startSession("fw.hex");
    QVERIFY(!expectBlock(1).isNull());
    client->send(ack(1), sessionPort);
    QVERIFY(!expectBlock(2).isNull());

    QTest::ignoreMessage(QtDebugMsg, "Ignoring ACK of block 1 while waiting for 2");
    QTest::ignoreMessage(QtDebugMsg, "Ignoring ACK of block 7 while waiting for 2");
    client->send(ack(1), sessionPort);
    client->send(ack(7), sessionPort);
    client->send(ack(2), sessionPort);
    QVERIFY(!expectBlock(3).isNull());
    QVERIFY(!client->hasPending());
    QCOMPARE(events->progress.count(), 3);
}

void TestTftpConnection::doneOnlyAfterLastAck()
{
    store.insert("fw.hex", FirmwareInfo{"1.0", "fw.hex", image(1024)});
    startSession("fw.hex");
    for (quint16 k = 1; k <= 3; ++k) {
        QVERIFY(!expectBlock(k).isNull());
        if (k < 3)
            client->send(ack(k), sessionPort);
    }
    // The last block is out; a repeated ACK of block 2 must not end it.
    QTest::ignoreMessage(QtDebugMsg, "Ignoring ACK of block 2 while waiting for 3");
    client->send(ack(2), sessionPort);
    client->send(ack(3), sessionPort);
    QTRY_COMPARE(events->done.count(), 1);
    QCOMPARE(events->progress.count(), 3);
    QTRY_VERIFY(session.isNull());

    // Only one done, even when the client repeats its final ACK.
    QCOMPARE(events->done.count(), 1);
}

void TestTftpConnection::strangerIsIgnored()
{
    store.insert("fw.hex", FirmwareInfo{"1.0", "fw.hex", image(1000)});
    startSession("fw.hex");
    QVERIFY(!expectBlock(1).isNull());

    Client stranger;
    QTest::ignoreMessage(QtDebugMsg,
                         qPrintable(QStringLiteral("Packet from incorrect host 127.0.0.1 %1")
                                        .arg(stranger.port())));
    stranger.send(ack(1), sessionPort);
    stranger.send(errorPacket(0, "go away"), sessionPort);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Packet from incorrect host "));

    client->send(ack(1), sessionPort);
    QVERIFY(!expectBlock(2).isNull());
    client->send(ack(2), sessionPort);
    QTRY_COMPARE(events->done.count(), 1);
    QVERIFY(events->errors.isEmpty());
    QVERIFY(!stranger.hasPending());
}

void TestTftpConnection::oddPacketsFromTheClient_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QString>("message");

    QTest::newRow("3 bytes") << QByteArray("\0\4\0", 3) << "Malformed packet 127.0.0.1 %1";
    QTest::newRow("empty") << QByteArray() << "Malformed packet 127.0.0.1 %1";
    QTest::newRow("DATA") << u16(3) + u16(1) + "abc"
                          << "Invalid Opcode 3";
    QTest::newRow("read request") << rrq("fw.hex") << "Invalid Opcode 1";
    QTest::newRow("write request") << u16(2) + "fw.hex"
                                   << "Invalid Opcode 2";
    QTest::newRow("opcode 0x1234") << u16(0x1234) + u16(0) << "Invalid Opcode 4660";
}

void TestTftpConnection::oddPacketsFromTheClient()
{
    QFETCH(QByteArray, packet);
    QFETCH(QString, message);

    store.insert("fw.hex", FirmwareInfo{"1.0", "fw.hex", image(600)});
    startSession("fw.hex");
    QVERIFY(!expectBlock(1).isNull());

    if (message.contains("%1"))
        message = message.arg(client->port());
    QTest::ignoreMessage(QtDebugMsg, qPrintable(message));
    client->send(packet, sessionPort);
    client->send(ack(1), sessionPort);
    QVERIFY(!expectBlock(2).isNull());
    client->send(ack(2), sessionPort);
    QTRY_COMPARE(events->done.count(), 1);
    QVERIFY(events->errors.isEmpty());
}

void TestTftpConnection::clientError_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QString>("reason");

    QTest::newRow("text after the code") << errorPacket(3, "Disk full") << "Disk full";
    QTest::newRow("unterminated text") << u16(5) + u16(0) + "abort"
                                       << "abort";
    QTest::newRow("4 bytes") << u16(5) + u16(2) << "Error opcode received";
    QTest::newRow("5 bytes") << u16(5) + u16(2) + "x"
                             << "Error opcode received";
    QTest::newRow("6 bytes, empty text") << errorPacket(0, "") + '\0' << "";
}

void TestTftpConnection::clientError()
{
    QFETCH(QByteArray, packet);
    QFETCH(QString, reason);

    store.insert("fw.hex", FirmwareInfo{"1.0", "fw.hex", image(2000)});
    startSession("fw.hex");
    QVERIFY(!expectBlock(1).isNull());
    client->send(packet, sessionPort);
    QTRY_COMPARE(events->errors.count(), 1);
    QCOMPARE(events->errors.at(0), reason);
    QTRY_VERIFY(session.isNull());
    QVERIFY(!client->hasPending());
    QVERIFY(events->done.isEmpty());
}

void TestTftpConnection::timeoutsCountOverTheWholeTransfer()
{
    store.insert("fw.hex", FirmwareInfo{"1.0", "fw.hex", image(512 * 10)});
    startSession("fw.hex");

    // One timeout on each of blocks 1 to 5 is survived: the block comes
    // again, with the same progress.
    for (quint16 k = 1; k <= 5; ++k) {
        QVERIFY(!expectBlock(k).isNull());
        QVERIFY(QMetaObject::invokeMethod(session, "retransmitBlock"));
        const QNetworkDatagram again = expectBlock(k);
        QVERIFY(!again.isNull());
        QCOMPARE(events->progress.last(), events->progress.at(events->progress.count() - 2));
        client->send(ack(k), sessionPort);
    }
    QVERIFY(!expectBlock(6).isNull());
    QVERIFY(events->errors.isEmpty());

    // The sixth timeout of the transfer ends it, without a word to the client.
    QVERIFY(QMetaObject::invokeMethod(session, "retransmitBlock"));
    QCOMPARE(events->errors.count(), 1);
    QCOMPARE(events->errors.at(0), QStringLiteral("Too many retries"));
    QTRY_VERIFY(session.isNull());
    QVERIFY(!client->hasPending());
}

void TestTftpConnection::clientThatNeverAnswers()
{
    store.insert("fw.hex", FirmwareInfo{"1.0", "fw.hex", image(1500)});
    QElapsedTimer clock;
    clock.start();
    startSession("fw.hex");

    QList<qint64> arrivals;
    QByteArray first;
    for (int i = 0; i < 6; ++i) {
        const QNetworkDatagram d = client->next(3000);
        QVERIFY2(!d.isNull(), qPrintable(QStringLiteral("copy %1 missing").arg(i + 1)));
        arrivals << clock.elapsed();
        if (i == 0)
            first = d.data();
        QCOMPARE(d.data(), first);
        QCOMPARE(blockOf(d.data()), quint16(1));
    }
    QTRY_COMPARE_WITH_TIMEOUT(events->errors.count(), 1, 3000);
    arrivals << clock.elapsed();
    QCOMPARE(events->errors.at(0), QStringLiteral("Too many retries"));
    QCOMPARE(events->progress.count(), 6);
    QTRY_VERIFY(session.isNull());
    QVERIFY(!client->hasPending());

    QStringList times;
    for (qint64 t : arrivals)
        times << QString::number(t);
    qInfo("block 1 sent at, then failure at (ms): %s", qPrintable(times.join(' ')));
}

// Block 2 goes out well into block 1's second: it is not resent before
// its own second is over.
void TestTftpConnection::resendCountsFromTheLatestBlock()
{
    store.insert("fw.hex", FirmwareInfo{"1.0", "fw.hex", image(1500)});
    startSession("fw.hex");
    QVERIFY(!expectBlock(1).isNull());
    QVERIFY(client->next(600).isNull()); // no resend within the second
    QElapsedTimer sinceAck;
    sinceAck.start();
    client->send(ack(1), sessionPort);
    QVERIFY(!expectBlock(2).isNull());
    const QNetworkDatagram again = client->next(3000);
    QVERIFY(!again.isNull());
    QCOMPARE(blockOf(again.data()), quint16(2));
    QVERIFY2(sinceAck.elapsed() >= 950, qPrintable(QString::number(sinceAck.elapsed())));
    QVERIFY(events->errors.isEmpty());
}

QTEST_GUILESS_MAIN(TestTftpConnection)
#include "tst_tftpconnection.moc"
