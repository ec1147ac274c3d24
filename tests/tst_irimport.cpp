#include "irimport.h"

#include <QtTest>

// Each importer's table: a file as integrators get them (written here, in
// the shape of the public collections), the codes that come out as
// "Equipment/Name=protocol device subdevice function" or
// "Equipment/Name=pronto WORDS", and the skips, in order.
class tst_IRImport : public QObject
{
    Q_OBJECT

private slots:
    void read_data();
    void read();
    void malformed_data();
    void malformed();
    void detect_data();
    void detect();
};

namespace {

QStringList describe(const IRImport::Result &result)
{
    QStringList out;
    for (const IRImport::Code &c : result.codes) {
        QString text = c.equipment + QLatin1Char('/') + c.name + QLatin1Char('=');
        if (c.protocol.isEmpty())
            text += QStringLiteral("pronto ") + c.pronto;
        else
            text += QStringLiteral("%1 %2 %3 %4")
                        .arg(c.protocol)
                        .arg(c.device)
                        .arg(c.subdevice)
                        .arg(c.function);
        out << text;
    }
    return out;
}

const char NecRemote[] = "# LG television, written by hand\n"
                         "begin remote\n"
                         "  name  LivingRoomTV\n"
                         "  bits           16\n"
                         "  flags SPACE_ENC|CONST_LENGTH\n"
                         "  eps            30\n"
                         "  header       9000  4500\n"
                         "  one           560  1690\n"
                         "  zero          560   560\n"
                         "  ptrail        560\n"
                         "  repeat       9000  2250\n"
                         "  pre_data_bits   16\n"
                         "  pre_data       0x20DF\n"
                         "  gap          108000\n"
                         "  begin codes\n"
                         "      KEY_POWER      0x10EF   # the red one\n"
                         "      KEY_MUTE       0x906F\n"
                         "      KEY_MACRO      0x10EF 0x906F\n"
                         "  end codes\n"
                         "end remote\n";

} // namespace

