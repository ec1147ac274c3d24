#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

#include "labtestutil.h"

// The site's code library with kovctl against a simulated device: a
// parameter CSV and a lircd.conf imported into a site, the codes sent by
// name, and the words the device received, per its log.
class tst_E2eIrCodes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void importAndSendByName_data();
    void importAndSendByName();

private:
    struct Run
    {
        int code = -1;
        QString out;
        QString err;
    };
    Run kovctl(const QStringList &arguments) const;
    QString write(const QString &name, const QByteArray &bytes) const;

    std::unique_ptr<LabTest::Lab> lab;
    QTemporaryDir dir;
    QString site;
};

void tst_E2eIrCodes::initTestCase()
{
    lab = std::make_unique<LabTest::Lab>(QStringLiteral(KOV_SIM_PATH));
    QVERIFY2(lab->addSubnet("ibr0", "10.81.0.1/24", true), qPrintable(lab->error()));
    const int host = lab->addHost("ibr0", {"10.81.0.20/24"});
    QVERIFY2(host >= 0, qPrintable(lab->error()));
    QVERIFY2(lab->startSim(host, {LabTest::device("tv", "10.81.0.20", LabTest::mac(0x81, 0))})
                 >= 0,
             qPrintable(lab->error()));

    site = dir.filePath("aurora.kovsite");
    QCOMPARE(kovctl({"site", "init", site, "--name", "Aurora"}).code, 0);
    const QString csv = write("lobby-tv.csv", "functionname,protocol,device,subdevice,function\n"
                                              "POWER,NEC,4,-1,8\n"
                                              "INPUT,NECx2,7,7,2\n"
                                              "MENU,Aiwa,110,-1,3\n");
    const Run csvRun = kovctl({"--site", site, "ir", "import", csv, "--equipment", "Lobby TV"});
    QCOMPARE(csvRun.code, 0);
    QCOMPARE(csvRun.out.section('\n', 0, 2),
             QString("nec1: 1 code\nnecx2: 1 code\n"
                     "skipped: 1 code in protocol Aiwa: not supported"));
    const QString lirc = write("amp.conf", "begin remote\n"
                                           "  name Bar amplifier\n"
                                           "  bits 16\n"
                                           "  flags SPACE_ENC|CONST_LENGTH\n"
                                           "  header 9000 4500\n"
                                           "  one 560 1690\n"
                                           "  zero 560 560\n"
                                           "  ptrail 560\n"
                                           "  repeat 9000 2250\n"
                                           "  pre_data_bits 16\n"
                                           "  pre_data 0x20DF\n"
                                           "  gap 108000\n"
                                           "  begin codes\n"
                                           "    KEY_MUTE 0x906F\n"
                                           "  end codes\n"
                                           "end remote\n");
    QCOMPARE(kovctl({"--site", site, "ir", "import", lirc}).code, 0);
    // A malformed file names its line and changes nothing.
    const QString bad = write("bad.conf", "begin remote\n  name X\n  bits many\nend remote\n");
    const Run badRun = kovctl({"--site", site, "ir", "import", bad});
    QCOMPARE(badRun.code, 2);
    QVERIFY2(badRun.err.contains("line 3: bits: \"many\" is not a number; nothing imported"),
             qPrintable(badRun.err));
    Run list = kovctl({"--site", site, "ir", "list", "--format", "csv"});
    QCOMPARE(list.out.remove(QLatin1Char('\r')),
             QString("equipment,name,protocol,device,subdevice,function,pronto,ports\n"
                     "Lobby TV,POWER,nec1,4,,8,,\n"
                     "Lobby TV,INPUT,necx2,7,7,2,,\n"
                     "Bar amplifier,KEY_MUTE,nec1,4,,9,,\n"));
}

tst_E2eIrCodes::Run tst_E2eIrCodes::kovctl(const QStringList &arguments) const
{
    QProcess p;
    p.start(QStringLiteral(KOVCTL_PATH), arguments);
    p.closeWriteChannel();
    Run run;
    if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit)
        run.code = p.exitCode();
    run.out = QString::fromUtf8(p.readAllStandardOutput());
    run.err = QString::fromUtf8(p.readAllStandardError());
    return run;
}

QString tst_E2eIrCodes::write(const QString &name, const QByteArray &bytes) const
{
    QFile file(dir.filePath(name));
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return file.fileName();
}

void tst_E2eIrCodes::importAndSendByName_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QStringList>("gen"); // what kovctl ir gen builds for the same parameters
    QTest::newRow("from the CSV") << "Lobby TV/POWER"
                                  << QStringList{"nec1", "--device", "4", "--function", "8"};
    QTest::newRow("from the CSV, any case, with a subdevice")
        << "lobby tv/input"
        << QStringList{"necx2", "--device", "7", "--subdevice", "7", "--function", "2"};
    QTest::newRow("from the lircd.conf")
        << "Bar amplifier/KEY_MUTE" << QStringList{"nec1", "--device", "4", "--function", "9"};
}

void tst_E2eIrCodes::importAndSendByName()
{
    QFETCH(QString, code);
    QFETCH(QStringList, gen);
    const Run built = kovctl(QStringList{"ir", "gen"} + gen);
    QCOMPARE(built.code, 0);
    QJsonArray words;
    for (const QString &word : built.out.trimmed().split(' '))
        words.append(word);
    const int before = int(lab->log("tv").size());
    const Run sent = kovctl(
        {"--site", site, "ir", "send", "10.81.0.20", "--ports", "2", "--code", code});
    QCOMPARE(sent.code, 0);
    QVERIFY2(sent.err.isEmpty(), qPrintable(sent.err));
    QJsonObject received;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (const QJsonObject &o : lab->log("tv").mid(before)) {
                if (o.value("cmd").toString() == QLatin1String("ir"))
                    received = o;
            }
            return !received.isEmpty();
        }(),
        5000);
    QCOMPARE(received.value("mask").toInt(), 2);
    QCOMPARE(received.value("words").toArray(), words);
}

QTEST_GUILESS_MAIN(tst_E2eIrCodes)
#include "tst_e2e_ircodes.moc"
