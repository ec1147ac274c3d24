#include <QCheckBox>
#include <QCryptographicHash>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

#include "firmwaretestutil.h"
#include "httptestserver.h"
#include "labtestutil.h"
#include "mainwindow.h"
#include "windowtestutil.h"

// Firmware upgrades from the real window's TFTP server to simulated
// devices: one selected device, then every device on the subnet. The
// devices fetch the image by TFTP, check it as Intel HEX and log its hash.
class tst_E2eUpgrade : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void upgradeSelectedDevice();
    void updateAll();
    void updateAllWithDownloadedImage();

private:
    QString statusOf(const QString &ip) const;

    std::unique_ptr<LabTest::Lab> lab;
    HttpTestServer web;
    std::unique_ptr<MainWindow> window;
    QTableView *view = nullptr;
    QTableWidget *transfers = nullptr;
    QStringList names;
    QStringList ips;
    QStringList macs;
    QByteArray imageHash;
    qint64 imageSize = 0;
};

void tst_E2eUpgrade::initTestCase()
{
    lab = std::make_unique<LabTest::Lab>(QStringLiteral(KOV_SIM_PATH));
    QVERIFY2(lab->addSubnet("kbr0", "10.77.0.1/24", true), qPrintable(lab->error()));
    // Twenty devices on two hosts of ten.
    for (int h = 0; h < 2; ++h) {
        QList<QJsonObject> devices;
        for (int i = h * 10; i < h * 10 + 10; ++i) {
            names.append(QStringLiteral("d%1").arg(i));
            ips.append(QStringLiteral("10.77.0.%1").arg(10 + i));
            macs.append(LabTest::mac(0x77, i));
            devices.append(LabTest::device(names.last(), ips.last(), macs.last(),
                                           QStringLiteral("1.6.%1").arg(i % 3),
                                           {{"upgradeVersion", "1.7.0"}, {"rebootMs", 100}}));
        }
        QVERIFY2(lab->addDevices("kbr0", devices) >= 0, qPrintable(lab->error()));
    }

    // The window asks the local web service for new firmware.
    QVERIFY(web.start());
    window = std::make_unique<MainWindow>(web.hostAndPort());
    QVERIFY(WindowTest::showWindow(window.get()));
    view = window->findChild<QTableView *>("tableView");
    transfers = window->findChild<QTableWidget *>("tableWidget");
    QVERIFY(view && transfers);
    QTRY_COMPARE(view->model()->rowCount(), 20);

    // The image the server holds is the built-in one.
    const QByteArray bytes = FirmwareTest::builtInImage();
    QVERIFY(bytes.size() > 512);
    imageHash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
    imageSize = bytes.size();

    auto *enable = window->findChild<QCheckBox *>("enableTFTPD");
    QVERIFY(enable);
    enable->click();
    QVERIFY(enable->isChecked());
}

QString tst_E2eUpgrade::statusOf(const QString &ip) const
{
    return WindowTest::transferStatus(transfers, ip);
}

void tst_E2eUpgrade::upgradeSelectedDevice()
{
    const int chosen = 13;
    const int row = WindowTest::rowOfMac(view->model(), macs.at(chosen));
    QVERIFY(row >= 0);
    view->scrollTo(view->model()->index(row, 0));
    WindowTest::clickRow(view, row);

    WindowTest::MessageBoxCatcher boxes(QMessageBox::Yes);
    window->findChild<QPushButton *>("pushButton_11")->click();
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().title, QStringLiteral("Are you sure?"));

    LabTest::waitFor([&] { return statusOf(ips.at(chosen)) == QLatin1String("done"); });
    QCOMPARE(statusOf(ips.at(chosen)), QStringLiteral("done"));
    QCOMPARE(transfers->rowCount(), 1);
    QTRY_COMPARE(lab->commands(names.at(chosen), "upgrade").size(), 1);
    const QJsonObject result = lab->commands(names.at(chosen), "upgrade").first();
    QCOMPARE(result.value("result").toString(), QStringLiteral("ok"));
    QCOMPARE(result.value("sha256").toString().toLatin1(), imageHash);
    QCOMPARE(result.value("size").toInteger(), imageSize);
    QCOMPARE(result.value("server").toString(), QStringLiteral("10.77.0.1"));
    QCOMPARE(result.value("blocks").toInt(), int(imageSize / 512 + 1));

    // The order went to that device only.
    for (int i = 0; i < names.size(); ++i) {
        if (i != chosen)
            QVERIFY2(lab->commands(names.at(i), "upgrade-order").isEmpty(),
                     qPrintable(names.at(i)));
    }
    QCOMPARE(lab->commands(names.at(chosen), "upgrade-order").first().value("to").toString(),
             ips.at(chosen));
    // It restarts on the new image before it takes orders again.
    QTRY_COMPARE(lab->commands(names.at(chosen), "booted").size(), 1);
}

