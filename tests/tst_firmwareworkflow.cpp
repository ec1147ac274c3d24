#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopedPointer>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "firmwaretestutil.h"
#include "firmwareupdate.h"
#include "httptestserver.h"
#include "mainwindow.h"
#include "tftptestclient.h"
#include "tftpdserver.h"
#include "windowtestutil.h"

using namespace WindowTest;

Q_DECLARE_METATYPE(HttpTestServer::Response)

namespace {

const QString VersionTarget = "/webservice/kov-1-rev7.php?o=version";
const QString DownloadTarget = "/webservice/kov-1-rev7.php?o=download";
const QString BuiltInLabel = "Firmware version ready to upload: 1.7.0";

// A well-formed image: size data bytes in 16-byte records, then the
// end-of-file record. seed makes images of the same size differ.
QByteArray hexImage(int size, quint8 seed)
{
    QByteArray image;
    for (int offset = 0; offset < size; offset += 16) {
        QByteArray data;
        for (int i = offset; i < qMin(size, offset + 16); ++i)
            data.append(char(quint8(i * 7 + seed)));
        image += FirmwareTest::hexRecord(0x00, offset, data) + "\r\n";
    }
    return image + FirmwareTest::hexRecord(0x01, 0, QByteArray()) + "\r\n";
}

// Root binds port 69 through CAP_NET_BIND_SERVICE alone: taking it out of
// this thread's effective set (it stays permitted) makes a bind of port 69
// fail for want of permission, as for an ordinary user.
bool setBindCapability(bool on)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    const quint32 bit = 1u << CAP_NET_BIND_SERVICE;
    if (on)
        data[0].effective |= bit;
    else
        data[0].effective &= ~bit;
    return syscall(SYS_capset, &header, data) == 0;
}

} // namespace

class tst_FirmwareWorkflow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void newFirmwareIsServed();
    void redirectsAreFollowed();
    void failingVersionQuery_data();
    void failingVersionQuery();
    void stalledServiceTimesOut_data();
    void stalledServiceTimesOut();
    void failingDownload_data();
    void failingDownload();
    void malformedImageRefused_data();
    void malformedImageRefused();
    void openedFile_data();
    void openedFile();

    void updateAll_data();
    void updateAll();
    void upgradeSelectedDevice();
    void upgradeWithoutSelection();

    void realClientFetch();
    void twoClientsAtOnce();
    void unknownName();
    void silentClientGivesUp();
    void disablingKeepsRunningTransfer();
    void portHeldElsewhere_data();
    void portHeldElsewhere();

private:
    template<typename T = QWidget>
    T *child(const char *name)
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }
    QString label() { return child<QLabel>("label_5")->text(); }
    TFTPDServer &server() { return *window->findChild<TFTPDServer *>(); }
    FirmwareUpdate &update() { return *window->findChild<FirmwareUpdate *>(); }
    void checkForUpdate();
    void enableServer();
    QString status(const QString &address);
    QByteArray servedImage(const QString &name = "kov-1-rev7.hex");

    HttpTestServer http;
    QScopedPointer<DatagramCapture> capture;
    QScopedPointer<MainWindow> window;
    QTemporaryDir scratch;
    QByteArray image18;
    QByteArray image19;
};

void tst_FirmwareWorkflow::initTestCase()
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    QVERIFY(http.start());
    QVERIFY(scratch.isValid());
    capture.reset(new DatagramCapture);
    QVERIFY(capture->isBound());
    image18 = hexImage(3000, 0x18);
    image19 = hexImage(2000, 0x19);
    QVERIFY(!FirmwareTest::builtInImage().isEmpty());
}

void tst_FirmwareWorkflow::init()
{
    WindowTest::failOnBrokenSlotNames();
    http.clearResponses();
    http.clearLog();
    QVERIFY(capture->sync());
    capture->clear();
    window.reset(new MainWindow(http.hostAndPort()));
    // Drop the start-up beacon so each test sees only its own commands.
    QVERIFY(capture->waitFor(1));
    QVERIFY(capture->sync());
    capture->clear();
}