void tst_IRImport::read_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("equipment");
    QTest::addColumn<QStringList>("codes");
    QTest::addColumn<QStringList>("skipped");

    QTest::newRow("csv: NEC is sent as nec1, Sony12 as sirc12, NECx2 kept")
        << "csv"
        << QByteArray("functionname,protocol,device,subdevice,function\n"
                      "POWER,NECx2,7,7,2\r\n"
                      "KEY 1,Sony12,1,-1,0\n"
                      "\"VOL +\",nec,4,-1,2\n"
                      "INPUT HDMI 1,Panasonic,128,4,176\n"
                      "TV GUIDE + INFO,RC5,3,-1,45\n")
        << "Lobby TV"
        << QStringList{"Lobby TV/POWER=necx2 7 7 2", "Lobby TV/KEY 1=sirc12 1 -1 0",
                       "Lobby TV/VOL +=nec1 4 -1 2", "Lobby TV/INPUT HDMI 1=panasonic 128 4 176",
                       "Lobby TV/TV GUIDE + INFO=rc5 3 -1 45"}
        << QStringList();
    QTest::newRow("csv: unsupported protocols counted, bad rows named")
        << "csv"
        << QByteArray("FunctionName,Protocol,Device,Subdevice,Function\n"
                      "POWER,Aiwa,110,-1,0\n"
                      "MUTE,aiwa,110,-1,1\n"
                      "OPEN,Denon{1},2,-1,3\n"
                      ",NEC1,4,-1,8\n"
                      "POWER,nec1,4,-1,8\n"
                      "power,NEC1,4,-1,9\n"
                      "EJECT,RC5,40,-1,1\n"
                      "STOP,RC5,4,2,1\n")
        << "" << QStringList{"4,-1/POWER=nec1 4 -1 8"}
        << QStringList{"2 codes in protocol Aiwa: not supported",
                       "1 code in protocol Denon{1}: not supported",
                       "line 5: the code has no name",
                       "line 7: \"power\" is already in \"4,-1\" (line 6)",
                       "line 8: rc5: device must be 0 to 31",
                       "line 9: rc5: rc5 has no subdevice"};

    QTest::newRow("lirc: NEC-shaped codes become parameters, sequences named")
        << "lirc" << QByteArray(NecRemote) << ""
        << QStringList{"LivingRoomTV/KEY_POWER=nec1 4 -1 8", "LivingRoomTV/KEY_MUTE=nec1 4 -1 9"}
        << QStringList{"line 18: KEY_MACRO: a sequence of 2 codes: not supported"};
    QTest::newRow("lirc: RC5 with plead, REVERSE pulse-distance, raw codes")
        << "lirc"
        << QByteArray("begin remote\n"
                      "  name Amp\n"
                      "  bits 13\n"
                      "  flags RC5|CONST_LENGTH\n"
                      "  one 889 889\n"
                      "  zero 889 889\n"
                      "  plead 889\n"
                      "  gap 113792\n"
                      "  frequency 36000\n"
                      "  begin codes\n"
                      "    KEY_VOLUMEUP 0x1010\n"
                      "  end codes\n"
                      "end remote\n"
                      "begin remote\n"
                      "  name Fan\n"
                      "  bits 8\n"
                      "  flags SPACE_ENC|REVERSE\n"
                      "  header 2000 1000\n"
                      "  one 500 1500\n"
                      "  zero 500 500\n"
                      "  ptrail 500\n"
                      "  gap 40000\n"
                      "  begin codes\n"
                      "    KEY_SPEED 0x01\n"
                      "  end codes\n"
                      "end remote\n"
                      "begin remote\n"
                      "  name Blind\n"
                      "  flags RAW_CODES\n"
                      "  frequency 40000\n"
                      "  gap 20000\n"
                      "  begin raw_codes\n"
                      "    name UP\n"
                      "      1000 500 1000\n"
                      "      500 1000\n"
                      "  end raw_codes\n"
                      "end remote\n"
                      "begin remote\n"
                      "  name Old\n"
                      "  flags GRUNDIG\n"
                      "  begin codes\n"
                      "    A 0x1\n"
                      "    B 0x2\n"
                      "  end codes\n"
                      "end remote\n")
        << ""
        << QStringList{"Amp/KEY_VOLUMEUP=rc5 0 -1 16",
                       // 2000/1000 at 38 kHz: 76, 38 cycles; bits 1,0,0,0,0,0,0,0.
                       "Fan/KEY_SPEED=pronto 0000 006D 0000 000A 004C 0026 0013 0039 0013 0013 "
                       "0013 0013 0013 0013 0013 0013 0013 0013 0013 0013 0013 0013 0013 05F0",
                       "Blind/UP=pronto 0000 0067 0000 0003 0028 0014 0028 0014 0028 0320"}
        << QStringList{"line 38: remote \"Old\": 2 codes in encoding GRUNDIG: not supported"};

    QTest::newRow("flipper: parsed and raw signals")
        << "flipper"
        << QByteArray("Filetype: IR signals file\n"
                      "Version: 1\n"
                      "# \n"
                      "name: Power\n"
                      "type: parsed\n"
                      "protocol: NEC\n"
                      "address: 04 00 00 00\n"
                      "command: 08 00 00 00\n"
                      "# \n"
                      "name: Vol_up\n"
                      "type: parsed\n"
                      "protocol: Samsung32\n"
                      "address: 07 00 00 00\n"
                      "command: 07 00 00 00\n"
                      "# \n"
                      "name: Ch_next\n"
                      "type: parsed\n"
                      "protocol: NECext\n"
                      "address: 00 7F 00 00\n"
                      "command: 15 EA 00 00\n"
                      "# \n"
                      "name: Input\n"
                      "type: parsed\n"
                      "protocol: Kaseikyo\n"
                      "address: 80 02 20 00\n"
                      "command: D0 03 00 00\n"
                      "# \n"
                      "name: Mode\n"
                      "type: raw\n"
                      "frequency: 38000\n"
                      "duty_cycle: 0.330000\n"
                      "data: 1000 500 1000\n")
        << "Bedroom TV"
        << QStringList{"Bedroom TV/Power=nec1 4 -1 8", "Bedroom TV/Vol_up=samsung32 7 7 7",
                       "Bedroom TV/Ch_next=nec1 0 127 21",
                       "Bedroom TV/Mode=pronto 0000 006D 0000 0002 0026 0013 0026 0ED8"}
        << QStringList{"1 code in protocol Kaseikyo: not supported"};

    QTest::newRow("pronto: names, bare codes, short forms, bad lines")
        << "pronto"
        << QByteArray("# projector codes from the manual\n"
                      "Power on: 0000 006d 0000 0001  0020 0020\n"
                      "Standby,0000 006D 0000 0001 0020 0040\n"
                      "0000 0073 0000 0001 0020 0020\n"
                      "Volume: 5000 0073 0000 0001 0001 0010\n"
                      "Mute: 900A 006D 0000 0001 04FB 08F7\n"
                      "Input: 0000 0073 0000 0002 0020\n"
                      "see the manual\n")
        << "Projector"
        << QStringList{"Projector/Power on=pronto 0000 006D 0000 0001 0020 0020",
                       "Projector/Standby=pronto 0000 006D 0000 0001 0020 0040",
                       "Projector/Code 1=pronto 0000 0073 0000 0001 0020 0020",
                       "Projector/Volume=rc5 1 -1 16"}
        << QStringList{"line 6: Pronto format 900A: not supported", "line 7: not a Pronto code",
                       "line 8: not a Pronto code"};
}

