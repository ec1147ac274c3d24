#include "irdecoder.h"
#include "irprotocols.h"

#include <QtTest>

// The Pronto words below are worked out by hand from each protocol's IRP:
// the carrier word is 4145146 / carrier rounded, each duration its length
// in those carrier periods rounded, and a "^T" lead-out brings its frame
// to round(T / period) periods. NEC1 at 38.4k: word 006C (period 26.055
// us), 564 us -> 0016, 1692 -> 0041, 9024 -> 015A, 4512 -> 00AD, 108 ms ->
// 4145 periods. JVC 37.9k: 006D, 527 -> 0014, 1581 -> 003C. Panasonic 37k:
// 0070, 432 -> 0010. Sharp/Denon 38k: 006D, 264 -> 000A, 792 -> 001E,
// 1848 -> 0046, 67 ms -> 2548. RCA 58k: 0047, 460 -> 001B, 920 -> 0036,
// 1840 -> 006B.
class tst_IRProtocols : public QObject
{
    Q_OBJECT

private slots:
    void builtAndReadBack_data();
    void builtAndReadBack();
    void renderRefuses_data();
    void renderRefuses();
    void fromCcfNeedsTheSameWords();
};

namespace {

// 32 NEC-family bits of device 4, subdevice 251 (the default), function 8
// and its complement, least significant bit first.
const char *const Nec4x8 = "0016 0016 0016 0016 0016 0041 0016 0016 0016 0016 0016 0016 0016 0016 "
                           "0016 0016 0016 0041 0016 0041 0016 0016 0016 0041 0016 0041 0016 0041 "
                           "0016 0041 0016 0041 0016 0016 0016 0016 0016 0016 0016 0041 0016 0016 "
                           "0016 0016 0016 0016 0016 0016 0016 0041 0016 0041 0016 0041 0016 0016 "
                           "0016 0041 0016 0041 0016 0041 0016 0041";

QString nec(const char *header, const char *leader, const char *tail)
{
    return QLatin1String(header) + QLatin1Char(' ') + QLatin1String(leader) + QLatin1Char(' ')
           + QLatin1String(Nec4x8) + QLatin1Char(' ') + QLatin1String(tail);
}

} // namespace

