#include <QJsonArray>
#include <QJsonDocument>
#include <QUdpSocket>
#include <QtTest>

#include "labtestutil.h"

// The kovctl program against simulated devices: what each command prints,
// which devices hear what (per their logs), and that refused input sends
// nothing at all.
class tst_E2eKovctl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void discover_data();
    void discover();
    void printsAnswer_data();
    void printsAnswer();
    void reachNamedDevices_data();
    void reachNamedDevices();
    void refusedSendsNothing_data();
    void refusedSendsNothing();
    void upgradeThreeOneStaysOld();

private:
    struct Run
    {
        int code = -1;
        QString out;
        QString err;
    };
    Run kovctl(QStringList arguments, const QByteArray &input = QByteArray()) const;
    QList<QJsonObject> commandsOf(int device) const;

    std::unique_ptr<LabTest::Lab> lab;
    QUdpSocket takenPort;
    QStringList names;
    QStringList ips;
    QStringList macs;
};

void tst_E2eKovctl::initTestCase()
{
    lab = std::make_unique<LabTest::Lab>(QStringLiteral(KOV_SIM_PATH));
    QVERIFY2(lab->addSubnet("kbr0", "10.77.0.1/24", true), qPrintable(lab->error()));
    QList<QJsonObject> devices;
    QStringList addresses;
    for (int i = 0; i < 4; ++i) {
        names.append(QStringLiteral("d%1").arg(i));
        ips.append(QStringLiteral("10.77.0.%1").arg(20 + i));
        macs.append(LabTest::mac(0x77, i));
        // d2 restarts into the version it ran before.
        const QJsonObject extra{{"rebootMs", 50}, {"tftpPort", 6969}, {"restartOld", i == 2}};
        devices.append(LabTest::device(names.last(), ips.last(), macs.last(), "1.6.2", extra));
        addresses.append(ips.last() + "/24");
    }
    const int host = lab->addHost("kbr0", addresses);
    QVERIFY2(host >= 0, qPrintable(lab->error()));
    QVERIFY2(lab->startSim(host, devices) >= 0, qPrintable(lab->error()));
    QVERIFY(takenPort.bind(QHostAddress::AnyIPv4, 6970));

    // A device behind a "router": on a link of its own, in a subnet the
    // tool has no address in, so only a unicast beacon reaches it.
    QVERIFY2(lab->addSubnet("kbr1", "10.78.0.1/24", false), qPrintable(lab->error()));
    const int remote = lab->addHost("kbr1", {"10.79.0.5/8"});
    QVERIFY2(remote >= 0, qPrintable(lab->error()));
    QVERIFY2(lab->startSim(remote, {LabTest::device("r0", "10.79.0.5", LabTest::mac(0x79, 0))})
                 >= 0,
             qPrintable(lab->error()));
    QCOMPARE(QProcess::execute("ip", {"route", "add", "10.79.0.0/24", "dev", "kbr1"}), 0);
}

tst_E2eKovctl::Run tst_E2eKovctl::kovctl(QStringList arguments, const QByteArray &input) const
{
    // "@n" stands for device n's IP, "#n" for its MAC.
    for (QString &a : arguments) {
        if (a.size() == 2 && (a[0] == '@' || a[0] == '#'))
            a = (a[0] == '@' ? ips : macs).at(a.mid(1).toInt());
    }
    QProcess p;
    p.start(QStringLiteral(KOVCTL_PATH), arguments);
    p.write(input);
    p.closeWriteChannel();
    Run run;
    if (p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit)
        run.code = p.exitCode();
    run.out = QString::fromUtf8(p.readAllStandardOutput());
    run.err = QString::fromUtf8(p.readAllStandardError());
    return run;
}

QList<QJsonObject> tst_E2eKovctl::commandsOf(int device) const
{
    QList<QJsonObject> found;
    for (const QJsonObject &o : lab->log(names.at(device))) {
        if (o.value("cmd").toString() != QLatin1String("beacon"))
            found.append(o);
    }
    return found;
}