void tst_FirmwareWorkflow::cleanup()
{
    window.reset();
}

// Presses the button and waits until the version query, and the download
// that follows a good one, have ended.
void tst_FirmwareWorkflow::checkForUpdate()
{
    QTest::mouseClick(child<QPushButton>("pushButton"), Qt::LeftButton);
    QVERIFY(update().isRunning());
    QTRY_VERIFY(!update().isRunning());
}

void tst_FirmwareWorkflow::enableServer()
{
    auto *box = child<QCheckBox>("enableTFTPD");
    QTest::mouseClick(box, Qt::LeftButton);
    QVERIFY(box->isChecked());
}

QString tst_FirmwareWorkflow::status(const QString &address)
{
    return transferStatus(child<QTableWidget>("tableWidget"), address);
}

// Fetches a file from the window's TFTP server with curl. (tftp-hpa cannot
// be used here: its resolver refuses even 127.0.0.1 on a host whose only
// IPv4 address is loopback, as in the test's private namespace.)
QByteArray tst_FirmwareWorkflow::servedImage(const QString &name)
{
    const QString path = scratch.filePath("fetched-" + name);
    QFile::remove(path);
    QProcess curl;
    QSignalSpy finished(&curl, &QProcess::finished);
    curl.start("curl", {"-s", "-S", "-o", path, "tftp://127.0.0.1/" + name});
    if (!curl.waitForStarted() || !finished.wait(30000))
        return QByteArray();
    QFile file(path);
    if (curl.exitCode() != 0 || !file.open(QIODevice::ReadOnly)) {
        qWarning() << "curl:" << curl.exitCode() << curl.readAllStandardError();
        return QByteArray();
    }
    return file.readAll();
}

void tst_FirmwareWorkflow::newFirmwareIsServed()
{
    http.setResponse(VersionTarget, HttpTestServer::ok("1.8.0\n"));
    http.setResponse(DownloadTarget, HttpTestServer::ok(image18));
    MessageBoxCatcher boxes;

    checkForUpdate();
    QCOMPARE(http.requests(), (QStringList{"GET " + VersionTarget, "GET " + DownloadTarget}));
    QCOMPARE(label(), QString("Firmware version ready to upload: 1.8.0\n"));
    QCOMPARE(server().getVersion("kov-1-rev7.hex"), QString("1.8.0\n"));
    QVERIFY(boxes.isEmpty());

    enableServer();
    QCOMPARE(servedImage(), image18);

    // A second round replaces the image again; no version is compared.
    http.setResponse(VersionTarget, HttpTestServer::ok("1.7.0"));
    http.setResponse(DownloadTarget, HttpTestServer::ok(image19));
    checkForUpdate();
    QCOMPARE(label(), QString("Firmware version ready to upload: 1.7.0"));
    QCOMPARE(servedImage(), image19);
}

void tst_FirmwareWorkflow::redirectsAreFollowed()
{
    // The service's pages may move: the texts come from where they lead,
    // never from the redirect itself.
    http.setResponse(VersionTarget, HttpTestServer::redirect("/moved/version.txt"));
    http.setResponse("/moved/version.txt", HttpTestServer::ok("1.8.0\n"));
    http.setResponse(DownloadTarget, HttpTestServer::redirect("/moved/image.hex"));
    http.setResponse("/moved/image.hex", HttpTestServer::ok(image18));

    checkForUpdate();
    QCOMPARE(http.requests(), (QStringList{"GET " + VersionTarget, "GET /moved/version.txt",
                                           "GET " + DownloadTarget, "GET /moved/image.hex"}));
    QCOMPARE(label(), QString("Firmware version ready to upload: 1.8.0\n"));
    enableServer();
    QCOMPARE(servedImage(), image18);
}