void tst_E2eUpgrade::updateAll()
{
    WindowTest::MessageBoxCatcher boxes(QMessageBox::Yes);
    window->findChild<QPushButton *>("updateAll")->click();
    QCOMPARE(boxes.count(), 1);

    LabTest::waitFor([&] {
        for (const QString &ip : std::as_const(ips)) {
            if (statusOf(ip) != QLatin1String("done"))
                return false;
        }
        return true;
    });
    QCOMPARE(transfers->rowCount(), 20);
    for (const QString &ip : std::as_const(ips))
        QCOMPARE(statusOf(ip), QStringLiteral("done"));

    for (const QString &name : std::as_const(names)) {
        const QList<QJsonObject> orders = lab->commands(name, "upgrade-order");
        QVERIFY(!orders.isEmpty());
        QCOMPARE(orders.last().value("to").toString(), QStringLiteral("255.255.255.255"));
        QTRY_VERIFY(!lab->commands(name, "upgrade").isEmpty()
                    && lab->commands(name, "upgrade").last().value("to").isUndefined()
                    && lab->commands(name, "upgrade").size() == orders.size());
        const QJsonObject result = lab->commands(name, "upgrade").last();
        QCOMPARE(result.value("result").toString(), QStringLiteral("ok"));
        QCOMPARE(result.value("sha256").toString().toLatin1(), imageHash);
        QCOMPARE(result.value("size").toInteger(), imageSize);
    }

    // Restarted on the new firmware, they answer with its version.
    for (const QString &name : std::as_const(names))
        QTRY_COMPARE(lab->commands(name, "booted").size(), lab->commands(name, "upgrade").size());
    window->findChild<QPushButton *>("pushButton_2")->click();
    for (int i = 0; i < macs.size(); ++i) {
        const int row = WindowTest::rowOfMac(view->model(), macs.at(i));
        QTRY_COMPARE(view->model()->index(row, 2).data().toString(), QStringLiteral("1.7.0"));
    }
}

// An Intel HEX image of 16-byte data records whose size is a multiple of
// 512, so that its TFTP transfer ends with an empty block.
static QByteArray blockAlignedImage()
{
    const int dataLine = 45; // ":10" address type 32 digits checksum CR LF
    const int endLine = 13;  // ":00000001FF\r\n"
    int records = 600;
    while ((records * dataLine + endLine) % 512 != 0)
        ++records;
    QByteArray image;
    for (int r = 0; r < records; ++r) {
        QByteArray record;
        record.append(char(16));
        record.append(char((r * 16) >> 8));
        record.append(char((r * 16) & 0xff));
        record.append(char(0));
        for (int i = 0; i < 16; ++i)
            record.append(char((r * 7 + i * 13) & 0xff));
        quint8 sum = 0;
        for (char b : std::as_const(record))
            sum += quint8(b);
        record.append(char(quint8(-sum)));
        image += ':' + record.toHex().toUpper() + "\r\n";
    }
    image += ":00000001FF\r\n";
    return image;
}

void tst_E2eUpgrade::updateAllWithDownloadedImage()
{
    const QByteArray image = blockAlignedImage();
    QCOMPARE(image.size() % 512, 0);
    web.setResponse("/webservice/kov-1-rev7.php?o=version", HttpTestServer::ok("1.8.0"));
    web.setResponse("/webservice/kov-1-rev7.php?o=download", HttpTestServer::ok(image));

    WindowTest::MessageBoxCatcher boxes(QMessageBox::Yes);
    window->findChild<QPushButton *>("pushButton")->click();
    auto *label = window->findChild<QLabel *>("label_5");
    QTRY_COMPARE(label->text(), QStringLiteral("Firmware version ready to upload: 1.8.0"));
    QVERIFY(boxes.isEmpty());

    QMap<QString, int> before;
    for (const QString &name : std::as_const(names))
        before[name] = lab->commands(name, "upgrade").size();
    window->findChild<QPushButton *>("updateAll")->click();
    QCOMPARE(boxes.count(), 1);

    QVERIFY(LabTest::waitFor([&] {
        for (const QString &name : std::as_const(names)) {
            if (lab->commands(name, "upgrade").size() <= before.value(name))
                return false;
        }
        return true;
    }));
    const QByteArray hash = QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex();
    for (const QString &name : std::as_const(names)) {
        const QJsonObject result = lab->commands(name, "upgrade").last();
        QCOMPARE(result.value("result").toString(), QStringLiteral("ok"));
        QCOMPARE(result.value("sha256").toString().toLatin1(), hash);
        QCOMPARE(result.value("size").toInteger(), qint64(image.size()));
        QCOMPARE(result.value("blocks").toInt(), int(image.size() / 512 + 1));
    }
    QVERIFY(LabTest::waitFor([&] {
        for (const QString &ip : std::as_const(ips)) {
            if (statusOf(ip) != QLatin1String("done"))
                return false;
        }
        return true;
    }));
    QCOMPARE(transfers->rowCount(), 20);
}

QTEST_MAIN(tst_E2eUpgrade)
#include "tst_e2e_upgrade.moc"
