#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QtTest>

#include "labtestutil.h"
#include "mainwindow.h"
#include "windowtestutil.h"

// A tool host on two subnets at once. The limited broadcast leaves by one
// interface only; devices on the other subnet hear the beacon sent to
// that subnet's own broadcast address.
class tst_E2eSubnets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void devicesOnBothSubnetsAreListed_data();
    void devicesOnBothSubnetsAreListed();
    void commandReachesSecondSubnet();

private:
    std::unique_ptr<LabTest::Lab> lab;
    std::unique_ptr<MainWindow> window;
    QTableView *view = nullptr;
};

void tst_E2eSubnets::initTestCase()
{
    lab = std::make_unique<LabTest::Lab>(QStringLiteral(KOV_SIM_PATH));
    QVERIFY2(lab->addSubnet("kbr0", "10.77.0.1/24", true), qPrintable(lab->error()));
    QVERIFY2(lab->addSubnet("kbr1", "10.78.0.1/24", false), qPrintable(lab->error()));
    for (int subnet = 77; subnet <= 78; ++subnet) {
        QList<QJsonObject> devices;
        for (int i = 0; i < 3; ++i) {
            const QString ip = QStringLiteral("10.%1.0.%2").arg(subnet).arg(10 + i);
            devices.append(LabTest::device(QStringLiteral("s%1d%2").arg(subnet).arg(i), ip,
                                           LabTest::mac(subnet, i),
                                           QStringLiteral("1.%1.%2").arg(subnet - 70).arg(i),
                                           {{"rebootMs", 50}}));
        }
        QVERIFY2(lab->addDevices(QStringLiteral("kbr%1").arg(subnet - 77), devices) >= 0,
                 qPrintable(lab->error()));
    }
    window = std::make_unique<MainWindow>();
    QVERIFY(WindowTest::showWindow(window.get()));
    view = window->findChild<QTableView *>("tableView");
    QVERIFY(view);
}

void tst_E2eSubnets::devicesOnBothSubnetsAreListed_data()
{
    QTest::addColumn<int>("subnet");
    QTest::addColumn<QString>("beaconTo");
    QTest::newRow("subnet of the limited broadcast") << 77 << "255.255.255.255";
    QTest::newRow("second subnet, by its own broadcast") << 78 << "10.78.0.255";
}

void tst_E2eSubnets::devicesOnBothSubnetsAreListed()
{
    QFETCH(int, subnet);
    QFETCH(QString, beaconTo);
    QVERIFY(LabTest::waitFor([&] { return view->model()->rowCount() == 6; }, 10000));
    QCOMPARE(window->statusBar()->currentMessage(),
             QStringLiteral("We have 6 live out of a total of 6 KOV-1(s) seen."));
    for (int i = 0; i < 3; ++i) {
        const int row = WindowTest::rowOfMac(view->model(), LabTest::mac(subnet, i));
        QVERIFY(row >= 0);
        QCOMPARE(view->model()->index(row, 1).data().toString(),
                 QStringLiteral("10.%1.0.%2").arg(subnet).arg(10 + i));
        QCOMPARE(view->model()->index(row, 2).data().toString(),
                 QStringLiteral("1.%1.%2").arg(subnet - 70).arg(i));
        QStringList heardAt;
        for (const QJsonObject &b :
             lab->commands(QStringLiteral("s%1d%2").arg(subnet).arg(i), "beacon"))
            heardAt.append(b.value("to").toString());
        QVERIFY2(heardAt.contains(beaconTo), qPrintable(heardAt.join(' ')));
    }
}

void tst_E2eSubnets::commandReachesSecondSubnet()
{
    const int row = WindowTest::rowOfMac(view->model(), LabTest::mac(78, 1));
    QVERIFY(row >= 0);
    WindowTest::clickRow(view, row);
    window->findChild<QPushButton *>("pushButton_6")->click(); // close relay 2
    QVERIFY(LabTest::waitFor([&] { return !lab->commands("s78d1", "relay").isEmpty(); }, 10000));
    const QJsonObject relay = lab->commands("s78d1", "relay").first();
    QCOMPARE(relay.value("relay").toInt(), 2);
    QCOMPARE(relay.value("closed").toBool(), true);
    QVERIFY(relay.value("from").toString().startsWith("10.78.0.1:"));
    for (const char *other : {"s77d0", "s77d1", "s77d2", "s78d0", "s78d2"})
        QVERIFY2(lab->commands(other, "relay").isEmpty(), other);
}

QTEST_MAIN(tst_E2eSubnets)
#include "tst_e2e_subnets.moc"