void tst_FirmwareWorkflow::failingVersionQuery_data()
{
    QTest::addColumn<bool>("refused");
    QTest::addColumn<HttpTestServer::Response>("response");

    QTest::newRow("connection refused") << true << HttpTestServer::Response();
    QTest::newRow("HTTP 404") << false << HttpTestServer::status(404, "1.8.0\n");
    QTest::newRow("HTTP 500") << false << HttpTestServer::status(500, "1.8.0\n");
    QTest::newRow("connection dropped") << false << HttpTestServer::dropped();
    QTest::newRow("redirect to a missing page")
        << false << HttpTestServer::redirect("/webservice/missing.php");
}

void tst_FirmwareWorkflow::failingVersionQuery()
{
    QFETCH(bool, refused);
    QFETCH(HttpTestServer::Response, response);

    if (refused) {
        // A port that was just free: nothing listens there.
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        const quint16 port = closed.serverPort();
        closed.close();
        window.reset(new MainWindow("127.0.0.1:" + QString::number(port)));
    }
    http.setResponse(VersionTarget, response);
    http.setResponse(DownloadTarget, HttpTestServer::ok(image18));
    MessageBoxCatcher boxes;

    checkForUpdate();
    QCOMPARE(http.count(DownloadTarget), 0);
    if (refused)
        QCOMPARE(http.count(VersionTarget), 0);
    else
        QVERIFY(http.count(VersionTarget) >= 1);
    QVERIFY(update().version().isEmpty());
    QCOMPARE(label(), BuiltInLabel);
    QCOMPARE(server().getVersion("kov-1-rev7.hex"), QString("1.7.0"));
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().title, QString("Firmware check failed"));
}

void tst_FirmwareWorkflow::stalledServiceTimesOut_data()
{
    QTest::addColumn<bool>("downloadStalls");

    QTest::newRow("version query stalls") << false;
    QTest::newRow("download stalls") << true;
}

void tst_FirmwareWorkflow::stalledServiceTimesOut()
{
    // The service accepts the request and never answers.
    QFETCH(bool, downloadStalls);
    window.reset(new MainWindow(http.hostAndPort(), 300));
    http.setResponse(VersionTarget, downloadStalls ? HttpTestServer::ok("1.8.0\n")
                                                   : HttpTestServer::held("1.8.0\n"));
    http.setResponse(DownloadTarget, HttpTestServer::held(image18));
    MessageBoxCatcher boxes;

    const int heldBefore = http.heldCount();
    auto *button = child<QPushButton>("pushButton");
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!button->isEnabled());
    QVERIFY2(label().startsWith("Checking"), qPrintable(label()));
    QTRY_COMPARE(http.heldCount(), heldBefore + 1);
    if (downloadStalls)
        QCOMPARE(label(), QString("Downloading firmware 1.8.0 from Veltrane..."));
    QTest::mouseClick(button, Qt::LeftButton);

    QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 10000);
    QCOMPARE(http.count(VersionTarget), 1);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().title, QString("Firmware check failed"));
    QCOMPARE(boxes.last().icon, QMessageBox::Warning);
    QVERIFY2(boxes.last().text.contains("did not answer within 0.3 s"),
             qPrintable(boxes.last().text));
    QCOMPARE(label(), BuiltInLabel);
    QCOMPARE(server().getVersion("kov-1-rev7.hex"), QString("1.7.0"));
}

void tst_FirmwareWorkflow::failingDownload_data()
{
    QTest::addColumn<HttpTestServer::Response>("response");

    QTest::newRow("HTTP 404") << HttpTestServer::status(404, image18);
    QTest::newRow("HTTP 500") << HttpTestServer::status(500, image18);
    QTest::newRow("connection dropped") << HttpTestServer::dropped();
}

void tst_FirmwareWorkflow::failingDownload()
{
    QFETCH(HttpTestServer::Response, response);

    http.setResponse(VersionTarget, HttpTestServer::ok("1.8.0\n"));
    http.setResponse(DownloadTarget, response);
    MessageBoxCatcher boxes;

    checkForUpdate();
    // Qt resends a GET once when the connection closes before an answer.
    QVERIFY(http.count(DownloadTarget) >= 1);
    QCOMPARE(label(), BuiltInLabel);
    QCOMPARE(server().getVersion("kov-1-rev7.hex"), QString("1.7.0"));
    QCOMPARE(update().version(), QString("1.8.0\n"));
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().title, QString("Firmware check failed"));
    enableServer();
    QCOMPARE(servedImage(), FirmwareTest::builtInImage());

    // The version text already read goes with the next good download.
    http.setResponse(DownloadTarget, HttpTestServer::ok(image18));
    update().downloadFirmware();
    QTRY_VERIFY(!update().isRunning());
    QCOMPARE(label(), QString("Firmware version ready to upload: 1.8.0\n"));
    QCOMPARE(servedImage(), image18);
}

