#include <QtTest>

#include <QUdpSocket>

#include "tftppacket.h"
#include "tftptestclient.h"

using namespace TftpTest;

class TestTftpPacket : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sendError_data();
    void sendError();
    void sendBlock_data();
    void sendBlock();
    void blockCount_data();
    void blockCount();

private:
    QUdpSocket sender;
    Client receiver;
};

void TestTftpPacket::initTestCase()
{
    QVERIFY(sender.bind(QHostAddress::LocalHost, 0));
    QVERIFY(receiver.bound);
}

void TestTftpPacket::sendError_data()
{
    QTest::addColumn<quint16>("code");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("not supported is 18 bytes")
        << quint16(0) << "Not Supported" << QByteArray("\0\5\0\0Not Supported\0", 18);
    QTest::newRow("file not found is 19 bytes")
        << quint16(0) << "File not found" << QByteArray("\0\5\0\0File not found\0", 19);
    QTest::newRow("empty message") << quint16(0) << "" << QByteArray("\0\5\0\0\0", 5);
    QTest::newRow("code is big-endian") << quint16(0x0102) << "x" << QByteArray("\0\5\1\2x\0", 6);
    QTest::newRow("latin-1 text byte for byte")
        << quint16(0) << QString::fromLatin1("caf\xe9") << QByteArray("\0\5\0\0caf\xe9\0", 9);
}

void TestTftpPacket::sendError()
{
    QFETCH(quint16, code);
    QFETCH(QString, message);
    QFETCH(QByteArray, expected);

    ::sendError(&sender, QHostAddress::LocalHost, receiver.port(), code, message);
    const QNetworkDatagram d = receiver.next();
    QCOMPARE(d.data(), expected);
    QCOMPARE(d.senderPort(), int(sender.localPort()));
}

void TestTftpPacket::sendBlock_data()
{
    QTest::addColumn<int>("imageSize");
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("payload");
    QTest::addColumn<bool>("last");

    QTest::newRow("empty image, block 1") << 0 << 1 << 0 << true;
    QTest::newRow("511 bytes, block 1") << 511 << 1 << 511 << true;
    QTest::newRow("512 bytes, block 1") << 512 << 1 << 512 << false;
    QTest::newRow("512 bytes, block 2 empty") << 512 << 2 << 0 << true;
    QTest::newRow("1024 bytes, block 1") << 1024 << 1 << 512 << false;
    QTest::newRow("1024 bytes, block 2") << 1024 << 2 << 512 << false;
    QTest::newRow("1024 bytes, block 3 empty") << 1024 << 3 << 0 << true;
    QTest::newRow("161302 bytes, block 315") << 161302 << 315 << 512 << false;
    QTest::newRow("161302 bytes, block 316") << 161302 << 316 << 22 << true;
    QTest::newRow("block past the end sends nothing") << 100 << 5 << 0 << true;
}

void TestTftpPacket::sendBlock()
{
    QFETCH(int, imageSize);
    QFETCH(int, block);
    QFETCH(int, payload);
    QFETCH(bool, last);

    QByteArray image(imageSize, Qt::Uninitialized);
    for (int i = 0; i < imageSize; ++i)
        image[i] = char(i * 7 + i / 512);

    QCOMPARE(::sendBlock(&sender, QHostAddress::LocalHost, receiver.port(), quint16(block),
                         &image),
             last);
    const QByteArray d = receiver.next().data();
    QCOMPARE(d.size(), 4 + payload);
    QCOMPARE(opcodeOf(d), quint16(3));
    QCOMPARE(blockOf(d), quint16(block));
    QCOMPARE(d.mid(4), image.mid((block - 1) * 512, payload));
}

void TestTftpPacket::blockCount_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("count");

    QTest::newRow("empty") << qint64(0) << qint64(1);
    QTest::newRow("511") << qint64(511) << qint64(1);
    QTest::newRow("512") << qint64(512) << qint64(2);
    QTest::newRow("1024") << qint64(1024) << qint64(3);
    QTest::newRow("built-in image size") << qint64(161302) << qint64(316);
    QTest::newRow("largest servable") << Tftp::MaxImageSize - 1 << qint64(65535);
    QTest::newRow("first too large") << Tftp::MaxImageSize << qint64(65536);
}

void TestTftpPacket::blockCount()
{
    QFETCH(qint64, size);
    QFETCH(qint64, count);
    QCOMPARE(Tftp::blockCount(size), count);
    QCOMPARE(Tftp::MaxImageSize, qint64(33553920));
}

QTEST_GUILESS_MAIN(TestTftpPacket)
#include "tst_tftppacket.moc"