void tst_IRImport::read()
{
    QFETCH(QString, format);
    QFETCH(QByteArray, file);
    QFETCH(QString, equipment);
    QFETCH(QStringList, codes);
    QFETCH(QStringList, skipped);
    IRImport::Format f = IRImport::Format::Auto;
    QVERIFY(IRImport::parseFormat(format, &f));
    const IRImport::Result result = IRImport::read(file, f, QStringLiteral("/tmp/4,-1.csv"),
                                                   equipment);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(describe(result), codes);
    QCOMPARE(result.skipped, skipped);
    int counted = 0;
    for (int n : result.perProtocol)
        counted += n;
    QCOMPARE(counted, codes.size());
}

void tst_IRImport::malformed_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("error");
    QTest::newRow("csv: wrong header")
        << "csv" << QByteArray("name,code\nPOWER,1\n")
        << "line 1: the header is not functionname,protocol,device,subdevice,function";
    QTest::newRow("csv: a device that is not a number")
        << "csv"
        << QByteArray(
               "functionname,protocol,device,subdevice,function\nA,NEC,4,-1,8\nB,NEC,x,-1,8\n")
        << "line 3: device \"x\" is not a number";
    QTest::newRow("csv: an unclosed quote")
        << "csv" << QByteArray("functionname,protocol,device,subdevice,function\n\"A,NEC,4,-1,8\n")
        << "line 2: a quoted field is never closed";
    QTest::newRow("lirc: a remote never ended")
        << "lirc" << QByteArray("begin remote\n  name A\n  begin codes\n    K 0x1\n  end codes\n")
        << "line 1: the remote begun here is not ended";
    QTest::newRow("lirc: a code that is not a number")
        << "lirc" << QByteArray(NecRemote).replace("0x906F", "0xZZ")
        << "line 17: \"0xZZ\" is not a code";
    QTest::newRow("lirc: text outside a remote")
        << "lirc" << QByteArray("name A\n") << "line 1: \"name A\" outside a begin remote block";
    QTest::newRow("flipper: no header") << "flipper" << QByteArray("name: Power\ntype: parsed\n")
                                        << "line 1: no \"Filetype: IR signals file\" header";
    QTest::newRow("flipper: a line without a key")
        << "flipper"
        << QByteArray("Filetype: IR signals file\nVersion: 1\nname: A\nprotocol NEC\n")
        << "line 4: not a \"key: value\" line";
}

void tst_IRImport::malformed()
{
    QFETCH(QString, format);
    QFETCH(QByteArray, file);
    QFETCH(QString, error);
    IRImport::Format f = IRImport::Format::Auto;
    QVERIFY(IRImport::parseFormat(format, &f));
    const IRImport::Result result = IRImport::read(file, f, QStringLiteral("codes"), QString());
    QVERIFY(!result.ok);
    QCOMPARE(result.error, error);
    QVERIFY(result.codes.isEmpty());
}

void tst_IRImport::detect_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("format");
    QTest::newRow("csv header, any name")
        << QByteArray("functionname,protocol,device,subdevice,function\n") << "x.txt"
        << "csv";
    QTest::newRow("lirc after comments") << QByteArray(NecRemote) << "lg"
                                         << "lirc";
    QTest::newRow("ir header") << QByteArray("Filetype: IR signals file\n") << "tv.txt"
                               << "flipper";
    QTest::newRow("by suffix: .conf") << QByteArray("\n") << "tv.lircd.conf"
                                      << "lirc";
    QTest::newRow("anything else: pronto") << QByteArray("0000 006D 0000 0000\n") << "codes.txt"
                                           << "pronto";
}

void tst_IRImport::detect()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, fileName);
    QFETCH(QString, format);
    QCOMPARE(IRImport::formatName(IRImport::detect(file, fileName)), format);
}

QTEST_GUILESS_MAIN(tst_IRImport)
#include "tst_irimport.moc"
