#include <QCheckBox>
#include <QCryptographicHash>
#include <QFile>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

#include "firmwaretestutil.h"
#include "labtestutil.h"
#include "mainwindow.h"
#include "windowtestutil.h"

// Devices that misbehave: late, garbled and flooding replies to the
// beacon; lost, doubled and missing ACKs and a wrong file name during an
// upgrade. The window's device table and transfer table must stay right.
class tst_E2eFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void tableStaysRight_data();
    void tableStaysRight();
    void updateAll();
    void transferOutcome_data();
    void transferOutcome();
    void failedUpgradeKeepsVersion();

private:
    QString statusOf(const QString &ip) const;
    QJsonObject deviceNamed(const QString &name) const;

    std::unique_ptr<LabTest::Lab> lab;
    std::unique_ptr<MainWindow> window;
    QTableView *view = nullptr;
    QTableWidget *transfers = nullptr;
    QList<QJsonObject> devices;
    QByteArray imageHash;
};

void tst_E2eFaults::initTestCase()
{
    lab = std::make_unique<LabTest::Lab>(QStringLiteral(KOV_SIM_PATH));
    QVERIFY2(lab->addSubnet("kbr0", "10.77.0.1/24", true), qPrintable(lab->error()));

    const QList<QPair<QString, QJsonObject>> plays = {
        {"plain", {}},
        {"late", {{"replyDelayMs", 400}}},
        {"garbler", {{"malformedReplies", true}}},
        {"flooder", {{"floodReplies", 50}}},
        {"three-fields", {{"form", "3"}, {"malformedReplies", true}}},
        {"loses-first-acks", {{"dropFirstAcks", 3}}},
        {"loses-every-100th-ack", {{"dropAckEvery", 100}}},
        {"doubles-acks", {{"duplicateAcks", true}}},
        {"stalls", {{"stopAfterBlock", 10}}},
        {"wrong-file", {{"file", "kov-1-rev8.hex"}}},
    };
    for (int i = 0; i < plays.size(); ++i) {
        QJsonObject extra = plays.at(i).second;
        extra.insert("upgradeVersion", "1.7.0");
        extra.insert("rebootMs", 100);
        const QString ip = QStringLiteral("10.77.0.%1").arg(30 + i);
        devices.append(LabTest::device(plays.at(i).first, ip, LabTest::mac(0x77, 30 + i),
                                       QStringLiteral("1.5.%1").arg(i), extra));
    }
    QVERIFY2(lab->addDevices("kbr0", devices) >= 0, qPrintable(lab->error()));

    const QByteArray image = FirmwareTest::builtInImage();
    QVERIFY(!image.isEmpty());
    imageHash = QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex();

    window = std::make_unique<MainWindow>();
    window->show();
    view = window->findChild<QTableView *>("tableView");
    transfers = window->findChild<QTableWidget *>("tableWidget");
    QVERIFY(view && transfers);
    // The late device answers last; what the others sent came before.
    const QString lateMac = deviceNamed("late").value("mac").toString();
    QVERIFY(LabTest::waitFor([&] { return WindowTest::rowOfMac(view->model(), lateMac) >= 0; }));
}

QJsonObject tst_E2eFaults::deviceNamed(const QString &name) const
{
    for (const QJsonObject &d : devices) {
        if (d.value("name").toString() == name)
            return d;
    }
    return QJsonObject();
}

QString tst_E2eFaults::statusOf(const QString &ip) const
{
    return WindowTest::transferStatus(transfers, ip);
}

void tst_E2eFaults::tableStaysRight_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("version");
    QTest::newRow("well-behaved device") << "plain"
                                         << "1.5.0";
    QTest::newRow("reply 400 ms late") << "late"
                                       << "1.5.1";
    QTest::newRow("ten malformed replies before the good one") << "garbler"
                                                               << "1.5.2";
    QTest::newRow("fifty copies and fifty junk replies") << "flooder"
                                                         << "1.5.3";
    QTest::newRow("three-field reply among malformed ones") << "three-fields"
                                                            << "Unknown";
}

void tst_E2eFaults::tableStaysRight()
{
    QFETCH(QString, name);
    QFETCH(QString, version);
    const QJsonObject d = deviceNamed(name);
    const QAbstractItemModel *model = view->model();

    // One row per device: no junk row, no duplicate from the floods.
    QCOMPARE(model->rowCount(), devices.size());
    const int row = WindowTest::rowOfMac(model, d.value("mac").toString());
    QVERIFY(row >= 0);
    QCOMPARE(model->index(row, 1).data().toString(), d.value("ip").toString());
    QCOMPARE(model->index(row, 2).data().toString(), version);
    QCOMPARE(
        window->statusBar()->currentMessage(),
        QStringLiteral("We have %1 live out of a total of %1 KOV-1(s) seen.").arg(devices.size()));
    // The malformed replies name 10.1.1.1 and FF:FF:FF:FF:FF:Fx: nowhere.
    for (int r = 0; r < model->rowCount(); ++r) {
        QVERIFY(!model->index(r, 0).data().toString().startsWith("FF:FF"));
        QVERIFY(model->index(r, 1).data().toString().startsWith("10.77.0."));
    }
}

