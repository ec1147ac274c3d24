#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTableView>
#include <QtTest>

#include "devicepage.h"
#include "finddevicesdialog.h"
#include "labtestutil.h"
#include "mainwindow.h"
#include "windowtestutil.h"

// Devices on a subnet behind a router: the tool's host is on 10.80.0.0/24
// with one device beside it; three devices are on 10.81.0.0/24, reached
// through a router at 10.80.0.254 / 10.81.0.254, which passes no broadcast.
class tst_E2eRouted : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void beaconAloneFindsNone();
    void findDevicesAtTheirBlock();

private:
    int remoteBeacons() const;

    std::unique_ptr<LabTest::Lab> lab;
    std::unique_ptr<MainWindow> window;
    QTableView *view = nullptr;
    QStringList remote{"r0", "r1", "r2"};
};

void tst_E2eRouted::initTestCase()
{
    // No range remembered from an earlier run of this test.
    QSettings().remove(DevicePage::RangesKey);
    lab = std::make_unique<LabTest::Lab>(QStringLiteral(KOV_SIM_PATH));
    QVERIFY2(lab->addSubnet("kbr0", "10.80.0.1/24", true), qPrintable(lab->error()));
    QVERIFY2(lab->addBridge("kbr1"), qPrintable(lab->error()));
    QVERIFY2(lab->addRouter("kbr0", "10.80.0.254/24", "kbr1", "10.81.0.254/24") >= 0,
             qPrintable(lab->error()));
    QVERIFY2(lab->runHere({"ip", "route", "add", "10.81.0.0/24", "via", "10.80.0.254"}),
             qPrintable(lab->error()));

    const int local = lab->addHost("kbr0", {"10.80.0.50/24"});
    QVERIFY2(local >= 0, qPrintable(lab->error()));
    QVERIFY2(lab->startSim(local, {LabTest::device("local", "10.80.0.50", LabTest::mac(0x80, 50))})
                 >= 0,
             qPrintable(lab->error()));

    QList<QJsonObject> devices;
    QStringList addresses;
    for (int i = 0; i < remote.size(); ++i) {
        const QString ip = QStringLiteral("10.81.0.%1").arg(10 + i);
        devices.append(LabTest::device(remote.at(i), ip, LabTest::mac(0x81, i)));
        addresses.append(ip + "/24");
    }
    const int host = lab->addHost("kbr1", addresses);
    QVERIFY2(host >= 0, qPrintable(lab->error()));
    QVERIFY2(lab->runIn(host, {"ip", "route", "add", "default", "via", "10.81.0.254"}),
             qPrintable(lab->error()));
    QVERIFY2(lab->startSim(host, devices) >= 0, qPrintable(lab->error()));

    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    view = window->findChild<QTableView *>("tableView");
    QVERIFY(view);
}

void tst_E2eRouted::cleanupTestCase()
{
    window.reset();
    QSettings().remove(DevicePage::RangesKey);
}

int tst_E2eRouted::remoteBeacons() const
{
    int beacons = 0;
    for (const QString &name : remote)
        beacons += int(lab->commands(name, "beacon").size());
    return beacons;
}

void tst_E2eRouted::beaconAloneFindsNone()
{
    window->findChild<QPushButton *>("pushButton_2")->click();
    // The device beside the tool answers the start-up beacon and this one.
    QVERIFY(LabTest::waitFor([&] { return lab->commands("local", "beacon").size() >= 2; }, 10000));
    QVERIFY(LabTest::waitFor([&] { return view->model()->rowCount() == 1; }, 10000));
    QCOMPARE(WindowTest::rowOfMac(view->model(), LabTest::mac(0x80, 50)), 0);
    // Behind the router nobody heard a beacon, so none can answer.
    QCOMPARE(remoteBeacons(), 0);
    QCOMPARE(view->model()->rowCount(), 1);
}

void tst_E2eRouted::findDevicesAtTheirBlock()
{
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<FindDevicesDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll.stop();
        dialog->findChild<QLineEdit *>("addressEdit")->setText("10.81.0.0/24");
        dialog->findChild<QPushButton *>("findButton")->click();
    });
    poll.start(20);
    window->findChild<QPushButton *>("findDevicesButton")->click();

    QVERIFY(LabTest::waitFor([&] { return view->model()->rowCount() == 4; }, 10000));
    for (int i = 0; i < remote.size(); ++i) {
        const int row = WindowTest::rowOfMac(view->model(), LabTest::mac(0x81, i));
        QVERIFY(row >= 0);
        QCOMPARE(view->model()->index(row, 1).data().toString(),
                 QStringLiteral("10.81.0.%1").arg(10 + i));
        // Each heard the beacon once, sent to its own address.
        const QList<QJsonObject> beacons = lab->commands(remote.at(i), "beacon");
        QCOMPARE(beacons.size(), 1);
        QCOMPARE(beacons.first().value("to").toString(), QStringLiteral("10.81.0.%1").arg(10 + i));
    }
    QCOMPARE(window->statusBar()->currentMessage(),
             QStringLiteral("We have 4 live out of a total of 4 KOV-1(s) seen."));

    // The block is remembered: the beacon button probes it again.
    window->findChild<QPushButton *>("pushButton_2")->click();
    QVERIFY(LabTest::waitFor([&] { return remoteBeacons() == 6; }, 10000));
}

QTEST_MAIN(tst_E2eRouted)
#include "tst_e2e_routed.moc"
