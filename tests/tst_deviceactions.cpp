// The device panel driven through the real main window: a row click fills
// and enables the panel, and each button sends its command datagram to the
// device's reported address, captured on a real UDP socket on port 5999.

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QLabel>
#include <QRegularExpression>
#include <QSettings>
#include <QStatusBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>
#include <functional>

#include "devicepage.h"
#include "finddevicesdialog.h"
#include "mainwindow.h"
#include "windowtestutil.h"

using namespace WindowTest;

namespace {

const QString DeviceA = QStringLiteral("10.0.0.5");
const QString DeviceB = QStringLiteral("10.0.0.7");
const QString MacA = QStringLiteral("00:11:22:33:44:55");
const QString MacB = QStringLiteral("00:11:22:33:44:77");

// Every control of the device panel, by object name.
const QStringList PanelControls = {"ipAddress",     "macAddress",    "webConfigButton",
                                   "pushButton_12", "pushButton_10", "pushButton_11",
                                   "pushButton_3",  "pushButton_4",  "pushButton_5",
                                   "pushButton_6",  "pushButton_7",  "pushButton_8",
                                   "checkBox",      "checkBox_2",    "checkBox_3",
                                   "checkBox_4",    "spinBox",       "lineEdit",
                                   "pushButton_13", "pushButton_9"};

QByteArray relayCommand(int relay, bool closed)
{
    return command(0x05, QByteArray(1, char(relay)) + char(closed ? 1 : 0));
}

} // namespace

// Stands in for the desktop browser: QDesktopServices hands it every
// "http" URL the window opens.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void openUrl(const QUrl &url) { urls.append(url); }
};

class tst_DeviceActions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void beaconAtStartAndOnDemand();
    void panelDisabledUntilRowClicked();
    void rowClickFillsAndEnablesPanel();
    void relayButtons_data();
    void relayButtons();
    void rebootAsksNoQuestion();
    void commandsFollowTheClickedRow();
    void headerClickLeavesNoTarget();
    void arrowKeysRetargetAndRefresh();
    void enterShowsCurrentRow();
    void doubleClickShowsRow();
    void webConfigOpensDevicePage();
    void launchTelnet();
    void aboutBox();
    void panelShowsTheTarget_data();
    void panelShowsTheTarget();
    void findDevicesAtRemembersRanges();
    void exportShownRows();

private:
    template<typename T>
    T *child(const QString &name)
    {
        T *widget = window->findChild<T *>(name);
        if (!widget)
            qWarning("no child %s", qPrintable(name));
        return widget;
    }
    QTableView *view() { return child<QTableView>("tableView"); }
    QString shownIp() { return child<QLineEdit>("ipAddress")->text(); }
    QString shownMac() { return child<QLineEdit>("macAddress")->text(); }
    void click(const QString &button)
    {
        QPushButton *b = child<QPushButton>(button);
        QVERIFY2(b, qPrintable(button));
        QTest::mouseClick(b, Qt::LeftButton);
    }
    // Announces both devices, A at 10.0.0.5 and B at 10.0.0.7.
    bool announceBoth()
    {
        return announceDevice(view()->model(), "1.7.0", DeviceA, MacA) >= 0
               && announceDevice(view()->model(), "1.6.2", DeviceB, MacB) >= 0;
    }
    void clickHeader(int section)
    {
        QHeaderView *header = view()->horizontalHeader();
        const int x = header->sectionViewportPosition(section) + header->sectionSize(section) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(x, header->height() / 2));
    }

    // Runs the "Find devices at" dialog from the File menu; fill works on
    // it while it is open and returns whether to press Find.
    void findDevicesAt(const std::function<bool(FindDevicesDialog *)> &fill)
    {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto *dialog = qobject_cast<FindDevicesDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            poll.stop();
            if (fill(dialog))
                dialog->findChild<QPushButton *>("findButton")->click();
            else
                dialog->reject();
        });
        poll.start(20);
        window->findChild<QAction *>("actionFindDevices")->trigger();
    }

    DatagramCapture *capture = nullptr;
    MainWindow *window = nullptr;
};

void tst_DeviceActions::initTestCase()
{
    WindowTest::setProgramIdentity();
}