void tst_E2eKovctl::discover_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QStringList>("at");
    QTest::addColumn<bool>("remote"); // the device only a unicast beacon reaches is listed
    QTest::addColumn<int>("code");
    QTest::newRow("table, broadcast only") << "table" << QStringList() << false << 0;
    QTest::newRow("json, and a block by unicast")
        << "json" << QStringList{"--at", "10.79.0.0/28"} << true << 0;
    QTest::newRow("csv, and two addresses, one silent")
        << "csv" << QStringList{"--at", "10.79.0.5", "--at", "10.79.0.6"} << true << 1;
}

void tst_E2eKovctl::discover()
{
    QFETCH(QString, format);
    QFETCH(QStringList, at);
    QFETCH(bool, remote);
    QFETCH(int, code);
    const Run run = kovctl(QStringList{"discover", "--wait", "1", "--format", format} + at);
    QCOMPARE(run.code, code);
    QCOMPARE(run.err,
             code ? QStringLiteral("kovctl: discover: no answer from 10.79.0.6\n") : QString());

    QStringList rows; // "mac ip version", in the order printed
    if (format == QLatin1String("json")) {
        for (const QJsonValue v : QJsonDocument::fromJson(run.out.toUtf8()).array()) {
            const QJsonObject o = v.toObject();
            QCOMPARE(o.keys(), QStringList({"ip", "mac", "version"}));
            rows.append(
                QStringList{o["mac"].toString(), o["ip"].toString(), o["version"].toString()}.join(
                    ' '));
        }
    } else {
        QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
        const QString header = lines.takeFirst();
        QCOMPARE(header.simplified(), format == QLatin1String("csv")
                                          ? QStringLiteral("mac,ip,version")
                                          : QStringLiteral("MAC IP Version"));
        for (const QString &line : std::as_const(lines))
            rows.append(format == QLatin1String("csv") ? line.split(',').join(' ')
                                                       : line.simplified());
    }
    QStringList expected;
    for (int i = 0; i < 4; ++i)
        expected.append(macs.at(i) + ' ' + ips.at(i) + " 1.6.2");
    if (remote)
        expected.append(LabTest::mac(0x79, 0) + " 10.79.0.5 1.6.2");
    QCOMPARE(rows, expected);
}

void tst_E2eKovctl::printsAnswer_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("start"); // of standard output

    QTest::newRow("version") << QStringList{"--version"} << QByteArray() << 0 << "kovctl 1.0\n";
    QTest::newRow("help") << QStringList{"--help"} << QByteArray() << 0 << "Usage: kovctl COMMAND";
    QTest::newRow("command help") << QStringList{"ir", "send", "--help"} << QByteArray() << 0
                                  << "Usage: kovctl ir send DEVICE... --ports";
    QTest::newRow("gen rc5 0 0")
        << QStringList{"ir", "gen", "rc5", "--device", "0", "--function", "0"} << QByteArray() << 0
        << "0000 0073 0000 000D 0020 0020 0040 0020 0020 0020 0020 0020 0020 0020 0020 0020 0020 0020 "
           "0020 0020 0020 0020 0020 0020 0020 0020 0020 0020 0020 1008\n";
    QTest::newRow("gen sirc12 1 21")
        << QStringList{"ir", "gen", "sirc12", "--device", "1", "--function", "21"} << QByteArray()
        << 0
        << "0000 0067 0000 000D 005F 0017 002F 0017 0017 0017 002F 0017 0017 0017 002F 0017 0017 0017 "
           "0017 0017 002F 0017 0017 0017 0017 0017 0017 0017 0017 0708\n";
    QTest::newRow("gen rc6 with toggle")
        << QStringList{"ir", "gen", "rc6", "--device", "4", "--function", "8", "--toggle", "1"}
        << QByteArray() << 0 << "0000 0073 0000 ";
    QTest::newRow("decode rc6 from standard input")
        << QStringList{"ir", "decode", "-"}
        << kovctl({"ir", "gen", "rc6", "--device", "4", "--function", "8", "--toggle", "1"})
               .out.toUtf8()
        << 0 << "RC6: device 4, function 8, toggle 1\n";
    QTest::newRow("gen denon 4 8")
        << QStringList{"ir", "gen", "denon", "--device", "4", "--function", "8"} << QByteArray()
        << 0 << "0000 006D 0010 0020 000A 001E 000A 001E 000A 0046 000A 001E ";
    QTest::newRow("decode panasonic from standard input")
        << QStringList{"ir", "decode", "-"}
        << kovctl({"ir", "gen", "panasonic", "--device", "160", "--subdevice", "10", "--function",
                   "61"})
               .out.toUtf8()
        << 0 << "Panasonic: device 160, subdevice 10, function 61\n";
    QTest::newRow("decode, not recognised")
        << QStringList{"ir", "decode", "0000 0073 0000 0001 0020 0020"} << QByteArray() << 1
        << "not a recognised protocol";
}