void tst_FirmwareWorkflow::malformedImageRefused_data()
{
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("HTML error page")
        << QByteArray("<html><head><title>Error</title></head><body>Service unavailable"
                      "</body></html>\n");
    QTest::newRow("truncated image") << image18.left(image18.size() / 2);
    QByteArray badChecksum = image18;
    const int lineEnd = badChecksum.indexOf("\r\n");
    badChecksum[lineEnd - 1] = badChecksum[lineEnd - 1] == '0' ? '1' : '0';
    QTest::newRow("bad checksum") << badChecksum;
    QTest::newRow("empty body") << QByteArray();
}

void tst_FirmwareWorkflow::malformedImageRefused()
{
    QFETCH(QByteArray, body);

    http.setResponse(VersionTarget, HttpTestServer::ok("1.8.0\n"));
    http.setResponse(DownloadTarget, HttpTestServer::ok(body));
    MessageBoxCatcher boxes;

    checkForUpdate();
    QCOMPARE(http.count(DownloadTarget), 1);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().title, QString("Firmware refused"));
    QVERIFY2(boxes.last().text.startsWith("The downloaded firmware was refused: "),
             qPrintable(boxes.last().text));
    QVERIFY(boxes.last().text.endsWith("The firmware ready to upload is unchanged."));
    QCOMPARE(boxes.last().icon, QMessageBox::Warning);
    QCOMPARE(label(), BuiltInLabel);
    QCOMPARE(server().getVersion("kov-1-rev7.hex"), QString("1.7.0"));
    enableServer();
    QCOMPARE(servedImage(), FirmwareTest::builtInImage());
}

void tst_FirmwareWorkflow::openedFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("answer");  // to the version question; empty: not asked
    QTest::addColumn<QString>("version"); // served afterwards
    QTest::addColumn<QString>("refusal"); // part of the message; empty: none

    QTest::newRow("version in the name") << "KOV_rev7_2.0.1.hex" << image18 << ""
                                         << "2.0.1"
                                         << "";
    QTest::newRow("version asked") << "mine.hex" << image19 << " 2.1.0 "
                                   << "2.1.0"
                                   << "";
    QTest::newRow("not Intel HEX")
        << "KOV_rev7_2.0.1.hex" << QByteArray("<html>Not found</html>\n") << ""
        << "1.7.0"
        << "KOV_rev7_2.0.1.hex was refused: line 1: record does not start with ':'.";
    QTest::newRow("too large to serve")
        << "big.hex" << QByteArray(33553921, '0') << ""
        << "1.7.0"
        << "big.hex was refused: file too large to serve by TFTP (33553921 bytes, limit 33553919).";
}

void tst_FirmwareWorkflow::openedFile()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, answer);
    QFETCH(QString, version);
    QFETCH(QString, refusal);

    const QString path = scratch.filePath(name);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), qint64(content.size()));
    file.close();

    // Answers the file dialog with path and the version question with answer.
    bool asked = false;
    QTimer dialogs;
    connect(&dialogs, &QTimer::timeout, [&] {
        if (auto *open = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            // As typed: selectFile() is lost while the directory still loads.
            open->findChild<QLineEdit *>("fileNameEdit")->setText(path);
            static_cast<QDialog *>(open)->accept(); // as the Open button does
        } else if (auto *input = qobject_cast<QInputDialog *>(QApplication::activeModalWidget())) {
            asked = true;
            input->setTextValue(answer);
            input->accept();
        }
    });
    dialogs.start(20);
    MessageBoxCatcher boxes;
    if (answer.isEmpty())
        child<QPushButton>("openFirmwareButton")->click();
    else
        child<QAction>("actionOpenFirmware")->trigger();

    QCOMPARE(asked, !answer.isEmpty());
    QCOMPARE(boxes.count(), refusal.isEmpty() ? 0 : 1);
    if (!refusal.isEmpty()) {
        QCOMPARE(boxes.last().title, QString("Firmware refused"));
        QCOMPARE(boxes.last().text, refusal + " The firmware ready to upload is unchanged.");
    }
    QCOMPARE(label(), "Firmware version ready to upload: " + version);
    enableServer();
    QCOMPARE(servedImage(), refusal.isEmpty() ? content : FirmwareTest::builtInImage());
}

