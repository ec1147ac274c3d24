#include <QtTest>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "firmwaretestutil.h"
#include "tftpdserver.h"
#include "tftptestclient.h"

using namespace TftpTest;

// Real TFTP clients fetch the built-in image from the server, which runs in
// this test's event loop while the client process runs.
class TestTftpInterop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fetch_data();
    void fetch();
    void unknownName_data();
    void unknownName();

private:
    QByteArray builtIn;
    QTemporaryDir dir;
};

void TestTftpInterop::initTestCase()
{
    QVERIFY(dir.isValid());
    builtIn = FirmwareTest::builtInImage();
    QVERIFY(!builtIn.isEmpty());
    QVERIFY(!QStandardPaths::findExecutable("curl").isEmpty());
    QVERIFY(!QStandardPaths::findExecutable("tftp").isEmpty());
}

void TestTftpInterop::fetch_data()
{
    QTest::addColumn<quint16>("port");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("netascii");

    const QString url = QStringLiteral("tftp://127.0.0.1:%1/kov-1-rev7.hex");
    QTest::newRow("curl, port 69")
        << quint16(69) << "curl" << QStringList{"-s", "-S", url.arg(69), "-o", "%out"} << false;
    QTest::newRow("curl asking for 1024-byte blocks")
        << quint16(69) << "curl"
        << QStringList{"-s", "-S", "--tftp-blksize", "1024", url.arg(69), "-o", "%out"} << false;
    QTest::newRow("curl without options, port 6969")
        << quint16(6969) << "curl"
        << QStringList{"-s", "-S", "--tftp-no-options", url.arg(6969), "-o", "%out"} << false;
    QTest::newRow("tftp-hpa binary, port 69")
        << quint16(69) << "tftp"
        << QStringList{"127.0.0.1", "69", "-m", "binary", "-c", "get", "kov-1-rev7.hex", "%out"}
        << false;
    QTest::newRow("tftp-hpa binary verbose, port 6969")
        << quint16(6969) << "tftp"
        << QStringList{"-v", "127.0.0.1", "6969",           "-m",  "octet",
                       "-c", "get",       "kov-1-rev7.hex", "%out"}
        << false;
    // The server sends the stored bytes in every mode; a netascii client
    // turns their CR LF into its own line ends.
    QTest::newRow("tftp-hpa netascii")
        << quint16(69) << "tftp"
        << QStringList{"127.0.0.1", "69", "-m", "netascii", "-c", "get", "kov-1-rev7.hex", "%out"}
        << true;
}

void TestTftpInterop::fetch()
{
    QFETCH(quint16, port);
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(bool, netascii);

    TFTPDServer server;
    Recorder events(&server);
    server.start(port);
    QCOMPARE(server.localPort(), port);

    const QString out = dir.filePath(
        QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_'));
    arguments.replaceInStrings("%out", out);
    QProcess client;
    client.start(program, arguments);
    QVERIFY(client.waitForStarted());
    QVERIFY(waitUntil([&] { return !events.done.isEmpty() || !events.errors.isEmpty(); }));
    QVERIFY(waitUntil([&] { return client.state() == QProcess::NotRunning; }));
    QCOMPARE(events.done.size(), 1);
    QCOMPARE(client.exitStatus(), QProcess::NormalExit);
    QVERIFY2(client.exitCode() == 0, client.readAllStandardError().constData());

    QCOMPARE(events.errors, QStringList());
    QCOMPARE(events.progress.last(), 100);
    QFile file(out);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray expected = netascii ? QByteArray(builtIn).replace("\r\n", "\n") : builtIn;
    QCOMPARE(file.readAll(), expected);
}

void TestTftpInterop::unknownName_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("curl") << "curl"
                          << QStringList{"-s", "tftp://127.0.0.1/nothing.hex", "-o", "%out"};
    QTest::newRow("tftp-hpa") << "tftp" << QStringList{"127.0.0.1", "-m",          "binary", "-c",
                                                       "get",       "nothing.hex", "%out"};
}

void TestTftpInterop::unknownName()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);

    TFTPDServer server;
    Recorder events(&server);
    server.start();
    arguments.replaceInStrings("%out", dir.filePath("missing"));
    QProcess client;
    client.setProcessChannelMode(QProcess::MergedChannels);
    client.start(program, arguments);
    QVERIFY(client.waitForStarted());
    QVERIFY(waitUntil([&] { return !events.errors.isEmpty(); }));
    QCOMPARE(events.errors, QStringList{"File not found"});
    QVERIFY(waitUntil([&] { return client.state() == QProcess::NotRunning; }));
    const QByteArray output = client.readAll();
    qInfo("%s said: %s", qPrintable(program), output.trimmed().constData());
    if (program == "curl")
        QVERIFY(client.exitCode() != 0);
    else
        QVERIFY(output.contains("File not found"));
    QVERIFY(events.done.isEmpty());
}

QTEST_GUILESS_MAIN(TestTftpInterop)
#include "tst_tftpinterop.moc"