void tst_E2eKovctl::printsAnswer()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(int, code);
    QFETCH(QString, start);
    const Run run = kovctl(arguments, input);
    QCOMPARE(run.code, code);
    QVERIFY2(run.out.startsWith(start), qPrintable(run.out));
    QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
}

void tst_E2eKovctl::reachNamedDevices_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QList<int>>("targets");
    QTest::addColumn<QJsonObject>("expected"); // fields of each target's first new log entry

    const QString ccf = "0000 006D 0000 0002 0016 0016 0016 0041";
    const QJsonArray words{"0000", "006D", "0000", "0002", "0016", "0016", "0016", "0041"};
    QTest::newRow("relay by IP, two devices")
        << QStringList{"relay", "@0", "@2", "--relay", "2", "--close"} << QByteArray()
        << QList<int>{0, 2}
        << QJsonObject{{"cmd", "relay"}, {"relay", 2}, {"closed", true}, {"length", 8}};
    QTest::newRow("relay by MAC, lower case")
        << QStringList{"relay", LabTest::mac(0x77, 1).toLower(), "--open", "--relay", "3"}
        << QByteArray() << QList<int>{1}
        << QJsonObject{{"cmd", "relay"}, {"relay", 3}, {"closed", false}, {"length", 8}};
    QTest::newRow("ir send by IP")
        << QStringList{"ir", "send", "@3", "--ports", "1,3", "--repeat", "2", ccf} << QByteArray()
        << QList<int>{3}
        << QJsonObject{
               {"cmd", "ir"}, {"mask", 5}, {"repeats", 2}, {"words", words}, {"length", 24}};
    QTest::newRow("ir send by MAC and IP, code on standard input")
        << QStringList{"ir", "send", "#0", "@1", "--ports", "4", "-"} << (ccf + "\n").toUtf8()
        << QList<int>{0, 1}
        << QJsonObject{{"cmd", "ir"}, {"mask", 8}, {"repeats", 1}, {"words", words}};
    QTest::newRow("reboot by MAC and IP")
        << QStringList{"reboot", "#3", "@2"} << QByteArray() << QList<int>{3, 2}
        << QJsonObject{{"cmd", "reboot"}, {"length", 6}};
}

void tst_E2eKovctl::reachNamedDevices()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(QList<int>, targets);
    QFETCH(QJsonObject, expected);

    QList<int> before;
    for (int i = 0; i < 4; ++i)
        before.append(int(commandsOf(i).size()));
    const Run run = kovctl(arguments, input);
    QVERIFY2(run.code == 0, qPrintable(run.err));
    QCOMPARE(run.out.count('\n'), targets.size());

    for (int device : std::as_const(targets)) {
        QTRY_VERIFY(commandsOf(device).size() > before.at(device));
        const QJsonObject entry = commandsOf(device).at(before.at(device));
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QVERIFY2(entry.value(it.key()) == it.value(),
                     qPrintable(names.at(device) + ' ' + it.key()));
        QCOMPARE(entry.value("to").toString(), ips.at(device));
        QTRY_VERIFY(!commandsOf(device).constLast().value("cmd").toString().startsWith("reboot"));
    }
    for (int i = 0; i < 4; ++i) {
        if (!targets.contains(i))
            QVERIFY2(commandsOf(i).size() == before.at(i), qPrintable(names.at(i)));
    }
}