void tst_FirmwareWorkflow::updateAll_data()
{
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<int>("sent");

    QTest::newRow("answered No") << QMessageBox::No << 0;
    QTest::newRow("answered Yes") << QMessageBox::Yes << 1;
}

void tst_FirmwareWorkflow::updateAll()
{
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(int, sent);

    MessageBoxCatcher boxes(answer);
    QTest::mouseClick(child<QPushButton>("updateAll"), Qt::LeftButton);
    QCOMPARE(boxes.count(), 1);
    const MessageBoxRecord box = boxes.last();
    QCOMPARE(box.title, QString("Are you sure?"));
    QCOMPARE(box.text,
             QString("Are you sure you wish to upgrade all KOV-1's? This is a potentially "
                     "dangerous operation that could leave the KOV-1's' inoperable."));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);

    QVERIFY(capture->sync());
    QCOMPARE(capture->count(), sent);
    if (sent) {
        const CapturedDatagram upgrade = capture->takeFirst();
        QCOMPARE(upgrade.data, command(0x04));
        QCOMPARE(upgrade.destination, QHostAddress(QHostAddress::Broadcast));
    }
}

void tst_FirmwareWorkflow::upgradeSelectedDevice()
{
    QVERIFY(WindowTest::showWindow(window.data()));
    auto *view = child<QTableView>("tableView");
    const int other = announceDevice(view->model(), "1.7.0", "10.0.0.8", "00:11:22:33:44:88");
    const int row = announceDevice(view->model(), "1.7.0", "10.0.0.7", "00:11:22:33:44:77");
    QVERIFY(other >= 0 && row >= 0);
    clickRow(view, row);
    QVERIFY(child("frame")->isEnabled());

    MessageBoxCatcher boxes(QMessageBox::No);
    QTest::mouseClick(child<QPushButton>("pushButton_11"), Qt::LeftButton);
    QCOMPARE(boxes.count(), 1);
    QVERIFY(capture->sync());
    QVERIFY(capture->isEmpty());

    boxes.setAnswer(QMessageBox::Yes);
    QTest::mouseClick(child<QPushButton>("pushButton_11"), Qt::LeftButton);
    QCOMPARE(boxes.count(), 2);
    const MessageBoxRecord box = boxes.last();
    QCOMPARE(box.title, QString("Are you sure?"));
    QCOMPARE(box.text,
             QString("Are you sure you wish to upgrade this KOV-1? This is a potentially "
                     "dangerous operation that could leave the KOV-1 inoperable."));
    QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box.defaultButton, QMessageBox::NoButton);

    QVERIFY(capture->sync());
    QCOMPARE(capture->count(), 1);
    const CapturedDatagram upgrade = capture->takeFirst();
    QCOMPARE(upgrade.data, command(0x04));
    QCOMPARE(upgrade.destination, QHostAddress("10.0.0.7"));
}