void tst_DeviceActions::init()
{
    WindowTest::failOnBrokenSlotNames();
    QSettings().remove(DevicePage::RangesKey);

    // Bound before the window, so its start-up beacon is seen.
    capture = new DatagramCapture;
    QVERIFY(capture->isBound());
    window = new MainWindow;
    QVERIFY(WindowTest::showWindow(window));
    QVERIFY(view());
}

void tst_DeviceActions::cleanup()
{
    QSettings().remove(DevicePage::RangesKey);
    delete window;
    window = nullptr;
    delete capture;
    capture = nullptr;
}

void tst_DeviceActions::beaconAtStartAndOnDemand()
{
    const QByteArray beacon = command(0x02);
    QVERIFY(capture->sync());
    QVERIFY(capture->count() >= 1);
    CapturedDatagram start = capture->takeFirst();
    QCOMPARE(start.data, beacon);
    QCOMPARE(start.destination, QHostAddress(QHostAddress::Broadcast));
    capture->clear();

    click("pushButton_2");
    QVERIFY(capture->sync());
    QVERIFY(capture->count() >= 1);
    const CapturedDatagram again = capture->takeFirst();
    QCOMPARE(again.data, beacon);
    QCOMPARE(again.destination, QHostAddress(QHostAddress::Broadcast));
}

void tst_DeviceActions::panelDisabledUntilRowClicked()
{
    MessageBoxCatcher boxes;
    QVERIFY(announceBoth());
    QVERIFY(capture->sync());
    capture->clear();

    for (const QString &name : PanelControls) {
        QWidget *widget = child<QWidget>(name);
        QVERIFY2(widget, qPrintable(name));
        QVERIFY2(!widget->isEnabled(), qPrintable(name));
    }
    QVERIFY(child<QWidget>("pushButton_2")->isEnabled());
    QVERIFY(shownIp().isEmpty());
    QVERIFY(shownMac().isEmpty());

    // Clicks on the disabled panel reach nothing.
    for (const char *name : {"pushButton_3", "pushButton_4", "pushButton_10", "pushButton_12"})
        click(name);
    QVERIFY(capture->sync());
    QCOMPARE(capture->count(), 0);
    QCOMPARE(boxes.count(), 0);

    click("pushButton_2");
    QVERIFY(capture->sync());
    QCOMPARE(capture->count(), 1);
    QCOMPARE(capture->takeFirst().data, command(0x02));
}

void tst_DeviceActions::rowClickFillsAndEnablesPanel()
{
    QVERIFY(announceBoth());
    const int rowB = rowOfMac(view()->model(), MacB);
    clickRow(view(), rowB);

    QCOMPARE(shownIp(), DeviceB);
    QCOMPARE(shownMac(), MacB);
    QVERIFY(child<QLineEdit>("ipAddress")->isReadOnly());
    QVERIFY(!child<QLineEdit>("macAddress")->isReadOnly());
    for (const QString &name : PanelControls)
        QVERIFY2(child<QWidget>(name)->isEnabled(), qPrintable(name));

    const int rowA = rowOfMac(view()->model(), MacA);
    clickRow(view(), rowA);
    QCOMPARE(shownIp(), DeviceA);
    QCOMPARE(shownMac(), MacA);
}

void tst_DeviceActions::relayButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("relay");
    QTest::addColumn<bool>("closed");

    QTest::newRow("relay 1 open") << "pushButton_3" << 1 << false;
    QTest::newRow("relay 1 close") << "pushButton_4" << 1 << true;
    QTest::newRow("relay 2 open") << "pushButton_5" << 2 << false;
    QTest::newRow("relay 2 close") << "pushButton_6" << 2 << true;
    QTest::newRow("relay 3 open") << "pushButton_7" << 3 << false;
    QTest::newRow("relay 3 close") << "pushButton_8" << 3 << true;
}

void tst_DeviceActions::relayButtons()
{
    QFETCH(QString, button);
    QFETCH(int, relay);
    QFETCH(bool, closed);

    MessageBoxCatcher boxes;
    QVERIFY(announceBoth());
    clickRow(view(), rowOfMac(view()->model(), MacB));
    QVERIFY(capture->sync());
    capture->clear();

    click(button);
    QVERIFY(capture->sync());
    QCOMPARE(capture->count(), 1);
    const CapturedDatagram sent = capture->takeFirst();
    QCOMPARE(sent.data, relayCommand(relay, closed));
    QCOMPARE(sent.destination, QHostAddress(DeviceB));

    // Every press sends again; no relay state is kept.
    click(button);
    QVERIFY(capture->sync());
    QCOMPARE(capture->count(), 1);
    QCOMPARE(capture->takeFirst().data, relayCommand(relay, closed));
    QCOMPARE(boxes.count(), 0);
}