void tst_E2eKovctl::refusedSendsNothing_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    const QString good = "0000 0073 0000 0001 0020 0020";
    QStringList many(301, "0020");
    // The five "Send IR" refusals, in the window's words; by MAC so that
    // not even a discovery beacon may go out.
    QTest::newRow("too many words")
        << QStringList{"ir", "send", "#0", "--ports", "1", many.join(' ')}
        << "Sorry too many IR Pairs";
    QTest::newRow("too few words") << QStringList{"ir", "send", "#0", "--ports", "1", "0000 0073"}
                                   << "Sorry too few IR Pairs, not a valid CCF string.";
    QTest::newRow("not hexadecimal")
        << QStringList{"ir", "send", "#0", "--ports", "1", "0000 0073 0000 0001 0020 002G"}
        << "An invalid value was encountered in the CCF string";
    QTest::newRow("pair counts do not add up")
        << QStringList{"ir", "send", "#0", "--ports", "1", "0000 0073 0000 0002 0020 0020"}
        << "Invalid CCF string.";
    QTest::newRow("no port") << QStringList{"ir", "send", "#0", good}
                             << "You did not select any outputs";
    QTest::newRow("bad CCF wins over no port")
        << QStringList{"ir", "send", "#0", "0000 0073"} << "Sorry too few IR Pairs";
    // Bad arguments.
    QTest::newRow("no command") << QStringList{} << "name a command";
    QTest::newRow("unknown command") << QStringList{"blink", "@0"} << "unknown command";
    QTest::newRow("unknown option") << QStringList{"reboot", "@0", "--now"} << "Unknown option";
    QTest::newRow("no device") << QStringList{"reboot"} << "at least one DEVICE";
    QTest::newRow("not an address") << QStringList{"reboot", "@0", "10.77.0.300"} << "10.77.0.300";
    QTest::newRow("broadcast address")
        << QStringList{"reboot", "255.255.255.255"} << "not a device";
    QTest::newRow("short MAC") << QStringList{"reboot", "00:1E:C0:77:00"} << "not a device";
    QTest::newRow("relay 4") << QStringList{"relay", "@0", "--relay", "4", "--open"} << "1 to 3";
    QTest::newRow("relay without a state")
        << QStringList{"relay", "@0", "--relay", "1"} << "--open";
    QTest::newRow("open and close")
        << QStringList{"relay", "@0", "--relay", "1", "--open", "--close"} << "exactly one";
    QTest::newRow("relay twice") << QStringList{"relay",   "@0", "--relay", "1",
                                                "--relay", "2",  "--open"}
                                 << "more than once";
    QTest::newRow("port 5") << QStringList{"ir", "send", "@0", "--ports", "1,5", good}
                            << "--ports";
    QTest::newRow("repeat 0") << QStringList{"ir", "send",     "@0", "--ports",
                                             "1",  "--repeat", "0",  good}
                              << "--repeat";
    QTest::newRow("no CCF") << QStringList{"ir", "send", "@0", "--ports", "1"} << "CCF";
    QTest::newRow("gen rc5 device 32")
        << QStringList{"ir", "gen", "rc5", "--device", "32", "--function", "0"} << "0 to 31";
    QTest::newRow("gen nec toggle")
        << QStringList{"ir", "gen", "nec", "--device", "1", "--function", "1", "--toggle", "1"}
        << "rc5 and rc6";
    QTest::newRow("gen sharp device 32")
        << QStringList{"ir", "gen", "sharp", "--device", "32", "--function", "0"} << "0 to 31";
    QTest::newRow("gen samsung32 function 65536")
        << QStringList{"ir", "gen", "samsung32", "--device", "7", "--function", "65536"}
        << "0 to 65535";
    QTest::newRow("gen panasonic subdevice 256")
        << QStringList{"ir",          "gen", "panasonic",  "--device", "1",
                       "--subdevice", "256", "--function", "1"}
        << "0 to 255";
    QTest::newRow("gen jvc subdevice")
        << QStringList{"ir", "gen", "jvc", "--device", "1", "--subdevice", "1", "--function", "1"}
        << "jvc has no subdevice";
    QTest::newRow("gen sirc13") << QStringList{"ir", "gen",        "sirc13", "--device",
                                               "1",  "--function", "1"}
                                << "unknown protocol";
    QTest::newRow("decode malformed")
        << QStringList{"ir", "decode", "0000 0073 0000 0002 0020 0020"} << "Invalid CCF string.";
    QTest::newRow("discover as xml") << QStringList{"discover", "--format", "xml"} << "--format";
    QTest::newRow("discover wait -1") << QStringList{"discover", "--wait", "-1"} << "--wait";
    QTest::newRow("discover at a /8")
        << QStringList{"discover", "--at", "10.0.0.0/8"} << "--at \"10.0.0.0/8\"";
    QTest::newRow("discover at a name")
        << QStringList{"discover", "--at", "kov-1"} << "--at \"kov-1\"";
    QTest::newRow("upgrade all and a device")
        << QStringList{"upgrade", "--all", "@0"} << "not both";
    QTest::newRow("upgrade image not HEX")
        << QStringList{"upgrade", "@0", "--image", KOV_SIM_PATH} << "line 1";
    QTest::newRow("upgrade image missing")
        << QStringList{"upgrade", "@0", "--image", "/nonexistent/x_1.8.hex"} << "x_1.8.hex";
    QTest::newRow("upgrade port 0") << QStringList{"upgrade", "@0", "--port", "0"} << "--port";
    QTest::newRow("upgrade port taken")
        << QStringList{"upgrade", "@0", "--port", "6970"} << "cannot serve TFTP on UDP port 6970";
    QTest::newRow("upgrade json? yaml")
        << QStringList{"upgrade", "@0", "--format", "yaml"} << "--format";
}

