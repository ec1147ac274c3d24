#include <QtTest>

#include <QElapsedTimer>
#include <QProcess>

#include "firmwaretestutil.h"
#include "intelhex.h"
#include "tftppacket.h"

namespace {

const QByteArray eof = ":00000001FF";
const QByteArray data1 = FirmwareTest::hexRecord(0, 0x0100, "\x01\x02\x03\x04");
const QByteArray data2 = FirmwareTest::hexRecord(0, 0x0104, "\xaa\xbb");

}

class TestIntelHex : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void accepted_data();
    void accepted();
    void refused_data();
    void refused();
    void builtInImage();
    void generatorIsDeterministic();
    void largeFile();
};

void TestIntelHex::initTestCase()
{
    Q_INIT_RESOURCE(resources);
}

void TestIntelHex::accepted_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("end-of-file record only") << eof + "\r\n";
    QTest::newRow("CR LF line ends") << data1 + "\r\n" + data2 + "\r\n" + eof + "\r\n";
    QTest::newRow("LF line ends") << data1 + "\n" + data2 + "\n" + eof + "\n";
    QTest::newRow("mixed line ends") << data1 + "\r\n" + data2 + "\n" + eof + "\r\n";
    QTest::newRow("no line end after the last record") << data1 + "\r\n" + eof;
    QTest::newRow("blank line ends after the end") << data1 + "\n" + eof + "\r\n\r\n\n";
    QTest::newRow("lower-case digits") << data1.toLower().replace("x", "X") + "\n" + eof + "\n";
    QTest::newRow("every record type")
        << FirmwareTest::hexRecord(2, 0, QByteArray("\x10\x00", 2)) + "\n"
               + FirmwareTest::hexRecord(3, 0, QByteArray("\x00\x00\x01\x00", 4)) + "\n"
               + FirmwareTest::hexRecord(4, 0, QByteArray("\x08\x00", 2)) + "\n"
               + FirmwareTest::hexRecord(5, 0, QByteArray("\x08\x00\x01\x00", 4)) + "\n" + data1
               + "\n" + eof + "\n";
    QTest::newRow("lower-case end-of-file record") << data1 + "\n:00000001ff\n";
    QTest::newRow("255-byte data record")
        << FirmwareTest::hexRecord(0, 0, QByteArray(255, 'k')) + "\n" + eof;
}

void TestIntelHex::accepted()
{
    QFETCH(QByteArray, bytes);
    QCOMPARE(IntelHex::problem(bytes), QString());
}

void TestIntelHex::refused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");

    QByteArray badSum = data2;
    badSum.chop(1);
    badSum.append(data2.endsWith('0') ? '1' : '0');

    QTest::newRow("empty file") << QByteArray() << "empty file";
    QTest::newRow("no end-of-file record") << data1 + "\r\n"
                                           << "no end-of-file record";
    QTest::newRow("html page instead of hex")
        << QByteArray("<html><body>Not found</body></html>\n")
        << "line 1: record does not start with ':'";
    QTest::newRow("bad checksum on line 2")
        << data1 + "\r\n" + badSum + "\r\n" + eof << "line 2: bad checksum";
    QTest::newRow("odd number of digits")
        << data1.left(data1.size() - 1) + "\n" + eof << "line 1: odd number of hex digits";
    QTest::newRow("not a hex digit")
        << QByteArray(data1).replace(3, 1, "G") + "\n" + eof << "line 1: not a hex digit";
    QTest::newRow("record too short") << QByteArray(":0000\n") + eof << "line 1: record too short";
    QTest::newRow("length byte too big") << QByteArray(data1).replace(1, 2, "05") + "\n" + eof
                                         << "line 1: length byte does not match the record";
    QTest::newRow("unknown record type 06")
        << FirmwareTest::hexRecord(6, 0, "") + "\n" + eof << "line 1: unknown record type 06";
    QTest::newRow("extended address of wrong length")
        << FirmwareTest::hexRecord(4, 0, "\x08") + "\n" + eof
        << "line 1: record of type 04 must carry 2 bytes";
    QTest::newRow("end-of-file record at another address")
        << FirmwareTest::hexRecord(1, 0x0001, "") + "\n"
        << "line 1: bad end-of-file record";
    QTest::newRow("data after the end-of-file record")
        << eof + "\r\n" + data1 + "\r\n"
        << "line 2: data after the end-of-file record";
    QTest::newRow("text after blank lines after the end")
        << eof + "\r\n\r\n\nx"
        << "line 4: data after the end-of-file record";
    QTest::newRow("blank line between records")
        << data1 + "\r\n\r\n" + eof << "line 2: empty line";
    QTest::newRow("stray carriage return")
        << data1 + "\r" + data2 + "\n" + eof << "line 1: stray carriage return";
    QTest::newRow("trailing blank on a record")
        << data1 + " \n" + eof << "line 1: odd number of hex digits";
    QTest::newRow("leading blank on a record")
        << " " + data1 + "\n" + eof << "line 1: record does not start with ':'";
}

void TestIntelHex::refused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    QCOMPARE(IntelHex::problem(bytes), reason);
}

void TestIntelHex::builtInImage()
{
    const QByteArray bytes = FirmwareTest::builtInImage();
    QCOMPARE(bytes.size(), 161302);
    QCOMPARE(IntelHex::problem(bytes), QString());
    QVERIFY(bytes.endsWith(":00000001FF\r\n"));
    QVERIFY(bytes.contains(":020000040801F1\r\n"));
    QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
}

void TestIntelHex::generatorIsDeterministic()
{
    const QByteArray builtIn = FirmwareTest::builtInImage();
    QVERIFY(!builtIn.isEmpty());

    QProcess generator;
    generator.start("python3", {KOV_MAKE_FIRMWARE});
    QVERIFY2(generator.waitForFinished(60000), qPrintable(generator.errorString()));
    QCOMPARE(generator.exitCode(), 0);
    QCOMPARE(generator.readAllStandardOutput(), builtIn);
}

void TestIntelHex::largeFile()
{
    // About 30 MB of records, then one bad record near the end.
    const QByteArray line = FirmwareTest::hexRecord(0, 0x1234, QByteArray(32, '\x5a')) + "\r\n";
    const int lines = 30'000'000 / line.size();
    QByteArray bytes;
    bytes.reserve(lines * line.size() + 32);
    for (int i = 0; i < lines; ++i)
        bytes.append(line);
    bytes.append(eof + "\r\n");

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(IntelHex::problem(bytes), QString());
    qInfo("checked %lld bytes in %lld ms", qint64(bytes.size()), clock.elapsed());

    bytes[qsizetype(lines - 1) * line.size() + 9] = 'F';
    QCOMPARE(IntelHex::problem(bytes), QStringLiteral("line %1: bad checksum").arg(lines));

    QCOMPARE(IntelHex::problem(QByteArray(Tftp::MaxImageSize, '\n')),
             QStringLiteral("file too large to serve by TFTP (33553920 bytes, limit 33553919)"));
}

QTEST_GUILESS_MAIN(TestIntelHex)
#include "tst_intelhex.moc"