void tst_IRProtocols::builtAndReadBack_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("device");
    QTest::addColumn<int>("subdevice");
    QTest::addColumn<int>("function");
    QTest::addColumn<QString>("words"); // empty: not checked word by word
    QTest::addColumn<QString>("text");
    const auto row = [](const char *name, const char *protocol, int d, int s, int f,
                        const QString &words, const char *text) {
        QTest::newRow(name) << protocol << d << s << f << words << text;
    };

    // Lead-outs: 4145 - 2637 = 1508 (05E4); ditto 4145 - 346 - 87 - 22 = 3690 (0E6A).
    row("nec1 4/8", "nec1", 4, -1, 8,
        nec("0000 006C 0022 0002", "015A 00AD", "0016 05E4 015A 0057 0016 0E6A"),
        "NEC1: device 4, function 8");
    row("nec1 subdevice 0", "nec1", 90, 0, 255, {}, "NEC1: device 90, subdevice 0, function 255");
    row("nec2 4/8", "nec2", 4, -1, 8, nec("0000 006C 0000 0022", "015A 00AD", "0016 05E4"),
        "NEC2: device 4, function 8");
    row("nec2 255/0", "nec2", 255, -1, 0, {}, "NEC2: device 255, function 0");
    // Ditto: ~D:1 of device 4 is a 1 (0041).
    row("necx1 4/8", "necx1", 4, -1, 8,
        nec("0000 006C 0022 0003", "00AD 00AD", "0016 0691 00AD 00AD 0016 0041 0016 0E6A"),
        "NECx1: device 4, function 8");
    row("necx1 7/7/2", "necx1", 7, 7, 2, {}, "NECx1: device 7, subdevice 7, function 2");
    row("necx2 4/8", "necx2", 4, -1, 8, nec("0000 006C 0000 0022", "00AD 00AD", "0016 0691"),
        "NECx2: device 4, function 8");
    row("necx2 7/7/2", "necx2", 7, 7, 2, {}, "NECx2: device 7, subdevice 7, function 2");
    row("samsung32 4/8: E 0", "samsung32", 4, -1, 8,
        "0000 006C 0022 0003 00AD 00AD 0016 0016 0016 0016 0016 0041 0016 0016 0016 0016 0016 "
        "0016 0016 0016 0016 0016 0016 0041 0016 0041 0016 0016 0016 0041 0016 0041 0016 0041 "
        "0016 0041 0016 0041 0016 0016 0016 0016 0016 0016 0016 0041 0016 0016 0016 0016 0016 "
        "0016 0016 0016 0016 0016 0016 0016 0016 0016 0016 0016 0016 0016 0016 0016 0016 0016 "
        "0016 0016 0016 07BE 00AD 00AD 0016 0041 0016 0E6A",
        "Samsung32: device 4, function 8");
    row("samsung32 7/7/0x1234", "samsung32", 7, 7, 0x1234, {},
        "Samsung32: device 7, subdevice 7, function 4660");
    row("samsung32 with E = ~F is necx1", "samsung32", 7, 7, 0xFD02, {},
        "NECx1: device 7, subdevice 7, function 2");
    // Lead-outs 2247 - 1221 = 1026 (0402) and 1765 - 740 = 1025 (0401).
    row("jvc 4/8", "jvc", 4, -1, 8,
        "0000 006D 0012 0011 0141 00A0 0014 0014 0014 0014 0014 003C 0014 0014 0014 0014 0014 "
        "0014 0014 0014 0014 0014 0014 0014 0014 0014 0014 0014 0014 003C 0014 0014 0014 0014 "
        "0014 0014 0014 0014 0014 0402 0014 0014 0014 0014 0014 003C 0014 0014 0014 0014 0014 "
        "0014 0014 0014 0014 0014 0014 0014 0014 0014 0014 0014 0014 003C 0014 0014 0014 0014 "
        "0014 0014 0014 0014 0014 0401",
        "JVC: device 4, function 8");
    row("jvc 255/255", "jvc", 255, -1, 255, {}, "JVC: device 255, function 255");
    // 2:8, 32:8, D 4, S 1, F 8, check 4^1^8 = 13; -173 units -> 2766 (0ACE).
    row("panasonic 4/1/8", "panasonic", 4, 1, 8,
        "0000 0070 0000 0032 0080 0040 0010 0010 0010 0030 0010 0010 0010 0010 0010 0010 0010 "
        "0010 0010 0010 0010 0010 0010 0010 0010 0010 0010 0010 0010 0010 0010 0010 0010 0030 "
        "0010 0010 0010 0010 0010 0010 0010 0010 0010 0030 0010 0010 0010 0010 0010 0010 0010 "
        "0010 0010 0010 0010 0030 0010 0010 0010 0010 0010 0010 0010 0010 0010 0010 0010 0010 "
        "0010 0010 0010 0010 0010 0010 0010 0010 0010 0030 0010 0010 0010 0010 0010 0010 0010 "
        "0010 0010 0030 0010 0010 0010 0030 0010 0030 0010 0010 0010 0010 0010 0010 0010 0010 "
        "0010 0ACE",
        "Panasonic: device 4, subdevice 1, function 8");
    row("panasonic 160/10/61", "panasonic", 160, 10, 61, {},
        "Panasonic: device 160, subdevice 10, function 61");
    // D:5 F:8 1:2, then D:5 ~F:8 2:2 and the first frame again; lead-outs
    // 2548 - 730 = 1818 (071A) and 2548 - 970 = 1578 (062A).
    row("sharp 4/8", "sharp", 4, -1, 8,
        "0000 006D 0010 0020 000A 001E 000A 001E 000A 0046 000A 001E 000A 001E 000A 001E 000A "
        "001E 000A 001E 000A 0046 000A 001E 000A 001E 000A 001E 000A 001E 000A 0046 000A 001E "
        "000A 071A 000A 001E 000A 001E 000A 0046 000A 001E 000A 001E 000A 0046 000A 0046 000A "
        "0046 000A 001E 000A 0046 000A 0046 000A 0046 000A 0046 000A 001E 000A 0046 000A 062A "
        "000A 001E 000A 001E 000A 0046 000A 001E 000A 001E 000A 001E 000A 001E 000A 001E 000A "
        "0046 000A 001E 000A 001E 000A 001E 000A 001E 000A 0046 000A 001E 000A 071A",
        "Sharp: device 4, function 8");
    row("sharp 31/255", "sharp", 31, -1, 255, {}, "Sharp: device 31, function 255");
    // 0:2 and 3:2: lead-outs 2548 - 690 = 1858 (0742), 2548 - 1010 = 1538 (0602).
    row("denon 4/8", "denon", 4, -1, 8,
        "0000 006D 0010 0020 000A 001E 000A 001E 000A 0046 000A 001E 000A 001E 000A 001E 000A "
        "001E 000A 001E 000A 0046 000A 001E 000A 001E 000A 001E 000A 001E 000A 001E 000A 001E "
        "000A 0742 000A 001E 000A 001E 000A 0046 000A 001E 000A 001E 000A 0046 000A 0046 000A "
        "0046 000A 001E 000A 0046 000A 0046 000A 0046 000A 0046 000A 0046 000A 0046 000A 0602 "
        "000A 001E 000A 001E 000A 0046 000A 001E 000A 001E 000A 001E 000A 001E 000A 001E 000A "
        "0046 000A 001E 000A 001E 000A 001E 000A 001E 000A 001E 000A 001E 000A 0742",
        "Denon: device 4, function 8");
    row("denon 0/0", "denon", 0, -1, 0, {}, "Denon: device 0, function 0");
    // Most significant bit first: 0100, 00001000, 1011, 11110111; -16 units -> 01AE.
    row("rca 4/8", "rca", 4, -1, 8,
        "0000 0047 0000 001A 00D7 00D7 001B 0036 001B 006B 001B 0036 001B 0036 001B 0036 001B "
        "0036 001B 0036 001B 0036 001B 006B 001B 0036 001B 0036 001B 0036 001B 006B 001B 0036 "
        "001B 006B 001B 006B 001B 006B 001B 006B 001B 006B 001B 006B 001B 0036 001B 006B 001B "
        "006B 001B 006B 001B 01AE",
        "RCA: device 4, function 8");
    row("rca 15/255", "rca", 15, -1, 255, {}, "RCA: device 15, function 255");
    // 1 0 0 00101 100100: the second start bit is the inverted function bit 6.
    row("rc5 function 100", "rc5", 5, -1, 100,
        "0000 0073 0000 000A 0040 0020 0020 0020 0020 0020 0020 0040 0040 0040 0020 0020 0040 "
        "0020 0020 0040 0040 0020 0020 1008",
        "RC5: device 5, function 100, toggle 0");
    row("sirc20 with its extended bits", "sirc20", 3, 200, 100, {},
        "SIRC 20: device 3, function 100, extended 200");
    row("nec subdevice 0", "nec", 36, 0, 8, {}, "NEC: device 36, subdevice 0, function 8");
}