void tst_DeviceActions::rebootAsksNoQuestion()
{
    MessageBoxCatcher boxes;
    QVERIFY(announceBoth());
    clickRow(view(), rowOfMac(view()->model(), MacA));
    QVERIFY(capture->sync());
    capture->clear();

    click("pushButton_10");
    QVERIFY(capture->sync());
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(capture->count(), 1);
    const CapturedDatagram sent = capture->takeFirst();
    QCOMPARE(sent.data, command(0x03));
    QCOMPARE(sent.data.size(), 6);
    QCOMPARE(sent.destination, QHostAddress(DeviceA));
}

void tst_DeviceActions::commandsFollowTheClickedRow()
{
    // The replies come from 127.0.0.1; commands go to the reported address.
    QVERIFY(announceBoth());
    clickRow(view(), rowOfMac(view()->model(), MacA));
    QVERIFY(capture->sync());
    capture->clear();
    click("pushButton_4");
    clickRow(view(), rowOfMac(view()->model(), MacB));
    click("pushButton_4");
    QVERIFY(capture->sync());
    QCOMPARE(capture->count(), 2);
    QCOMPARE(capture->takeFirst().destination, QHostAddress(DeviceA));
    QCOMPARE(capture->takeFirst().destination, QHostAddress(DeviceB));

    // A device that moved to a new address is commanded there.
    QVERIFY(announceDevice(view()->model(), "1.6.2", "10.0.0.9", MacB) >= 0);
    click("pushButton_10");
    QVERIFY(capture->sync());
    QCOMPARE(capture->count(), 1);
    QCOMPARE(capture->takeFirst().destination, QHostAddress("10.0.0.9"));
}

void tst_DeviceActions::headerClickLeavesNoTarget()
{
    MessageBoxCatcher boxes;
    UrlRecorder browser;
    QDesktopServices::setUrlHandler("http", &browser, "openUrl");
    QVERIFY(announceBoth());
    clickRow(view(), rowOfMac(view()->model(), MacA));
    QVERIFY(capture->sync());
    capture->clear();

    clickHeader(1);
    QVERIFY(!view()->selectionModel()->hasSelection());
    for (const char *name :
         {"pushButton_3", "pushButton_4", "pushButton_5", "pushButton_6", "pushButton_7",
          "pushButton_8", "pushButton_10", "webConfigButton", "pushButton_12"})
        click(name);
    QVERIFY(capture->sync());
    QCOMPARE(capture->count(), 0);
    QVERIFY(browser.urls.isEmpty());
    QCOMPARE(boxes.count(), 0);

    // With nothing selected the panel shows no device and cannot act.
    QVERIFY(!child<QWidget>("frame")->isEnabled());
    QVERIFY(shownIp().isEmpty());
    QVERIFY(shownMac().isEmpty());

    clickRow(view(), rowOfMac(view()->model(), MacB));
    click("pushButton_10");
    QVERIFY(capture->sync());
    QCOMPARE(capture->count(), 1);
    QCOMPARE(capture->takeFirst().destination, QHostAddress(DeviceB));
    QDesktopServices::unsetUrlHandler("http");
}

