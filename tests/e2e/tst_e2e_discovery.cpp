#include <QColor>
#include <QStatusBar>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QtTest>

#include "kovtable.h"
#include "labtestutil.h"
#include "mainwindow.h"

// Twenty simulated devices on one subnet, found by the window's start-up
// beacon; one of them falls silent and is shown as lost.
class tst_E2eDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void listsEveryDevice();
    void silentDeviceTurnsRed();

private:
    struct Expected
    {
        QString ip;
        QString mac;
        QString version;
    };

    int rowOf(const QString &mac) const;
    QString status() const;
    int answeredSince(qint64 time) const;

    std::unique_ptr<LabTest::Lab> lab;
    std::unique_ptr<MainWindow> window;
    KovTable *table = nullptr;
    QList<Expected> expected;
    int silentSim = -1;
    int silentHost = -1;
    QJsonObject silentDevice;
    QElapsedTimer clockBase;
    qint64 clockOffset = 0;
};

void tst_E2eDiscovery::initTestCase()
{
    lab = std::make_unique<LabTest::Lab>(QStringLiteral(KOV_SIM_PATH));
    QVERIFY2(lab->addSubnet("kbr0", "10.77.0.1/24", true), qPrintable(lab->error()));

    // Nineteen devices share one host; the twentieth has a host of its own
    // so that it can be switched off alone.
    QList<QJsonObject> devices;
    for (int i = 0; i < 19; ++i) {
        const QString ip = QStringLiteral("10.77.0.%1").arg(10 + i);
        const QString mac = LabTest::mac(0x77, i);
        // Every fourth device runs firmware that leaves the version out.
        const bool threeFields = i % 4 == 3;
        const QString version = QStringLiteral("1.%1.%2").arg(5 + i % 3).arg(i);
        QJsonObject extra;
        if (threeFields)
            extra.insert("form", "3");
        devices.append(LabTest::device(QStringLiteral("d%1").arg(i), ip, mac, version, extra));
        expected.append({ip, mac, threeFields ? QStringLiteral("Unknown") : version});
    }
    QVERIFY2(lab->addDevices("kbr0", devices) >= 0, qPrintable(lab->error()));

    silentDevice = LabTest::device("silent", "10.77.0.200", LabTest::mac(0x77, 200), "1.6.9");
    expected.append({"10.77.0.200", LabTest::mac(0x77, 200), "1.6.9"});
    silentHost = lab->addHost("kbr0", {"10.77.0.200/24"});
    QVERIFY2(silentHost >= 0, qPrintable(lab->error()));
    silentSim = lab->startSim(silentHost, {silentDevice});
    QVERIFY2(silentSim >= 0, qPrintable(lab->error()));

    clockBase.start();
    window = std::make_unique<MainWindow>();
    auto *view = window->findChild<QTableView *>("tableView");
    QVERIFY(view);
    // The view shows the device table through a sorting, filtering proxy.
    auto *proxy = qobject_cast<QSortFilterProxyModel *>(view->model());
    QVERIFY(proxy);
    table = qobject_cast<KovTable *>(proxy->sourceModel());
    QVERIFY(table);
    // Replies are only read once the event loop runs, so every row gets
    // its time from this clock.
    table->setClock([this] { return clockBase.elapsed() + clockOffset; });
    window->show();
}

int tst_E2eDiscovery::rowOf(const QString &mac) const
{
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->index(row, 0).data().toString() == mac)
            return row;
    }
    return -1;
}

QString tst_E2eDiscovery::status() const
{
    return window->statusBar()->currentMessage();
}

int tst_E2eDiscovery::answeredSince(qint64 time) const
{
    int answered = 0;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->getKov(table->index(row, 0))->seen >= time)
            ++answered;
    }
    return answered;
}

void tst_E2eDiscovery::listsEveryDevice()
{
    QTRY_COMPARE_WITH_TIMEOUT(table->rowCount(), 20, 10000);
    for (const Expected &e : std::as_const(expected)) {
        const int row = rowOf(e.mac);
        QVERIFY2(row >= 0, qPrintable(e.mac));
        QCOMPARE(table->index(row, 1).data().toString(), e.ip);
        QCOMPARE(table->index(row, 2).data().toString(), e.version);
        QCOMPARE(table->index(row, 0).data(Qt::BackgroundRole).value<QColor>(),
                 QColor(Qt::transparent));
    }
    QCOMPARE(status(), QStringLiteral("We have 20 live out of a total of 20 KOV-1(s) seen."));

    // Each device heard the start-up beacon and answered the tool's host.
    for (int i = 0; i < 19; ++i) {
        const auto beacons = lab->commands(QStringLiteral("d%1").arg(i), "beacon");
        QVERIFY(!beacons.isEmpty());
        QVERIFY(beacons.first().value("from").toString().startsWith("10.77.0.1:"));
    }
}

void tst_E2eDiscovery::silentDeviceTurnsRed()
{
    QTRY_COMPARE_WITH_TIMEOUT(table->rowCount(), 20, 10000);
    auto *beacon = window->findChild<QPushButton *>("pushButton_2");
    QVERIFY(beacon);
    const int silentRow = rowOf(silentDevice.value("mac").toString());
    QVERIFY(silentRow >= 0);

    lab->stopSim(silentSim);
    const int beaconsBefore = lab->commands("d0", "beacon").size();

    // A minute and two seconds later the others answer a beacon again.
    clockOffset += 62000;
    beacon->click();
    QTRY_VERIFY(lab->commands("d0", "beacon").size() > beaconsBefore);
    // Every reply restarts its row's clock: wait for all nineteen.
    QTRY_COMPARE(answeredSince(clockOffset), 19);
    QCOMPARE(status(), QStringLiteral("We have 20 live out of a total of 20 KOV-1(s) seen."));
    // The lost check runs every five seconds; run it now.
    QVERIFY(QMetaObject::invokeMethod(table, "KovLostTimer"));
    QCOMPARE(table->index(silentRow, 1).data(Qt::BackgroundRole).value<QColor>(), QColor(Qt::red));
    QCOMPARE(table->liveCount(), 19);
    QCOMPARE(table->totalCount(), 20);
    for (int row = 0; row < table->rowCount(); ++row) {
        if (row != silentRow)
            QCOMPARE(table->index(row, 0).data(Qt::BackgroundRole).value<QColor>(),
                     QColor(Qt::transparent));
    }

    // The status line learns of it with the next reply.
    beacon->click();
    QTRY_COMPARE(status(), QStringLiteral("We have 19 live out of a total of 20 KOV-1(s) seen."));

    // Switched on again, the device answers the next beacon and is live.
    silentSim = lab->startSim(silentHost, {silentDevice});
    QVERIFY2(silentSim >= 0, qPrintable(lab->error()));
    beacon->click();
    QTRY_COMPARE(status(), QStringLiteral("We have 20 live out of a total of 20 KOV-1(s) seen."));
    QCOMPARE(table->index(silentRow, 0).data(Qt::BackgroundRole).value<QColor>(),
             QColor(Qt::transparent));
    QCOMPARE(table->rowCount(), 20);
}

QTEST_MAIN(tst_E2eDiscovery)
#include "tst_e2e_discovery.moc"