void tst_FirmwareWorkflow::upgradeWithoutSelection()
{
    QVERIFY(WindowTest::showWindow(window.data()));
    auto *view = child<QTableView>("tableView");
    const int row = announceDevice(view->model(), "1.7.0", "10.0.0.7", "00:11:22:33:44:77");
    QVERIFY(row >= 0);
    clickRow(view, row);
    QVERIFY(child("frame")->isEnabled());
    // A header click sorts, which drops the selection and disables the
    // panel: the button does nothing.
    QHeaderView *header = view->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
    QVERIFY(!view->selectionModel()->hasSelection());
    QVERIFY(!child("frame")->isEnabled());

    MessageBoxCatcher boxes(QMessageBox::Yes);
    QTest::mouseClick(child<QPushButton>("pushButton_11"), Qt::LeftButton);
    QCOMPARE(boxes.count(), 0);
    // Reached all the same, the upgrade asks and then has no device to order.
    QVERIFY(QMetaObject::invokeMethod(window.data(), "on_pushButton_11_clicked"));
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().title, QString("Are you sure?"));
    QVERIFY(capture->sync());
    QVERIFY(capture->isEmpty());
}

void tst_FirmwareWorkflow::realClientFetch()
{
    auto *table = child<QTableWidget>("tableWidget");
    QStringList statuses;
    connect(table, &QTableWidget::itemChanged, this, [&statuses](QTableWidgetItem *item) {
        // A new row's status cell starts empty before its first report.
        if (item->column() == 1 && !item->text().isEmpty())
            statuses << item->text();
    });
    enableServer();
    QCOMPARE(servedImage(), FirmwareTest::builtInImage());
    QTRY_COMPARE(status("127.0.0.1"), QString("done"));
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(table->item(0, 0)->text(), QString("127.0.0.1"));

    // 0 first, never falling, 100 last, then "done".
    QVERIFY(statuses.size() >= 3);
    QCOMPARE(statuses.first(), QString("0"));
    QCOMPARE(statuses.last(), QString("done"));
    QCOMPARE(statuses.at(statuses.size() - 2), QString("100"));
    int previous = 0;
    for (int i = 0; i < statuses.size() - 1; ++i) {
        bool ok = false;
        const int p = statuses.at(i).toInt(&ok);
        QVERIFY2(ok, qPrintable(statuses.at(i)));
        QVERIFY(p >= previous);
        previous = p;
    }

    // A second fetch by the same address reuses its row.
    statuses.clear();
    QCOMPARE(servedImage(), FirmwareTest::builtInImage());
    QTRY_COMPARE(statuses.value(statuses.size() - 1), QString("done"));
    QCOMPARE(table->rowCount(), 1);
}

void tst_FirmwareWorkflow::twoClientsAtOnce()
{
    auto *table = child<QTableWidget>("tableWidget");
    enableServer();

    // The client on 127.0.0.2 takes its first block and then waits, so its
    // transfer is still open while curl fetches from 127.0.0.1.
    TftpTest::Transfer slow(QHostAddress("127.0.0.2"));
    QVERIFY(slow.isBound());
    slow.setAcking(false);
    slow.request("kov-1-rev7.hex");
    QTRY_VERIFY(slow.lastBlock >= 1);
    QTRY_COMPARE(status("127.0.0.2"), QString("0"));

    QCOMPARE(servedImage(), FirmwareTest::builtInImage());
    QTRY_COMPARE(status("127.0.0.1"), QString("done"));
    QVERIFY(status("127.0.0.2") != "done");

    slow.setAcking(true);
    QTRY_VERIFY(slow.complete);
    QTRY_COMPARE(status("127.0.0.2"), QString("done"));
    QCOMPARE(slow.data, FirmwareTest::builtInImage());
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(0, 0)->text(), QString("127.0.0.2"));
    QCOMPARE(table->item(1, 0)->text(), QString("127.0.0.1"));
}

void tst_FirmwareWorkflow::unknownName()
{
    enableServer();
    const QString path = scratch.filePath("missing");
    QProcess curl;
    QSignalSpy finished(&curl, &QProcess::finished);
    curl.start("curl", {"-s", "-o", path, "tftp://127.0.0.1/no-such-image.hex"});
    QVERIFY(curl.waitForStarted());
    QVERIFY(finished.wait(30000));
    QVERIFY(curl.exitCode() != 0);
    QTRY_COMPARE(status("127.0.0.1"), QString("File not found"));
    QCOMPARE(child<QTableWidget>("tableWidget")->rowCount(), 1);
}