void tst_DeviceActions::arrowKeysRetargetAndRefresh()
{
    QVERIFY(announceBoth());
    QVERIFY(announceDevice(view()->model(), "1.7.0", "10.0.0.8", "00:11:22:33:44:99") >= 0);
    QAbstractItemModel *model = view()->model();
    // Sorted by MAC: ...55 (10.0.0.5), ...77 (10.0.0.7), ...99 (10.0.0.8).
    view()->sortByColumn(0, Qt::AscendingOrder);
    QCOMPARE(rowOfMac(model, MacA), 0);
    QCOMPARE(rowOfMac(model, MacB), 1);

    clickRow(view(), 0);
    QCOMPARE(shownIp(), DeviceA);
    QVERIFY(capture->sync());
    capture->clear();

    view()->setFocus();
    QTest::keyClick(view(), Qt::Key_Down);
    QCOMPARE(view()->currentIndex().row(), 1);
    QCOMPARE(shownIp(), DeviceB);
    QCOMPARE(shownMac(), MacB);

    click("pushButton_10");
    click("pushButton_7");
    QVERIFY(capture->sync());
    QCOMPARE(capture->count(), 2);
    CapturedDatagram reboot = capture->takeFirst();
    QCOMPARE(reboot.data, command(0x03));
    QCOMPARE(reboot.destination, QHostAddress(DeviceB));
    CapturedDatagram relay = capture->takeFirst();
    QCOMPARE(relay.data, relayCommand(3, false));
    QCOMPARE(relay.destination, QHostAddress(DeviceB));

    view()->setFocus();
    QTest::keyClick(view(), Qt::Key_Down);
    click("pushButton_10");
    QVERIFY(capture->sync());
    QCOMPARE(capture->count(), 1);
    QCOMPARE(capture->takeFirst().destination, QHostAddress("10.0.0.8"));
    QCOMPARE(shownIp(), QString("10.0.0.8"));
}

void tst_DeviceActions::enterShowsCurrentRow()
{
    QVERIFY(announceBoth());
    view()->sortByColumn(0, Qt::AscendingOrder);
    clickRow(view(), 0);
    QCOMPARE(shownMac(), MacA);

    view()->setFocus();
    QTest::keyClick(view(), Qt::Key_Down);
    QCOMPARE(shownMac(), MacB);
    QTest::keyClick(view(), Qt::Key_Return);
    QCOMPARE(shownIp(), DeviceB);
    QCOMPARE(shownMac(), MacB);

    QTest::keyClick(view(), Qt::Key_Up);
    QTest::keyClick(view(), Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(shownIp(), DeviceA);
    QCOMPARE(shownMac(), MacA);
}

void tst_DeviceActions::doubleClickShowsRow()
{
    QVERIFY(announceBoth());
    QSignalSpy activated(view(), SIGNAL(activated(QModelIndex)));
    const int rowB = rowOfMac(view()->model(), MacB);
    doubleClickRow(view(), rowB);
    QVERIFY(!activated.isEmpty());
    QCOMPARE(shownIp(), DeviceB);
    QCOMPARE(shownMac(), MacB);
    QVERIFY(child<QWidget>("frame")->isEnabled());

    // Twice on the same row is the same as once.
    doubleClickRow(view(), rowB);
    QCOMPARE(shownIp(), DeviceB);
    QCOMPARE(shownMac(), MacB);
}

void tst_DeviceActions::webConfigOpensDevicePage()
{
    UrlRecorder browser;
    QDesktopServices::setUrlHandler("http", &browser, "openUrl");
    QVERIFY(announceBoth());
    clickRow(view(), rowOfMac(view()->model(), MacA));

    click("webConfigButton");
    QCOMPARE(browser.urls.size(), 1);
    QCOMPARE(browser.urls.first(), QUrl("http://10.0.0.5"));
    QCOMPARE(browser.urls.first().toString(), QString("http://10.0.0.5"));

    clickRow(view(), rowOfMac(view()->model(), MacB));
    click("webConfigButton");
    QCOMPARE(browser.urls.size(), 2);
    QCOMPARE(browser.urls.last(), QUrl("http://10.0.0.7"));
    QDesktopServices::unsetUrlHandler("http");
}

// The window starts "puttytel" from its own directory: this test's
// executable directory, private to this test (see actions.cmake). A
// stand-in there records its arguments; the stand-in is removed before
// the function ends, whatever happens.
void tst_DeviceActions::launchTelnet()
{
    const QString client = QCoreApplication::applicationDirPath() + "/puttytel";
    struct Remover
    {
        QString path;
        ~Remover() { QFile::remove(path); }
    } remover{client};
    QFile::remove(client);

    QTemporaryDir records;
    QVERIFY(records.isValid());
    const QString record = records.filePath("args");
    QFile standIn(client);
    QVERIFY(standIn.open(QIODevice::WriteOnly));
    standIn.write("#!/bin/sh\n"
                  "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$KOV_TELNET_RECORD.part\"\n"
                  "mv \"$KOV_TELNET_RECORD.part\" \"$KOV_TELNET_RECORD\"\n");
    standIn.close();
    QVERIFY(standIn.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                   | QFileDevice::ExeOwner));
    qputenv("KOV_TELNET_RECORD", QFile::encodeName(record));

    MessageBoxCatcher boxes;
    QVERIFY(announceBoth());

    // No selection yet: nothing is started.
    clickRow(view(), rowOfMac(view()->model(), MacA));
    clickHeader(0);
    click("pushButton_12");
    QCOMPARE(boxes.count(), 0);

    clickRow(view(), rowOfMac(view()->model(), MacA));
    click("pushButton_12");
    QCOMPARE(boxes.count(), 0);
    QTRY_VERIFY(QFile::exists(record));
    QFile args(record);
    QVERIFY(args.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromLocal8Bit(args.readAll()), QString("-raw\n10.0.0.5\n6000\n"));
    args.close();
    QVERIFY(QFile::remove(record));

    // Present but not runnable: the launch fails.
    QVERIFY(standIn.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    click("pushButton_12");
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().title, QString("Could not launch putty"));

    // Missing: the same warning.
    QVERIFY(QFile::remove(client));
    boxes.clear();
    click("pushButton_12");
    QCOMPARE(boxes.count(), 1);
    const MessageBoxRecord box = boxes.last();
    QCOMPARE(box.title, QString("Could not launch putty"));
    QCOMPARE(box.text, QString("Could not launch putty. Please reinstall"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!QFile::exists(record));
    qunsetenv("KOV_TELNET_RECORD");
}

void tst_DeviceActions::aboutBox()
{
    MessageBoxCatcher boxes;
    QAction *about = window->findChild<QAction *>("actionAbout");
    QVERIFY(about);
    about->trigger();
    QCOMPARE(boxes.count(), 1);
    const MessageBoxRecord box = boxes.last();
    QCOMPARE(box.title, QString("KOV-1 Tool"));
    QCOMPARE(box.icon, QMessageBox::Information);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    const QStringList lines = box.text.split('\n');
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.at(0), QString("Veltrane KOV-1 Tool 1.0"));
    QVERIFY(!lines.at(1).trimmed().isEmpty());
    // Its window shows the tool's icon, drawn for small and large sizes.
    for (int size : {16, 256})
        QCOMPARE(box.windowIcon.pixmap(QSize(size, size)).size(), QSize(size, size));

    // The About box needs no device and sends nothing.
    QVERIFY(capture->sync());
    capture->clear();
    about->trigger();
    QCOMPARE(boxes.count(), 2);
    QVERIFY(capture->sync());
    QCOMPARE(capture->count(), 0);
}