void tst_IRProtocols::builtAndReadBack()
{
    QFETCH(QString, protocol);
    QFETCH(int, device);
    QFETCH(int, subdevice);
    QFETCH(int, function);
    QFETCH(QString, words);
    QFETCH(QString, text);

    QString ccf, error;
    QVERIFY2(IRProtocols::render({protocol, device, subdevice, function}, &ccf, &error),
             qPrintable(error));
    if (!words.isEmpty())
        QCOMPARE(ccf, words);
    QCOMPARE(IRDecoder::decode(ccf).text(), text);
    // The parameters read back build the very same words (samsung32 with
    // E = ~F reads back as the same signal's NECx1).
    IRProtocols::Params back;
    QVERIFY(IRProtocols::fromCcf(ccf, &back));
    QString again;
    QVERIFY(IRProtocols::render(back, &again, &error));
    QCOMPARE(again, ccf);
    QCOMPARE(back.device, device);
}

void tst_IRProtocols::renderRefuses_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("device");
    QTest::addColumn<int>("subdevice");
    QTest::addColumn<int>("function");
    QTest::addColumn<QString>("error");

    QTest::newRow("rc5 function 128") << "rc5" << 0 << -1 << 128 << "function must be 0 to 127";
    QTest::newRow("sharp device 32") << "sharp" << 32 << -1 << 0 << "device must be 0 to 31";
    QTest::newRow("rca device 16") << "rca" << 16 << -1 << 0 << "device must be 0 to 15";
    QTest::newRow("nec1 subdevice 256") << "nec1" << 0 << 256 << 0 << "subdevice must be 0 to 255";
    QTest::newRow("panasonic without subdevice")
        << "panasonic" << 0 << -1 << 0 << "subdevice must be 0 to 255";
    QTest::newRow("jvc with a subdevice") << "jvc" << 1 << 2 << 3 << "jvc has no subdevice";
    QTest::newRow("samsung32 function 65536")
        << "samsung32" << 0 << -1 << 65536 << "function must be 0 to 65535";
    QTest::newRow("necx2 device -1") << "necx2" << -1 << -1 << 0 << "device must be 0 to 255";
    QTest::newRow("unknown") << "aiwa" << 0 << -1 << 0 << "unknown protocol \"aiwa\"";
}

void tst_IRProtocols::renderRefuses()
{
    QFETCH(QString, protocol);
    QFETCH(int, device);
    QFETCH(int, subdevice);
    QFETCH(int, function);
    QFETCH(QString, error);

    QString ccf, why;
    QVERIFY(!IRProtocols::render({protocol, device, subdevice, function}, &ccf, &why));
    QCOMPARE(why, error);
}

void tst_IRProtocols::fromCcfNeedsTheSameWords()
{
    QString ccf, error;
    QVERIFY(IRProtocols::render({QStringLiteral("nec1"), 4, -1, 8}, &ccf, &error));
    IRProtocols::Params params;
    // One lead-out period longer still reads as NEC1, but is not what render builds.
    const QString longer = QString(ccf).replace(QLatin1String("05E4"), QLatin1String("05E5"));
    QCOMPARE(IRDecoder::decode(longer).text(), QStringLiteral("NEC1: device 4, function 8"));
    QVERIFY(!IRProtocols::fromCcf(longer, &params));
    QVERIFY(!IRProtocols::fromCcf(QStringLiteral("0000 0073 0000 0001 0020 0020"), &params));
    QCOMPARE(params.protocol, QString());
}

QTEST_GUILESS_MAIN(tst_IRProtocols)
#include "tst_irprotocols.moc"
