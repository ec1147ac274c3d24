#include <QAction>
#include <QColor>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTableView>
#include <QtTest>

#include "kovtableproxy.h"
#include "labtestutil.h"
#include "mainwindow.h"
#include "sitecontroller.h"
#include "site.h"
#include "sitejson.h"
#include "windowtestutil.h"

// A site of five devices, four of them simulated, reopened by the window at
// start: all five are listed by name, the fifth as missing; a device that
// moved to another address keeps its name, and the file learns the new
// address; a command for the missing device is only sent when the user
// agrees; "Select outdated devices" selects those off the site's target.
class tst_E2eSiteWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void listsSiteWithMissingDevice();
    void movedDeviceKeepsItsName();
    void missingDeviceCommandAsksFirst();
    void selectsOutdatedDevices();

private:
    int rowOfName(const QString &name) const;

    std::unique_ptr<LabTest::Lab> lab;
    std::unique_ptr<MainWindow> window;
    QTemporaryDir dir;
    QString sitePath;
    QTableView *view = nullptr;
    QAbstractItemModel *model = nullptr;
};

void tst_E2eSiteWindow::initTestCase()
{
    WindowTest::setProgramIdentity();
    lab = std::make_unique<LabTest::Lab>(QStringLiteral(KOV_SIM_PATH));
    QVERIFY2(lab->addSubnet("kbr0", "10.77.0.1/24", true), qPrintable(lab->error()));

    const QStringList names{"Lobby TV", "Bar relay", "Spa audio", "Gym screen", "Roof sign"};
    Site site;
    site.name = "Hotel Aurora";
    site.targetVersion = "1.7.0";
    QList<QJsonObject> devices;
    for (int i = 0; i < 5; ++i) {
        SiteDevice device;
        device.mac = LabTest::mac(0x77, i);
        device.name = names.at(i);
        device.location = QStringLiteral("Floor %1").arg(i);
        // The file last heard "Bar relay" at .50; it answers from .21 now.
        device.lastAddress = QStringLiteral("10.77.0.%1").arg(i == 1 ? 50 : 20 + i);
        device.lastVersion = "1.6.2";
        device.lastSeen = QDateTime(QDate(2026, 12, 1), QTime(9, 30), Qt::UTC);
        site.devices.append(device);
        if (i < 4)
            devices.append(LabTest::device(QStringLiteral("d%1").arg(i),
                                           QStringLiteral("10.77.0.%1").arg(20 + i), device.mac,
                                           i == 3 ? "1.7.0" : "1.6.2"));
    }
    sitePath = dir.filePath("aurora.kovsite");
    QFile file(sitePath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(SiteJson::serialise(site));
    file.close();
    QVERIFY2(lab->addDevices("kbr0", devices) >= 0, qPrintable(lab->error()));

    QSettings().setValue(SiteController::LastSiteKey, sitePath);
    window = std::make_unique<MainWindow>();
    QVERIFY(WindowTest::showWindow(window.get()));
    view = window->findChild<QTableView *>("tableView");
    QVERIFY(view);
    model = view->model();
}

int tst_E2eSiteWindow::rowOfName(const QString &name) const
{
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, 3).data().toString() == name)
            return row;
    }
    return -1;
}

void tst_E2eSiteWindow::listsSiteWithMissingDevice()
{
    QCOMPARE(window->windowTitle(), QString("Veltrane KOV-1 Tool - Hotel Aurora"));
    QCOMPARE(model->columnCount(), 5);
    QCOMPARE(model->headerData(3, Qt::Horizontal).toString(), QString("Name"));
    QCOMPARE(model->headerData(4, Qt::Horizontal).toString(), QString("Location"));
    QCOMPARE(model->rowCount(), 5);
    QTRY_COMPARE_WITH_TIMEOUT(
        window->statusBar()->currentMessage(),
        QString("We have 4 live out of a total of 4 KOV-1(s) seen. 1 of the site's 5 devices "
                "missing."),
        10000);
    const int missing = rowOfName("Roof sign");
    QVERIFY(missing >= 0);
    QCOMPARE(model->index(missing, 1).data().toString(), QString("10.77.0.24"));
    QCOMPARE(model->index(missing, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::gray));
    QVERIFY(model->index(missing, 0).data(Qt::ToolTipRole).toString().startsWith("missing"));
    const int live = rowOfName("Lobby TV");
    QVERIFY(!model->index(live, 0).data(Qt::ForegroundRole).isValid());
}

void tst_E2eSiteWindow::movedDeviceKeepsItsName()
{
    QTRY_COMPARE(model->index(rowOfName("Bar relay"), 1).data().toString(), QString("10.77.0.21"));
    QCOMPARE(model->rowCount(), 5);
    // Saved at once, with the new address.
    Site onDisk;
    QTRY_VERIFY([&] {
        QFile file(sitePath);
        QString error;
        return file.open(QIODevice::ReadOnly) && SiteJson::parse(file.readAll(), &onDisk, &error)
               && onDisk.devices.value(1).lastAddress == "10.77.0.21";
    }());
    QCOMPARE(onDisk.devices.value(1).name, QString("Bar relay"));
    QCOMPARE(onDisk.devices.value(4).lastAddress, QString("10.77.0.24"));
}

void tst_E2eSiteWindow::missingDeviceCommandAsksFirst()
{
    auto *relayClose = window->findChild<QPushButton *>("pushButton_4");
    WindowTest::MessageBoxCatcher boxes(QMessageBox::No);
    WindowTest::clickRow(view, rowOfName("Roof sign"));
    relayClose->click();
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().title, QString("Device missing"));
    QVERIFY(boxes.last().text.contains("Roof sign"));
    QVERIFY(boxes.last().text.contains("10.77.0.24"));

    // A device that answers gets the command by its name's row, unasked.
    WindowTest::clickRow(view, rowOfName("Spa audio"));
    relayClose->click();
    QTRY_COMPARE(lab->commands("d2", "relay").size(), 1);
    QCOMPARE(boxes.count(), 1);
    for (const char *other : {"d0", "d1", "d3"})
        QVERIFY(lab->commands(other, "relay").isEmpty());
}

void tst_E2eSiteWindow::selectsOutdatedDevices()
{
    auto *select = window->findChild<QAction *>("actionSelectOutdated");
    QVERIFY(select && select->isEnabled());
    select->trigger();
    QStringList selected;
    for (const QModelIndex &row : view->selectionModel()->selectedRows(3))
        selected << row.data().toString();
    selected.sort();
    // Gym screen runs the target; Roof sign is missing.
    QCOMPARE(selected, (QStringList{"Bar relay", "Lobby TV", "Spa audio"}));
    QVERIFY(model->index(rowOfName("Lobby TV"), 2).data(Qt::FontRole).value<QFont>().bold());
}

QTEST_MAIN(tst_E2eSiteWindow)
#include "tst_e2e_sitewindow.moc"
