#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QtTest>

#include "kovtable.h"
#include "labtestutil.h"
#include "mainwindow.h"
#include "windowtestutil.h"

// The device panel's relay, IR and reboot commands, sent from the real
// window to one device among several, as the devices themselves log them.
class tst_E2eCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void reachOnlySelectedDevice_data();
    void reachOnlySelectedDevice();
    // Last: the upgrade orders start transfers that fail later.
    void reachOnlyCtrlClickedDevices();

private:
    QMap<QString, int> commandCounts() const;

    std::unique_ptr<LabTest::Lab> lab;
    std::unique_ptr<MainWindow> window;
    QTableView *view = nullptr;
    QStringList names;
    QStringList ips;
    QStringList macs;
};

void tst_E2eCommands::initTestCase()
{
    lab = std::make_unique<LabTest::Lab>(QStringLiteral(KOV_SIM_PATH));
    QVERIFY2(lab->addSubnet("kbr0", "10.77.0.1/24", true), qPrintable(lab->error()));
    QList<QJsonObject> devices;
    for (int i = 0; i < 6; ++i) {
        names.append(QStringLiteral("d%1").arg(i));
        ips.append(QStringLiteral("10.77.0.%1").arg(20 + i));
        macs.append(LabTest::mac(0x77, i));
        QJsonObject extra{{"rebootMs", 50}};
        if (i == 4)
            extra.insert("form", "3");
        devices.append(LabTest::device(names.last(), ips.last(), macs.last(), "1.6.2", extra));
    }
    QVERIFY2(lab->addDevices("kbr0", devices) >= 0, qPrintable(lab->error()));

    window = std::make_unique<MainWindow>();
    QVERIFY(WindowTest::showWindow(window.get()));
    view = window->findChild<QTableView *>("tableView");
    QVERIFY(view);
    QTRY_COMPARE(view->model()->rowCount(), 6);
}

// Per device, how many commands other than beacons it has logged.
QMap<QString, int> tst_E2eCommands::commandCounts() const
{
    QMap<QString, int> counts;
    for (const QString &name : names)
        counts[name] = 0;
    for (const QJsonObject &o : lab->log()) {
        if (o.value("cmd").toString() != QLatin1String("beacon"))
            ++counts[o.value("device").toString()];
    }
    return counts;
}

void tst_E2eCommands::reachOnlySelectedDevice_data()
{
    QTest::addColumn<int>("device");
    QTest::addColumn<int>("relay");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<int>("ports"); // mask of the ticked port boxes
    QTest::addColumn<int>("repeats");
    QTest::addColumn<QString>("ccf");

    QTest::newRow("first device, close relay 2, ports 1 and 3")
        << 0 << 2 << true << 0x05 << 2 << "0000 006D 0000 0002 0016 0016 0016 0041";
    QTest::newRow("middle device, open relay 1, port 4 only")
        << 3 << 1 << false << 0x08 << 1 << "0000 0067 0001 0000 0060 0018";
    QTest::newRow("device with three-field reply, close relay 3, all ports")
        << 4 << 3 << true << 0x0F << 99 << "0000 0073 0000 0001 0020 0C8D";
    QTest::newRow("last device, open relay 3, ports 2 and 3")
        << 5 << 3 << false << 0x06 << 7 << "0000 006D 0002 0001 0016 0016 0016 0041 0016 0016";
}