// Whatever moves the selection or the rows, the panel shows the device
// that Reboot and the relays reach, or nothing and they reach nothing.
void tst_DeviceActions::panelShowsTheTarget_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("mac"); // shown and commanded; empty: none
    QTest::addColumn<QString>("ip");

    QTest::newRow("arrow key") << "down" << MacB << DeviceB;
    QTest::newRow("header click") << "header"
                                  << ""
                                  << "";
    QTest::newRow("reply moves the row") << "move" << MacA << "10.0.0.9";
    QTest::newRow("device sorted above") << "insert" << MacA << DeviceA;
    QTest::newRow("filter hides the device") << "filter 44:77"
                                             << ""
                                             << "";
    QTest::newRow("filter keeps the device") << "filter 1.7" << MacA << DeviceA;
}

void tst_DeviceActions::panelShowsTheTarget()
{
    QFETCH(QString, step);
    QFETCH(QString, mac);
    QFETCH(QString, ip);

    QVERIFY(announceBoth());
    QAbstractItemModel *model = view()->model();
    view()->sortByColumn(1, Qt::AscendingOrder); // by IP: A, B
    clickRow(view(), rowOfMac(model, MacA));
    if (step == "down") {
        view()->setFocus();
        QTest::keyClick(view(), Qt::Key_Down);
    } else if (step == "header") {
        clickHeader(0);
    } else if (step == "move") {
        QVERIFY(announceDevice(model, "1.7.0", "10.0.0.9", MacA) >= 0);
        QCOMPARE(rowOfMac(model, MacA), 1);
    } else if (step == "insert") {
        QVERIFY(announceDevice(model, "1.7.0", "10.0.0.1", "00:11:22:33:44:11") == 0);
    } else {
        QTest::keyClicks(child<QLineEdit>("deviceFilter"), step.mid(7));
        QVERIFY(window->statusBar()->currentMessage().endsWith(
            QStringLiteral(" %1 shown").arg(model->rowCount())));
    }
    QVERIFY(capture->sync());
    capture->clear();

    click("pushButton_10");
    click("pushButton_4");
    QVERIFY(capture->sync());
    QCOMPARE(shownMac(), mac);
    QCOMPARE(shownIp(), ip);
    QCOMPARE(child<QWidget>("frame")->isEnabled(), !mac.isEmpty());
    QCOMPARE(capture->count(), mac.isEmpty() ? 0 : 2);
    for (const CapturedDatagram &sent : capture->datagrams())
        QCOMPARE(sent.destination, QHostAddress(ip));
    const QModelIndexList selected = view()->selectionModel()->selectedRows();
    QCOMPARE(selected.size(), mac.isEmpty() ? 0 : 1);
    if (!mac.isEmpty())
        QCOMPARE(selected.first().data().toString(), mac);
}

