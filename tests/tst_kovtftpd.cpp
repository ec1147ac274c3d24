#include <QtTest>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUdpSocket>

#include "firmwaretestutil.h"
#include "tftpdserver.h"
#include "tftptestclient.h"

using namespace TftpTest;

// The kov-tftpd program, run as a process and fetched from by tftp-hpa.
class TestKovTftpd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void servesBuiltInImage();
    void servesGivenFileUnderName();
    void refusesBadFile_data();
    void refusesBadFile();
    void portTaken();
    void peerTextEscaped();

private:
    bool waitForLine(QProcess &p, const QByteArray &line);
    QByteArray fetchWithTftp(quint16 port, const QString &name, int *exitCode);

    QByteArray builtIn;
    QTemporaryDir dir;
    QByteArray output;
};

void TestKovTftpd::initTestCase()
{
    QVERIFY(dir.isValid());
    builtIn = FirmwareTest::builtInImage();
    QVERIFY(!builtIn.isEmpty());
}

bool TestKovTftpd::waitForLine(QProcess &p, const QByteArray &line)
{
    return waitUntil(
        [&] {
            output += p.readAllStandardOutput();
            return output.split('\n').contains(line);
        },
        20000);
}

QByteArray TestKovTftpd::fetchWithTftp(quint16 port, const QString &name, int *exitCode)
{
    const QString out = dir.filePath("fetched");
    QFile::remove(out);
    QProcess tftp;
    tftp.start("tftp",
               {"127.0.0.1", QString::number(port), "-m", "binary", "-c", "get", name, out});
    tftp.waitForFinished(20000);
    *exitCode = tftp.exitCode();
    QFile file(out);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestKovTftpd::servesBuiltInImage()
{
    output.clear();
    QProcess server;
    server.start(KOV_TFTPD, {});
    QVERIFY(
        waitForLine(server, "listening on UDP port 69, serving kov-1-rev7.hex (version 1.7.0)"));
    int code = -1;
    QCOMPARE(fetchWithTftp(69, "kov-1-rev7.hex", &code), builtIn);
    QCOMPARE(code, 0);
    QVERIFY(waitForLine(server, "127.0.0.1 done"));
    QVERIFY(output.contains("127.0.0.1 progress 0\n"));
    QVERIFY(output.contains("127.0.0.1 progress 50\n"));
    QVERIFY(output.contains("127.0.0.1 progress 100\n"));

    fetchWithTftp(69, "nothing.hex", &code);
    QVERIFY(waitForLine(server, "127.0.0.1 error File not found"));
    server.kill();
    server.waitForFinished();
}

void TestKovTftpd::servesGivenFileUnderName()
{
    const QByteArray hex = ":0400000001020304F2\r\n:00000001FF\r\n";
    QFile file(dir.filePath("small.hex"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(hex);
    file.close();

    output.clear();
    QProcess server;
    server.start(KOV_TFTPD, {"--port", "6969", "--file", file.fileName(), "--name", "t.hex"});
    QVERIFY(waitForLine(server, "listening on UDP port 6969, serving t.hex (version small.hex)"));
    int code = -1;
    QCOMPARE(fetchWithTftp(6969, "t.hex", &code), hex);
    QVERIFY(waitForLine(server, "127.0.0.1 done"));
    // The built-in image stays available under its own name.
    QCOMPARE(fetchWithTftp(6969, "kov-1-rev7.hex", &code), builtIn);
    server.kill();
    server.waitForFinished();
}

void TestKovTftpd::refusesBadFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("reason");

    QTest::newRow("bad checksum") << QByteArray(":0400000001020304F3\r\n:00000001FF\r\n")
                                  << QByteArray("line 1: bad checksum");
    QTest::newRow("html page") << QByteArray("<html>404</html>\n")
                               << QByteArray("line 1: record does not start with ':'");
}

void TestKovTftpd::refusesBadFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, reason);
    QFile file(dir.filePath("bad.hex"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();

    QProcess server;
    server.start(KOV_TFTPD, {"--port", "6970", file.fileName()});
    QVERIFY(server.waitForFinished(10000));
    QCOMPARE(server.exitCode(), 2);
    QVERIFY(server.readAllStandardError().contains(reason));
}

void TestKovTftpd::portTaken()
{
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::AnyIPv4, 69, QUdpSocket::DontShareAddress));
    QProcess server;
    server.start(KOV_TFTPD, {});
    QVERIFY(server.waitForFinished(10000));
    QCOMPARE(server.exitCode(), 1);
    const QByteArray err = server.readAllStandardError();
    QVERIFY2(err.contains("cannot bind UDP port 69: The bound address is already in use"),
             err.constData());
}

void TestKovTftpd::peerTextEscaped()
{
    // Names and ERROR texts from the network reach the terminal escaped.
    output.clear();
    QProcess server;
    server.start(KOV_TFTPD, {"--port", "6971"});
    QVERIFY(
        waitForLine(server, "listening on UDP port 6971, serving kov-1-rev7.hex (version 1.7.0)"));
    Client client;
    QVERIFY(client.bound);
    client.send(rrq("\x1b[2J"), 6971);
    QVERIFY(waitForLine(server, "127.0.0.1 error File not found"));
    QCOMPARE(opcodeOf(client.next().data()), quint16(5));

    client.send(rrq("kov-1-rev7.hex"), 6971);
    const QNetworkDatagram first = client.next();
    QCOMPARE(opcodeOf(first.data()), quint16(3));
    client.send(errorPacket(0, "\x1b]0;owned\x07"), quint16(first.senderPort()));
    QVERIFY(waitForLine(server, "127.0.0.1 error \\x1b]0;owned\\x07"));

    server.kill();
    server.waitForFinished();
    const QByteArray err = server.readAllStandardError();
    QVERIFY2(err.contains("\\x1b[2J\n"), err.constData());
    QVERIFY(!err.contains('\x1b') && !output.contains('\x1b'));
}

QTEST_GUILESS_MAIN(TestKovTftpd)
#include "tst_kovtftpd.moc"