void tst_E2eFaults::updateAll()
{
    auto *enable = window->findChild<QCheckBox *>("enableTFTPD");
    enable->click();
    QVERIFY(enable->isChecked());
    WindowTest::MessageBoxCatcher boxes(QMessageBox::Yes);
    window->findChild<QPushButton *>("updateAll")->click();
    QCOMPARE(boxes.count(), 1);

    // The stalled transfer takes six seconds to give up; the rest end
    // long before. Every device reports its own end in its log.
    const bool ended = LabTest::waitFor(
        [&] {
            for (const QJsonObject &d : std::as_const(devices)) {
                const QString status = statusOf(d.value("ip").toString());
                if (status.isEmpty() || status.at(0).isDigit())
                    return false;
                if (lab->commands(d.value("name").toString(), "upgrade").isEmpty())
                    return false;
            }
            return true;
        },
        30000);
    QVERIFY(ended);
    QCOMPARE(transfers->rowCount(), devices.size());
}

void tst_E2eFaults::transferOutcome_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("reason"); // empty: the device flashed the image

    QTest::newRow("well-behaved device") << "plain"
                                         << "done"
                                         << "";
    QTest::newRow("first three ACKs lost, then resent") << "loses-first-acks"
                                                        << "done"
                                                        << "";
    QTest::newRow("every 100th ACK lost") << "loses-every-100th-ack"
                                          << "done"
                                          << "";
    QTest::newRow("every ACK sent twice") << "doubles-acks"
                                          << "done"
                                          << "";
    QTest::newRow("device that sent junk replies") << "garbler"
                                                   << "done"
                                                   << "";
    QTest::newRow("silent after block 10") << "stalls"
                                           << "Too many retries"
                                           << "stopped answering after block 10";
    QTest::newRow("asks for a file the server lacks") << "wrong-file"
                                                      << "File not found"
                                                      << "File not found";
}

void tst_E2eFaults::transferOutcome()
{
    QFETCH(QString, name);
    QFETCH(QString, status);
    QFETCH(QString, reason);
    const QJsonObject d = deviceNamed(name);

    QCOMPARE(statusOf(d.value("ip").toString()), status);
    const QList<QJsonObject> results = lab->commands(name, "upgrade");
    QCOMPARE(results.size(), 1);
    const QJsonObject result = results.first();
    if (reason.isEmpty()) {
        QCOMPARE(result.value("result").toString(), QStringLiteral("ok"));
        QCOMPARE(result.value("sha256").toString().toLatin1(), imageHash);
        QCOMPARE(result.value("version").toString(), QStringLiteral("1.7.0"));
    } else {
        QCOMPARE(result.value("result").toString(), QStringLiteral("failed"));
        QVERIFY2(result.value("reason").toString().contains(reason),
                 qPrintable(result.value("reason").toString()));
        QCOMPARE(result.value("version").toString(), d.value("version").toString());
    }
    if (name == QLatin1String("loses-first-acks"))
        QCOMPARE(result.value("acksDropped").toInt(), 3);
    if (name == QLatin1String("loses-every-100th-ack"))
        QVERIFY(result.value("acksDropped").toInt() >= 3);
}

void tst_E2eFaults::failedUpgradeKeepsVersion()
{
    for (const QJsonObject &d : std::as_const(devices)) {
        const QString name = d.value("name").toString();
        if (lab->commands(name, "upgrade").first().value("result").toString()
            == QLatin1String("ok"))
            QVERIFY(LabTest::waitFor([&] { return !lab->commands(name, "booted").isEmpty(); }));
    }
    window->findChild<QPushButton *>("pushButton_2")->click();
    const QAbstractItemModel *model = view->model();
    auto versionOf = [&](const QString &name) {
        const int row = WindowTest::rowOfMac(model, deviceNamed(name).value("mac").toString());
        return model->index(row, 2).data().toString();
    };
    QVERIFY(LabTest::waitFor([&] {
        return versionOf("plain") == QLatin1String("1.7.0")
               && versionOf("late") == QLatin1String("1.7.0");
    }));
    QCOMPARE(versionOf("stalls"), deviceNamed("stalls").value("version").toString());
    QCOMPARE(versionOf("wrong-file"), deviceNamed("wrong-file").value("version").toString());
    QCOMPARE(versionOf("doubles-acks"), QStringLiteral("1.7.0"));
    QCOMPARE(model->rowCount(), devices.size());
}

QTEST_MAIN(tst_E2eFaults)
#include "tst_e2e_faults.moc"