void tst_DeviceActions::findDevicesAtRemembersRanges()
{
    QVERIFY(capture->sync());
    capture->clear();
    // Bad input: the reason is shown, Find stays disabled, nothing is sent.
    QString problem;
    bool findEnabled = true;
    findDevicesAt([&](FindDevicesDialog *dialog) {
        dialog->findChild<QLineEdit *>("addressEdit")->setText("10.0.0.0/19");
        problem = dialog->findChild<QLabel *>("problemLabel")->text();
        findEnabled = dialog->findChild<QPushButton *>("findButton")->isEnabled();
        return false;
    });
    QVERIFY2(problem.contains("larger than /20"), qPrintable(problem));
    QVERIFY(!findEnabled);
    QVERIFY(capture->sync());
    QCOMPARE(capture->count(), 0);

    findDevicesAt([](FindDevicesDialog *dialog) {
        dialog->findChild<QLineEdit *>("addressEdit")->setText(" 10.0.0.20 - 10.0.0.22 ");
        return true;
    });
    const QList<QHostAddress> probed{QHostAddress("10.0.0.20"), QHostAddress("10.0.0.21"),
                                     QHostAddress("10.0.0.22")};
    auto destinations = [&] {
        QList<QHostAddress> to;
        for (const CapturedDatagram &d : capture->datagrams())
            to << (d.data == command(0x02) ? d.destination : QHostAddress());
        capture->clear();
        return to;
    };
    QVERIFY(capture->waitFor(3) && capture->sync());
    QCOMPARE(destinations(), probed);
    QCOMPARE(QSettings().value(DevicePage::RangesKey).toStringList(),
             QStringList{"10.0.0.20-10.0.0.22"});

    // Probed again with every beacon, and at the next start.
    click("pushButton_2");
    QVERIFY(capture->waitFor(4) && capture->sync());
    QCOMPARE(destinations(), QList<QHostAddress>{QHostAddress(QHostAddress::Broadcast)} + probed);
    delete window;
    window = new MainWindow;
    QVERIFY(capture->waitFor(4) && capture->sync());
    QCOMPARE(destinations(), QList<QHostAddress>{QHostAddress(QHostAddress::Broadcast)} + probed);
}

void tst_DeviceActions::exportShownRows()
{
    QVERIFY(announceBoth());
    QTest::keyClicks(child<QLineEdit>("deviceFilter"), "1.6");
    auto *page = window->findChild<DevicePage *>();
    QVERIFY(page);
    QTemporaryDir dir;
    QString error;
    QVERIFY2(page->exportTo(dir.filePath("devices.csv"), &error), qPrintable(error));
    QFile csv(dir.filePath("devices.csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(csv.readAll(), "MAC,IP,Version,State,Last seen\r\n" + MacB.toLatin1()
                                + ",10.0.0.7,1.6.2,live,just now\r\n");
}

QTEST_MAIN(tst_DeviceActions)
#include "tst_deviceactions.moc"
