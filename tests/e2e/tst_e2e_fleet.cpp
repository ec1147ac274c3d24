#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

#include "labtestutil.h"
#include "mainwindow.h"
#include "progressbardelegate.h"
#include "windowtestutil.h"

// An upgrade round over twelve simulated devices from the real window:
// which of them really came back on the new firmware, and a retry of
// exactly the failures. Device 8 restarts into its old version after a
// complete transfer; device 9 stays silent after it; device 10 answers in
// the three-field form, without a version; device 11 comes back at
// another address, as with DHCP.
class tst_E2eFleet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void updateAllVerifiesEachDevice();
    void retryOrdersOnlyTheFailures();

private:
    QString cell(const QString &ip, int column) const;
    int ordersTo(int device) const;

    std::unique_ptr<LabTest::Lab> lab;
    std::unique_ptr<MainWindow> window;
    QTableWidget *transfers = nullptr;
    QLabel *summary = nullptr;
    QPushButton *retry = nullptr;
    QStringList names;
    QStringList ips;
    const QString movedIp = QStringLiteral("10.78.0.40");
};

void tst_E2eFleet::initTestCase()
{
    lab = std::make_unique<LabTest::Lab>(QStringLiteral(KOV_SIM_PATH));
    QVERIFY2(lab->addSubnet("kbr0", "10.78.0.1/24", true), qPrintable(lab->error()));
    QList<QJsonObject> devices;
    QStringList addresses;
    for (int i = 0; i < 12; ++i) {
        names.append(QStringLiteral("d%1").arg(i));
        ips.append(QStringLiteral("10.78.0.%1").arg(10 + i));
        QJsonObject extra{{"upgradeVersion", "1.7.0"}, {"rebootMs", 100}};
        if (i == 8)
            extra.insert("restartOld", true);
        if (i == 9)
            extra.insert("silentAfterUpgrade", true);
        if (i == 10)
            extra.insert("form", "3");
        if (i == 11)
            extra.insert("ipAfterUpgrade", movedIp);
        devices.append(
            LabTest::device(names.last(), ips.last(), LabTest::mac(0x78, i), "1.6.2", extra));
        addresses.append(ips.last() + "/24");
    }
    addresses.append(movedIp + "/24");
    const int host = lab->addHost("kbr0", addresses);
    QVERIFY2(host >= 0, qPrintable(lab->error()));
    QVERIFY2(lab->startSim(host, devices) >= 0, qPrintable(lab->error()));

    // Verification gives up after 3 s instead of 180 s; beacons every 0.5 s.
    window = std::make_unique<MainWindow>(3000, 500);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    auto *view = window->findChild<QTableView *>("tableView");
    transfers = window->findChild<QTableWidget *>("tableWidget");
    summary = window->findChild<QLabel *>("upgradeSummary");
    retry = window->findChild<QPushButton *>("retryFailedButton");
    QVERIFY(view && transfers && summary && retry);
    QTRY_COMPARE(view->model()->rowCount(), 12);
    window->findChild<QCheckBox *>("enableTFTPD")->click();
}

QString tst_E2eFleet::cell(const QString &ip, int column) const
{
    for (int row = 0; row < transfers->rowCount(); ++row) {
        if (transfers->item(row, 0) && transfers->item(row, 0)->text() == ip)
            return transfers->item(row, column)->text();
    }
    return QString();
}

int tst_E2eFleet::ordersTo(int device) const
{
    const QString name = names.at(device);
    int orders = int(lab->commands(name, "upgrade-order").size());
    // The silent device still logs what it ignores.
    for (const QJsonObject &o : lab->commands(name, "ignored"))
        orders += o.value("bytes").toString() == QLatin1String("4b4f562d3104");
    return orders;
}

void tst_E2eFleet::updateAllVerifiesEachDevice()
{
    QVERIFY(!retry->isEnabled());
    QVERIFY(qobject_cast<ProgressBarDelegate *>(transfers->itemDelegateForColumn(1)));
    int barsSeen = 0;
    QObject watching; // ends the connection with this function
    connect(transfers->model(), &QAbstractItemModel::dataChanged, &watching,
            [&](const QModelIndex &index) {
                const int p = index.data(ProgressBarDelegate::ProgressRole).toInt();
                barsSeen += index.column() == 1 && p >= 0 && p <= 100
                            && index.data().toString().toInt() == p;
            });

    WindowTest::MessageBoxCatcher boxes(QMessageBox::Yes);
    window->findChild<QPushButton *>("updateAll")->click();
    QCOMPARE(boxes.count(), 1);

    QVERIFY(LabTest::waitFor(
        [&] {
            return summary->text()
                   == QLatin1String(
                       "9 running the new firmware, 1 unverified, 2 failed, 0 in progress");
        },
        30000));
    // The device that moved has one row, at its new address.
    QCOMPARE(transfers->rowCount(), 12);
    QVERIFY(transfers->findItems(ips.at(11), Qt::MatchExactly).isEmpty());
    for (int i = 0; i < 12; ++i) {
        const QString ip = i == 11 ? movedIp : ips.at(i);
        QCOMPARE(cell(ip, 1), QStringLiteral("done"));
        const QString expected = i == 8    ? QStringLiteral("still running 1.6.2")
                                 : i == 9  ? QStringLiteral("no answer after the upgrade")
                                 : i == 10 ? QStringLiteral("restarted; it does not report its "
                                                            "version")
                                           : QStringLiteral("running 1.7.0");
        QCOMPARE(cell(ip, 2), expected);
    }
    QVERIFY(barsSeen > 0);
    QVERIFY(retry->isEnabled());
    for (int column = 0; column < 3; ++column)
        QVERIFY(!(transfers->item(0, column)->flags() & Qt::ItemIsEditable));
}

void tst_E2eFleet::retryOrdersOnlyTheFailures()
{
    QList<int> before;
    for (int i = 0; i < 12; ++i)
        before.append(ordersTo(i));
    retry->click();
    QVERIFY(LabTest::waitFor([&] { return lab->commands(names.at(8), "upgrade").size() == 2; }));
    QTRY_COMPARE(ordersTo(9), before.at(9) + 1);
    // Everything sent before this beacon has reached the devices once they log it.
    const int beacons = int(lab->commands(names.at(0), "beacon").size());
    window->findChild<QPushButton *>("pushButton_2")->click();
    QTRY_VERIFY(lab->commands(names.at(0), "beacon").size() > beacons);

    for (int i = 0; i < 12; ++i)
        QCOMPARE(ordersTo(i), before.at(i) + (i == 8 || i == 9 ? 1 : 0));
    QCOMPARE(lab->commands(names.at(8), "upgrade-order").last().value("to").toString(), ips.at(8));
    // The round of the retry: the two again, one of them transferred anew.
    QVERIFY(LabTest::waitFor([&] {
        return summary->text()
               == QLatin1String("0 running the new firmware, 2 failed, 0 in progress");
    }));
    QCOMPARE(cell(ips.at(8), 2), QStringLiteral("still running 1.6.2"));
    QVERIFY(retry->isEnabled());
}

QTEST_MAIN(tst_E2eFleet)
#include "tst_e2e_fleet.moc"