void tst_FirmwareWorkflow::silentClientGivesUp()
{
    enableServer();
    TftpTest::Transfer silent(QHostAddress("127.0.0.3"));
    QVERIFY(silent.isBound());
    silent.setAcking(false);
    silent.request("kov-1-rev7.hex");
    QTRY_COMPARE(status("127.0.0.3"), QString("0"));
    // One first send and five resends, one second apart.
    QTRY_COMPARE_WITH_TIMEOUT(status("127.0.0.3"), QString("Too many retries"), 15000);
    QCOMPARE(silent.lastBlock, quint16(1));
}

void tst_FirmwareWorkflow::disablingKeepsRunningTransfer()
{
    enableServer();
    TftpTest::Transfer running(QHostAddress("127.0.0.2"));
    running.setAcking(false);
    running.request("kov-1-rev7.hex");
    QTRY_COMPARE(status("127.0.0.2"), QString("0"));

    QTest::mouseClick(child<QCheckBox>("enableTFTPD"), Qt::LeftButton);
    QVERIFY(!child<QCheckBox>("enableTFTPD")->isChecked());

    // Port 69 is free again: a new request meets a closed port.
    QUdpSocket late;
    late.connectToHost(QHostAddress::LocalHost, 69);
    QVERIFY(late.waitForConnected());
    QSignalSpy lateError(&late, &QUdpSocket::errorOccurred);
    connect(&late, &QUdpSocket::readyRead, &late, [&late] {
        // The refusal shows when the pending error is read.
        char buffer[1024];
        late.readDatagram(buffer, sizeof buffer);
    });
    late.write(QByteArray("\0\1kov-1-rev7.hex\0octet\0", 24));
    QVERIFY(!lateError.isEmpty() || lateError.wait());
    QCOMPARE(late.error(), QAbstractSocket::ConnectionRefusedError);

    // The transfer under way goes on to its end.
    running.setAcking(true);
    QTRY_VERIFY(running.complete);
    QTRY_COMPARE(status("127.0.0.2"), QString("done"));
    QCOMPARE(running.data, FirmwareTest::builtInImage());
    QCOMPARE(child<QTableWidget>("tableWidget")->rowCount(), 1);
}

void tst_FirmwareWorkflow::portHeldElsewhere_data()
{
    QTest::addColumn<bool>("inUse");

    QTest::newRow("another server holds the port") << true;
    QTest::newRow("no permission for port 69") << false;
}

void tst_FirmwareWorkflow::portHeldElsewhere()
{
    QFETCH(bool, inUse);
    QUdpSocket holder;
    if (inUse)
        QVERIFY(holder.bind(QHostAddress::AnyIPv4, 69, QUdpSocket::DontShareAddress));
    else
        QVERIFY(setBindCapability(false));

    MessageBoxCatcher boxes;
    auto *box = child<QCheckBox>("enableTFTPD");
    QTest::mouseClick(box, Qt::LeftButton);
    if (!inUse)
        QVERIFY(setBindCapability(true));
    QCOMPARE(boxes.count(), 1);
    const MessageBoxRecord shown = boxes.last();
    QCOMPARE(shown.icon, QMessageBox::Warning);
    QVERIFY2(shown.text.startsWith(
                 "Could not bind to socket, make sure no other TFTP Server is running."),
             qPrintable(shown.text));
    QVERIFY(!server().bindErrorString().isEmpty());
    QVERIFY(shown.text.contains(server().bindErrorString()));
    // The advice fits the cause.
    QCOMPARE(shown.text.contains("cap_net_bind_service"), !inUse);
    QCOMPARE(shown.text.contains("in use by another program; which one is not known"), inUse);
    QVERIFY(!box->isChecked());

    // Once the port is free, ticking the box starts the server.
    holder.close();
    QTest::mouseClick(box, Qt::LeftButton);
    QVERIFY(box->isChecked());
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(servedImage(), FirmwareTest::builtInImage());
}

QTEST_MAIN(tst_FirmwareWorkflow)
#include "tst_firmwareworkflow.moc"