void tst_E2eCommands::reachOnlySelectedDevice()
{
    QFETCH(int, device);
    QFETCH(int, relay);
    QFETCH(bool, closed);
    QFETCH(int, ports);
    QFETCH(int, repeats);
    QFETCH(QString, ccf);

    WindowTest::MessageBoxCatcher boxes;
    const QMap<QString, int> before = commandCounts();
    const QString name = names.at(device);

    const int row = WindowTest::rowOfMac(view->model(), macs.at(device));
    QVERIFY(row >= 0);
    view->scrollTo(view->model()->index(row, 0));
    WindowTest::clickRow(view, row);
    QCOMPARE(window->findChild<QLineEdit *>("ipAddress")->text(), ips.at(device));
    QCOMPARE(window->findChild<QLineEdit *>("macAddress")->text(), macs.at(device));

    // Relay: buttons 3..8 are Open/Close of relays 1..3.
    const int button = 3 + (relay - 1) * 2 + (closed ? 1 : 0);
    auto *relayButton = window->findChild<QPushButton *>(
        QStringLiteral("pushButton_%1").arg(button));
    QVERIFY(relayButton && relayButton->isEnabled());
    relayButton->click();

    // IR.
    const char *boxNames[] = {"checkBox", "checkBox_2", "checkBox_3", "checkBox_4"};
    for (int bit = 0; bit < 4; ++bit)
        window->findChild<QCheckBox *>(boxNames[bit])->setChecked(ports & (1 << bit));
    window->findChild<QSpinBox *>("spinBox")->setValue(repeats);
    window->findChild<QLineEdit *>("lineEdit")->setText(ccf);
    window->findChild<QPushButton *>("pushButton_9")->click();

    // Reboot last: the device ignores commands while it restarts.
    window->findChild<QPushButton *>("pushButton_10")->click();

    QTRY_COMPARE(commandCounts().value(name), before.value(name) + 4);
    QVERIFY2(boxes.isEmpty(), qPrintable(boxes.last().text));

    const QList<QJsonObject> log = lab->log(name);
    QList<QJsonObject> fresh;
    for (const QJsonObject &o : log) {
        if (o.value("cmd").toString() != QLatin1String("beacon"))
            fresh.append(o);
    }
    fresh = fresh.mid(before.value(name));
    QCOMPARE(fresh.size(), 4);

    const QJsonObject relayEntry = fresh.at(0);
    QCOMPARE(relayEntry.value("cmd").toString(), QStringLiteral("relay"));
    QCOMPARE(relayEntry.value("length").toInt(), 8);
    QCOMPARE(relayEntry.value("relay").toInt(), relay);
    QCOMPARE(relayEntry.value("closed").toBool(), closed);
    QCOMPARE(relayEntry.value("to").toString(), ips.at(device));
    QVERIFY(relayEntry.value("from").toString().startsWith("10.77.0.1:"));
    QJsonArray states{false, false, false};
    states[relay - 1] = closed;
    QCOMPARE(relayEntry.value("relays").toArray(), states);

    const QJsonObject irEntry = fresh.at(1);
    QCOMPARE(irEntry.value("cmd").toString(), QStringLiteral("ir"));
    QCOMPARE(irEntry.value("to").toString(), ips.at(device));
    QCOMPARE(irEntry.value("mask").toInt(), ports);
    QCOMPARE(irEntry.value("repeats").toInt(), repeats);
    QStringList words;
    for (const QJsonValue &w : irEntry.value("words").toArray())
        words.append(w.toString());
    QCOMPARE(words.join(' '), ccf);
    QCOMPARE(irEntry.value("length").toInt(), 8 + 2 * int(words.size()));

    QCOMPARE(fresh.at(2).value("cmd").toString(), QStringLiteral("reboot"));
    QCOMPARE(fresh.at(2).value("length").toInt(), 6);
    QCOMPARE(fresh.at(2).value("to").toString(), ips.at(device));
    QCOMPARE(fresh.at(3).value("cmd").toString(), QStringLiteral("booted"));

    // Nobody else heard anything but beacons.
    const QMap<QString, int> after = commandCounts();
    for (const QString &other : std::as_const(names)) {
        if (other != name)
            QVERIFY2(after.value(other) == before.value(other), qPrintable(other));
    }
}

void tst_E2eCommands::reachOnlyCtrlClickedDevices()
{
    WindowTest::MessageBoxCatcher boxes(QMessageBox::Yes);
    const QList<QJsonObject> earlier = lab->log();
    const QList<int> chosen{1, 3, 5};
    for (int i = 0; i < chosen.size(); ++i) {
        const int row = WindowTest::rowOfMac(view->model(), macs.at(chosen.at(i)));
        view->scrollTo(view->model()->index(row, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton,
                          i == 0 ? Qt::NoModifier : Qt::ControlModifier,
                          WindowTest::rowCenter(view, row));
    }
    QCOMPARE(view->selectionModel()->selectedRows().size(), 3);
    // The panel shows the device clicked last, and how many are selected.
    QCOMPARE(window->findChild<QLineEdit *>("ipAddress")->text(), ips.at(5));
    QVERIFY(
        window->findChild<QLabel *>("selectionCount")->text().startsWith("3 devices selected"));

    window->findChild<QPushButton *>("pushButton_6")->click();  // close relay 2
    window->findChild<QPushButton *>("pushButton_11")->click(); // upgrade
    window->findChild<QPushButton *>("pushButton_10")->click(); // reboot
    QCOMPARE(boxes.count(), 2);
    QVERIFY2(boxes.boxes().at(0).text.startsWith(
                 "Are you sure you want to upgrade these 3 KOV-1s?"),
             qPrintable(boxes.boxes().at(0).text));
    QCOMPARE(boxes.boxes().at(1).text, QString("Are you sure you want to reboot these 3 KOV-1s?"));

    // Each chosen device logs one of each; nobody else logs any.
    auto fresh = [&](const QString &cmd) {
        QMap<QString, int> counts;
        for (const QJsonObject &o : lab->log()) {
            if (o.value("cmd").toString() == cmd && !earlier.contains(o))
                ++counts[o.value("device").toString()];
        }
        return counts;
    };
    const QMap<QString, int> once{{names.at(1), 1}, {names.at(3), 1}, {names.at(5), 1}};
    QVERIFY(LabTest::waitFor([&] { return fresh("reboot") == once; }, 10000));
    QCOMPARE(fresh("relay"), once);
    QCOMPARE(fresh("upgrade-order"), once);
    QCOMPARE(fresh("reboot"), once);
}

QTEST_MAIN(tst_E2eCommands)
#include "tst_e2e_commands.moc"