void tst_E2eKovctl::refusedSendsNothing()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);

    const int before = int(lab->log().size());
    const int relays = int(commandsOf(1).size());
    const Run run = kovctl(arguments);
    QCOMPARE(run.code, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.startsWith("kovctl: ") && run.err.count('\n') == 1, qPrintable(run.err));
    QVERIFY2(run.err.contains(message), qPrintable(run.err));

    // A command sent after it is logged after anything the refused one
    // might have sent: only that command may be new.
    QVERIFY(kovctl({"relay", "@1", "--relay", "1", "--open"}).code == 0);
    QTRY_COMPARE(lab->log().size(), before + 1);
    QCOMPARE(commandsOf(1).size(), relays + 1);
}

void tst_E2eKovctl::upgradeThreeOneStaysOld()
{
    const Run run = kovctl(
        {"upgrade", "@0", "#1", "@2", "--port", "6969", "--verify-timeout", "30"});
    QVERIFY2(run.code == 1, qPrintable(run.out + run.err));
    QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.size() >= 4, qPrintable(run.out + run.err));
    QCOMPARE(lines.takeLast(),
             QStringLiteral("2 running the new firmware, 1 failed, 0 in progress"));
    const QStringList results = lines.mid(lines.size() - 3);
    QCOMPARE(results, QStringList({ips.at(0) + ": running 1.7.0",
                                   macs.at(1) + " (" + ips.at(1) + "): running 1.7.0",
                                   ips.at(2) + ": still running 1.6.2"}));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(lab->commands(names.at(i), "upgrade").size(), 1);
    QVERIFY(lab->commands(names.at(3), "upgrade-order").isEmpty());
}

QTEST_GUILESS_MAIN(tst_E2eKovctl)
#include "tst_e2e_kovctl.moc"
