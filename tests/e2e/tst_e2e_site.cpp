#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include "labtestutil.h"

// kovctl with a site against simulated devices: a site of five devices,
// four of them on the network, then the fifth too; commands by name; a
// device that moved address keeps its name.
class tst_E2eSite : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void relayByName();
    void movedDeviceKeepsItsName();
    void checkNamesTheMissingDevice();

private:
    struct Run
    {
        int code = -1;
        QString out;
        QString err;
    };
    Run kovctl(const QStringList &arguments) const;
    QJsonObject listed(const QString &mac) const;

    std::unique_ptr<LabTest::Lab> lab;
    QTemporaryDir dir;
    QString sitePath;
    QStringList names{"Lobby TV", "Bar relay", "Pool pump", "Gym blinds", "Spare"};
    QStringList macs;
    int lobbySim = -1;
};

void tst_E2eSite::initTestCase()
{
    lab = std::make_unique<LabTest::Lab>(QStringLiteral(KOV_SIM_PATH));
    QVERIFY2(lab->addSubnet("kbr0", "10.77.0.1/24", true), qPrintable(lab->error()));
    // A bridge takes the lowest MAC of its ports unless given one; hosts
    // added later would change it under the devices' ARP caches.
    QVERIFY2(lab->runHere({"ip", "link", "set", "kbr0", "address", "02:00:00:00:77:01"}),
             qPrintable(lab->error()));
    QList<QJsonObject> devices;
    for (int i = 0; i < 5; ++i)
        macs.append(LabTest::mac(0x77, i));
    // The lobby device on a host of its own, so that it can move.
    const int lobby = lab->addHost("kbr0", {"10.77.0.20/24"});
    QVERIFY2(lobby >= 0, qPrintable(lab->error()));
    lobbySim = lab->startSim(lobby, {LabTest::device("d0", "10.77.0.20", macs.at(0))});
    QVERIFY2(lobbySim >= 0, qPrintable(lab->error()));
    for (int i = 1; i < 4; ++i)
        devices.append(LabTest::device(QStringLiteral("d%1").arg(i),
                                       QStringLiteral("10.77.0.%1").arg(20 + i), macs.at(i)));
    QVERIFY2(lab->addDevices("kbr0", devices) >= 0, qPrintable(lab->error()));

    sitePath = dir.filePath("aurora.kovsite");
    QCOMPARE(kovctl({"site", "init", sitePath, "--name", "Hotel Aurora"}).code, 0);
    QFile csv(dir.filePath("devices.csv"));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write("name,mac,location\n");
    for (int i = 0; i < 5; ++i)
        csv.write(QStringLiteral("%1,%2,Floor %3\n").arg(names.at(i), macs.at(i)).arg(i).toUtf8());
    csv.close();
    const Run import = kovctl({"--site", sitePath, "site", "import", csv.fileName()});
    QCOMPARE(import.code, 0);
    QVERIFY2(import.out.endsWith("5 added, 0 changed\n"), qPrintable(import.out));
}

tst_E2eSite::Run tst_E2eSite::kovctl(const QStringList &arguments) const
{
    QProcess p;
    p.start(QStringLiteral(KOVCTL_PATH), arguments);
    Run run;
    if (p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit)
        run.code = p.exitCode();
    run.out = QString::fromUtf8(p.readAllStandardOutput());
    run.err = QString::fromUtf8(p.readAllStandardError());
    return run;
}

// The row of mac in kovctl site list --format json.
QJsonObject tst_E2eSite::listed(const QString &mac) const
{
    const Run run = kovctl(
        {"--site", sitePath, "site", "list", "--wait", "1", "--format", "json"});
    const QJsonArray rows = QJsonDocument::fromJson(run.out.toUtf8()).array();
    for (const QJsonValue row : rows) {
        const QJsonObject o = row.toObject();
        if (o.keys()
            != QStringList{"ip", "lastSeen", "location", "mac", "name", "notes", "state",
                           "version"})
            return QJsonObject{{"bad row", o}};
        if (o.value("mac").toString() == mac)
            return o;
    }
    return QJsonObject{{"not listed", run.out + run.err}};
}

void tst_E2eSite::relayByName()
{
    const Run run = kovctl({"--site", sitePath, "relay", "bar RELAY", "--relay", "2", "--close"});
    QCOMPARE(run.code, 0);
    QCOMPARE(run.out, "Bar relay (" + macs.at(1) + ", 10.77.0.21): relay 2 close sent\n");
    QTRY_COMPARE(lab->commands("d1", "relay").size(), 1);
    QCOMPARE(lab->commands("d1", "relay").at(0).value("relay").toInt(), 2);
    for (const char *other : {"d0", "d2", "d3"})
        QVERIFY(lab->commands(other, "relay").isEmpty());
}

void tst_E2eSite::movedDeviceKeepsItsName()
{
    QJsonObject row = listed(macs.at(0));
    QCOMPARE(row.value("ip").toString(), "10.77.0.20");
    QCOMPARE(row.value("state").toString(), "live");

    // DHCP hands the lobby device another address.
    lab->stopSim(lobbySim);
    QVERIFY2(lab->addDevices("kbr0", {LabTest::device("d0", "10.77.0.40", macs.at(0))}) >= 0,
             qPrintable(lab->error()));
    row = listed(macs.at(0));
    QCOMPARE(row.value("name").toString(), "Lobby TV");
    QCOMPARE(row.value("location").toString(), "Floor 0");
    QCOMPARE(row.value("ip").toString(), "10.77.0.40");
    QCOMPARE(row.value("state").toString(), "live");
    QFile file(sitePath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains(R"("address": "10.77.0.40")"));
    const Run run = kovctl({"--site", sitePath, "relay", "Lobby TV", "--relay", "3", "--open"});
    QCOMPARE(run.code, 0);
    QCOMPARE(run.out, "Lobby TV (" + macs.at(0) + ", 10.77.0.40): relay 3 open sent\n");
    QTRY_COMPARE(lab->commands("d0", "relay").size(), 1);
}

void tst_E2eSite::checkNamesTheMissingDevice()
{
    Run run = kovctl({"--site", sitePath, "site", "check", "--wait", "1"});
    QCOMPARE(run.code, 1);
    QCOMPARE(run.out, "missing: \"Spare\" " + macs.at(4) + " did not answer (never heard)\n");

    QVERIFY2(lab->addDevices("kbr0", {LabTest::device("d4", "10.77.0.24", macs.at(4))}) >= 0,
             qPrintable(lab->error()));
    run = kovctl({"--site", sitePath, "site", "check", "--wait", "1"});
    QCOMPARE(run.out, QString());
    QCOMPARE(run.code, 0);
}

QTEST_GUILESS_MAIN(tst_E2eSite)
#include "tst_e2e_site.moc"
