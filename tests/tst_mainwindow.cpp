#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopedPointer>
#include <QSignalSpy>
#include <QSpinBox>
#include <QSortFilterProxyModel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "ccfparser.h"
#include "ircode.h"
#include "ircodegeneratordialog.h"
#include "irprotocols.h"
#include "mainwindow.h"
#include "windowtestutil.h"

using namespace WindowTest;

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void objects_data();
    void objects();
    void formLayoutRows_data();
    void formLayoutRows();
    void creationOrder_data();
    void creationOrder();
    void gridRows_data();
    void gridRows();
    void layoutsAndProperties();
    void menusAndActions();
    void transferTableHeader();

    void startUpState();
    void startUpBeacon();
    void statusLineCountsReplies();
    void headerClickSorts();
    void generatorFillsCcfField();
    void ccfFieldSaysWhatItHolds_data();
    void ccfFieldSaysWhatItHolds();
    void exitEndsEventLoop();

private:
    bool deviceReplies(const QString &ip, const QString &mac);
    template<typename T = QWidget>
    T *child(const char *name)
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }

    QScopedPointer<DatagramCapture> capture;
    QScopedPointer<MainWindow> window;
    qint64 now = 0;
};

void tst_MainWindow::initTestCase()
{
    // Bound before any window exists, so each window's start-up beacon is
    // seen here.
    capture.reset(new DatagramCapture);
    QVERIFY(capture->isBound());
}

void tst_MainWindow::init()
{
    WindowTest::failOnBrokenSlotNames();
    // Everything sent before this window exists is drained and dropped.
    QVERIFY(capture->sync());
    capture->clear();
    window.reset(new MainWindow);
}

void tst_MainWindow::cleanup()
{
    window.reset();
}

void tst_MainWindow::objects_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("enabled");

    auto row = [](const char *name, const char *cls, const char *parent, const QString &text,
                  bool enabled) {
        QTest::newRow(name) << QString(name) << QString(cls) << QString(parent) << text << enabled;
    };
    row("centralWidget", "QWidget", "MainWindow", {}, true);
    row("tabWidget", "QTabWidget", "centralWidget", {}, true);
    row("widget_2", "QWidget", "tab", {}, true);
    row("tableView", "QTableView", "widget_2", {}, true);
    row("pushButton_2", "QPushButton", "widget_2", "Send Discovery Beacon", true);
    row("frame", "QFrame", "tab", {}, false);
    row("label", "QLabel", "frame", "IP Address", false);
    row("ipAddress", "QLineEdit", "frame", "", false);
    row("label_2", "QLabel", "frame", "MAC address", false);
    row("macAddress", "QLineEdit", "frame", "", false);
    row("webConfigButton", "QPushButton", "frame", "Web Config", false);
    row("pushButton_12", "QPushButton", "frame", "Launch Telnet", false);
    row("widget", "QWidget", "frame", {}, false);
    row("pushButton_10", "QPushButton", "widget", "Reboot", false);
    row("pushButton_11", "QPushButton", "widget", "Upgrade", false);
    row("label_11", "QLabel", "frame", "Relay Control", false);
    row("line_2", "QFrame", "frame", {}, false);
    row("label_6", "QLabel", "frame", "Relay 1", false);
    row("widget_4", "QWidget", "frame", {}, false);
    row("pushButton_3", "QPushButton", "widget_4", "Open", false);
    row("pushButton_4", "QPushButton", "widget_4", "Close", false);
    row("label_7", "QLabel", "frame", "Relay 2", false);
    row("widget_5", "QWidget", "frame", {}, false);
    row("pushButton_5", "QPushButton", "widget_5", "Open", false);
    row("pushButton_6", "QPushButton", "widget_5", "Close", false);
    row("label_8", "QLabel", "frame", "Relay 3", false);
    row("widget_6", "QWidget", "frame", {}, false);
    row("pushButton_7", "QPushButton", "widget_6", "Open", false);
    row("pushButton_8", "QPushButton", "widget_6", "Close", false);
    row("label_12", "QLabel", "frame", "IR Control", false);
    row("line", "QFrame", "frame", {}, false);
    row("widget_3", "QWidget", "frame", {}, false);
    row("checkBox", "QCheckBox", "widget_3", "Port 1", false);
    row("checkBox_2", "QCheckBox", "widget_3", "Port 2", false);
    row("checkBox_3", "QCheckBox", "widget_3", "Port 3", false);
    row("checkBox_4", "QCheckBox", "widget_3", "Port 4", false);
    row("label_9", "QLabel", "frame", "Repeats", false);
    row("spinBox", "QSpinBox", "frame", {}, false);
    row("label_10", "QLabel", "frame", "CCF", false);
    row("widget_7", "QWidget", "frame", {}, false);
    row("lineEdit", "QLineEdit", "widget_7", "", false);
    row("pushButton_13", "QPushButton", "widget_7", "...", false);
    row("irCodeDescription", "QLabel", "frame", "", false);
    row("pushButton_9", "QPushButton", "frame", "Send IR", false);
    row("enableTFTPD", "QCheckBox", "tab_2", "Enable TFTP Server", true);
    row("tableWidget", "QTableWidget", "tab_2", {}, true);
    row("label_5", "QLabel", "tab_2", "Firmware version ready to upload: 1.7.0", true);
    row("label_4", "QLabel", "tab_2",
        "To upgrade the firmware on a KOV-1 enable the TFTP server above. Then go to the web "
        "interface of the KOV-1. Click on the reset button and press \"Reset and Upgrade\". "
        "This will download the new firmware from this computer to the KOV-1.",
        true);
    row("pushButton", "QPushButton", "tab_2", "Check for updated firmware from Veltrane", true);
    row("updateAll", "QPushButton", "tab_2", "Update All KOV-1 on local subnet", true);
    row("upgradeSummary", "QLabel", "tab_2", "0 running the new firmware, 0 failed, 0 in progress",
        true);
    row("upgradeButtons", "QWidget", "tab_2", {}, true);
    row("openFirmwareButton", "QPushButton", "upgradeButtons", "Open firmware file…", true);
    row("retryFailedButton", "QPushButton", "upgradeButtons", "Retry failed", false);
    row("menuBar", "QMenuBar", "MainWindow", {}, true);
    row("statusBar", "QStatusBar", "MainWindow", {}, true);
}

void tst_MainWindow::objects()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QString, text);
    QFETCH(bool, enabled);

    const QList<QWidget *> found = window->findChildren<QWidget *>(name);
    QCOMPARE(found.size(), 1);
    QWidget *widget = found.first();
    QCOMPARE(QString(widget->metaObject()->className()), className);
    QVERIFY(widget->parentWidget());
    QCOMPARE(widget->parentWidget()->objectName(), parentName);
    if (!text.isNull())
        QCOMPARE(widget->property("text").toString(), text);
    // Enabled as the user sees it: the panel's controls follow the
    // disabled frame.
    QCOMPARE(widget->isEnabled(), enabled);
}

void tst_MainWindow::formLayoutRows_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("role");

    auto row = [](const char *name, int r, QFormLayout::ItemRole role) {
        QTest::newRow(name) << QString(name) << r << int(role);
    };
    row("label", 2, QFormLayout::LabelRole);
    row("ipAddress", 2, QFormLayout::FieldRole);
    row("label_2", 5, QFormLayout::LabelRole);
    row("macAddress", 5, QFormLayout::FieldRole);
    row("webConfigButton", 9, QFormLayout::FieldRole);
    row("pushButton_12", 10, QFormLayout::FieldRole);
    row("widget", 11, QFormLayout::FieldRole);
    row("label_11", 15, QFormLayout::SpanningRole);
    row("line_2", 16, QFormLayout::SpanningRole);
    row("label_6", 19, QFormLayout::LabelRole);
    row("widget_4", 19, QFormLayout::FieldRole);
    row("label_7", 22, QFormLayout::LabelRole);
    row("widget_5", 22, QFormLayout::FieldRole);
    row("label_8", 25, QFormLayout::LabelRole);
    row("widget_6", 25, QFormLayout::FieldRole);
    row("label_12", 28, QFormLayout::SpanningRole);
    row("line", 29, QFormLayout::SpanningRole);
    row("widget_3", 30, QFormLayout::SpanningRole);
    row("label_9", 33, QFormLayout::LabelRole);
    row("spinBox", 33, QFormLayout::FieldRole);
    row("label_10", 36, QFormLayout::LabelRole);
    row("widget_7", 36, QFormLayout::FieldRole);
    row("irCodeDescription", 37, QFormLayout::FieldRole);
    row("pushButton_9", 39, QFormLayout::FieldRole);
}

void tst_MainWindow::formLayoutRows()
{
    QFETCH(QString, name);
    QFETCH(int, row);
    QFETCH(int, role);

    auto *form = child<QFormLayout>("formLayout");
    QVERIFY(form);
    QCOMPARE(form->parent(), child<QFrame>("frame"));
    int actualRow = -1;
    QFormLayout::ItemRole actualRole = QFormLayout::LabelRole;
    form->getWidgetPosition(child(name.toLatin1().constData()), &actualRow, &actualRole);
    QCOMPARE(actualRow, row);
    QCOMPARE(int(actualRole), role);
}

void tst_MainWindow::creationOrder_data()
{
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QStringList>("order");

    QTest::newRow("tab") << "tab" << QStringList{"widget_2", "frame"};
    QTest::newRow("widget_2") << "widget_2"
                              << QStringList{"tableView", "pushButton_2", "deviceFilter",
                                             "findDevicesButton"};
    QTest::newRow("frame")
        << "frame"
        << QStringList{"label",           "ipAddress",     "label_2",      "macAddress",
                       "webConfigButton", "widget",        "label_6",      "widget_4",
                       "label_7",         "widget_5",      "label_8",      "widget_6",
                       "label_12",        "widget_3",      "label_9",      "spinBox",
                       "label_10",        "pushButton_9",  "line",         "line_2",
                       "label_11",        "pushButton_12", "widget_7",     "selectionCount",
                       "siteName",        "siteNameLabel", "siteLocation", "siteLocationLabel",
                       "siteNotes",       "siteNotesLabel"};
    QTest::newRow("widget") << "widget" << QStringList{"pushButton_10", "pushButton_11"};
    QTest::newRow("widget_3") << "widget_3"
                              << QStringList{"checkBox", "checkBox_2", "checkBox_3", "checkBox_4"};
    QTest::newRow("widget_7") << "widget_7" << QStringList{"lineEdit", "pushButton_13"};
    QTest::newRow("tab_2") << "tab_2"
                           << QStringList{"enableTFTPD",    "pushButton",    "label_4",
                                          "tableWidget",    "label_5",       "updateAll",
                                          "upgradeSummary", "upgradeButtons"};
    QTest::newRow("upgradeButtons")
        << "upgradeButtons" << QStringList{"openFirmwareButton", "retryFailedButton"};
}

void tst_MainWindow::creationOrder()
{
    QFETCH(QString, parentName);
    QFETCH(QStringList, order);

    QWidget *parent = window->findChild<QWidget *>(parentName);
    QVERIFY(parent);
    // Widgets added beside the original form are left out of the order.
    const QStringList additions{"irCodeDescription"};
    QStringList actual;
    for (QObject *object : parent->children()) {
        if (object->isWidgetType() && !additions.contains(object->objectName()))
            actual << object->objectName();
    }
    QCOMPARE(actual, order);
}

void tst_MainWindow::gridRows_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("row");

    QTest::newRow("enableTFTPD") << "enableTFTPD" << 0;
    QTest::newRow("tableWidget") << "tableWidget" << 1;
    QTest::newRow("label_5") << "label_5" << 2;
    QTest::newRow("label_4") << "label_4" << 3;
    QTest::newRow("pushButton") << "pushButton" << 4;
    QTest::newRow("updateAll") << "updateAll" << 5;
    QTest::newRow("upgradeSummary") << "upgradeSummary" << 6;
    QTest::newRow("upgradeButtons") << "upgradeButtons" << 7;
}

void tst_MainWindow::gridRows()
{
    QFETCH(QString, name);
    QFETCH(int, row);

    auto *grid = child<QGridLayout>("gridLayout");
    QVERIFY(grid);
    QCOMPARE(grid->columnCount(), 1);
    const int index = grid->indexOf(window->findChild<QWidget *>(name));
    QVERIFY(index >= 0);
    int r, c, rowSpan, columnSpan;
    grid->getItemPosition(index, &r, &c, &rowSpan, &columnSpan);
    QCOMPARE(r, row);
    QCOMPARE(c, 0);
    QCOMPARE(rowSpan, 1);
    QCOMPARE(columnSpan, 1);
}

void tst_MainWindow::layoutsAndProperties()
{
    QCOMPARE(window->size(), QSize(803, 614));
    QCOMPARE(window->windowTitle(), QString("Veltrane KOV-1 Tool"));
    QCOMPARE(window->objectName(), QString("MainWindow"));

    auto *tabs = child<QTabWidget>("tabWidget");
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(tabs->widget(0)->objectName(), QString("tab"));
    QCOMPARE(tabs->widget(1)->objectName(), QString("tab_2"));
    QCOMPARE(tabs->tabText(0), QString("Network Detection"));
    QCOMPARE(tabs->tabText(1), QString("Firmware Update"));

    struct BoxMargins
    {
        const char *name;
        int margins;
    };
    for (const BoxMargins &box :
         {BoxMargins{"horizontalLayout", 11}, BoxMargins{"horizontalLayout_2", 11},
          BoxMargins{"verticalLayout", 0}, BoxMargins{"horizontalLayout_3", 0},
          BoxMargins{"horizontalLayout_4", 0}, BoxMargins{"horizontalLayout_5", 0},
          BoxMargins{"horizontalLayout_6", 0}, BoxMargins{"horizontalLayout_7", 0},
          BoxMargins{"horizontalLayout_8", 0}, BoxMargins{"gridLayout", 11}}) {
        auto *layout = child<QLayout>(box.name);
        QVERIFY2(layout, box.name);
        QCOMPARE(layout->spacing(), 6);
        QCOMPARE(layout->contentsMargins(),
                 QMargins(box.margins, box.margins, box.margins, box.margins));
    }
    QVERIFY(qobject_cast<QHBoxLayout *>(child<QLayout>("horizontalLayout_2")));
    QVERIFY(qobject_cast<QVBoxLayout *>(child<QLayout>("verticalLayout")));

    auto *view = child<QTableView>("tableView");
    QCOMPARE(view->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(view->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(view->isSortingEnabled());
    QCOMPARE(view->horizontalHeader()->defaultSectionSize(), 110);
    QVERIFY(view->horizontalHeader()->stretchLastSection());
    QVERIFY(!view->verticalHeader()->stretchLastSection());
    auto *proxy = qobject_cast<QSortFilterProxyModel *>(view->model());
    QVERIFY(proxy && proxy->dynamicSortFilter());
    QCOMPARE(proxy->sourceModel(), static_cast<QAbstractItemModel *>(&window->kovTable));

    auto *frame = child<QFrame>("frame");
    QCOMPARE(frame->frameShape(), QFrame::StyledPanel);
    QCOMPARE(frame->frameShadow(), QFrame::Raised);
    QCOMPARE(frame->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(frame->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(frame->sizePolicy().horizontalStretch(), 0);
    QCOMPARE(frame->sizePolicy().verticalStretch(), 0);
    QCOMPARE(frame->minimumSize(), QSize(300, 0));

    auto *form = child<QFormLayout>("formLayout");
    QCOMPARE(form->horizontalSpacing(), 6);
    QCOMPARE(form->verticalSpacing(), 3);
    QCOMPARE(form->fieldGrowthPolicy(), QFormLayout::AllNonFixedFieldsGrow);
    QCOMPARE(form->contentsMargins(), QMargins(9, 0, 0, 0));
    QCOMPARE(form->rowCount(), 40);
    // Rows 14 and 26 hold the two vertical spacers in the label column.
    for (int row : {14, 26}) {
        QLayoutItem *item = form->itemAt(row, QFormLayout::LabelRole);
        QVERIFY(item);
        QSpacerItem *spacer = item->spacerItem();
        QVERIFY(spacer);
        QCOMPARE(spacer->sizeHint(), QSize(20, 40));
        QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
        QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
    }

    QVERIFY(child<QLineEdit>("ipAddress")->isReadOnly());
    QVERIFY(!child<QLineEdit>("macAddress")->isReadOnly());
    for (const char *name : {"label_11", "label_12"}) {
        auto *label = child<QLabel>(name);
        QVERIFY(label->font().bold());
        QCOMPARE(label->font().weight(), QFont::Bold);
    }
    QCOMPARE(child<QLabel>("label_11")->styleSheet(), QString("margin-top: 10px;"));
    QCOMPARE(child<QLabel>("label_12")->styleSheet(), QString("margin-top:10px;"));
    for (const char *name : {"line", "line_2"}) {
        auto *line = child<QFrame>(name);
        QCOMPARE(line->frameShape(), QFrame::HLine);
        QCOMPARE(line->frameShadow(), QFrame::Sunken);
    }
    QVERIFY(child<QCheckBox>("checkBox")->isChecked());
    QVERIFY(!child<QCheckBox>("checkBox_2")->isChecked());
    QVERIFY(!child<QCheckBox>("checkBox_3")->isChecked());
    QVERIFY(!child<QCheckBox>("checkBox_4")->isChecked());
    auto *spin = child<QSpinBox>("spinBox");
    QCOMPARE(spin->minimum(), 1);
    QCOMPARE(spin->maximum(), 99);
    QCOMPARE(spin->value(), 1);
    QCOMPARE(child<QPushButton>("pushButton_13")->maximumSize(), QSize(25, 16777215));
    QVERIFY(child<QLabel>("label_4")->wordWrap());

    auto *transfers = child<QTableWidget>("tableWidget");
    // Address and Status, and the Result of the upgrade.
    QCOMPARE(transfers->columnCount(), 3);
    QCOMPARE(transfers->rowCount(), 0);
    QCOMPARE(transfers->horizontalHeader()->defaultSectionSize(), 150);
    QCOMPARE(transfers->horizontalHeader()->minimumSectionSize(), 60);
    QVERIFY(transfers->horizontalHeader()->stretchLastSection());
    QCOMPARE(transfers->verticalHeader()->defaultSectionSize(), 25);
    QCOMPARE(transfers->verticalHeader()->minimumSectionSize(), 25);
}

void tst_MainWindow::menusAndActions()
{
    auto *bar = child<QMenuBar>("menuBar");
    QCOMPARE(window->menuBar(), bar);
    // As the form places it, before the window's layout first runs.
    QCOMPARE(bar->geometry(), QRect(0, 0, 803, 21));
    QCOMPARE(window->statusBar(), child<QStatusBar>("statusBar"));
    auto *file = child<QMenu>("menuVeltrane_KOV_1_Toolkit");
    auto *help = child<QMenu>("menuHelp");
    QVERIFY(file && help);
    auto *edit = child<QMenu>("menuEdit");
    QVERIFY(edit);
    QCOMPARE(bar->actions(),
             (QList<QAction *>{file->menuAction(), edit->menuAction(), help->menuAction()}));
    QCOMPARE(file->title(), QString("File"));
    QCOMPARE(help->title(), QString("Help"));

    auto *exitAction = child<QAction>("actionExit");
    auto *aboutAction = child<QAction>("actionAbout");
    QVERIFY(exitAction && aboutAction);
    QCOMPARE(exitAction->parent(), window.data());
    QCOMPARE(aboutAction->parent(), window.data());
    QCOMPARE(exitAction->text(), QString("Exit"));
    QCOMPARE(aboutAction->text(), QString("About"));
    auto *openAction = child<QAction>("actionOpenFirmware");
    auto *findAction = child<QAction>("actionFindDevices");
    auto *exportAction = child<QAction>("actionExportDevices");
    QVERIFY(openAction && findAction && exportAction);
    QCOMPARE(findAction->text(), QString("Find devices at…"));
    QCOMPARE(exportAction->text(), QString("Export device list…"));
    // The site's actions come first; the form's keep their order after them.
    const QList<QAction *> actions = file->actions();
    const QStringList siteTexts{"New site…",  "Open site…",      "Recent sites",
                                "Close site", "Import devices…", "Import IR codes…"};
    for (int i = 0; i < siteTexts.size(); ++i)
        QCOMPARE(actions.at(i)->text(), siteTexts.at(i));
    QCOMPARE(actions.at(0)->shortcut(), QKeySequence(QKeySequence::New));
    QCOMPARE(actions.at(1)->shortcut(), QKeySequence("Ctrl+Shift+O"));
    QVERIFY(actions.at(2)->menu());
    QCOMPARE(actions.at(3)->shortcut(), QKeySequence(QKeySequence::Close));
    QVERIFY(!actions.at(3)->isEnabled() && !actions.at(4)->isEnabled()
            && !actions.at(5)->isEnabled());
    QCOMPARE(edit->actions().first()->text(), QString("Select outdated devices"));
    const int base = int(actions.indexOf(openAction));
    QCOMPARE(base, 7);
    QVERIFY(actions.at(base - 1)->isSeparator());
    QCOMPARE(actions.size(), base + 6);
    QVERIFY(actions.at(base + 1)->isSeparator());
    QCOMPARE(actions.at(base + 2), findAction);
    QCOMPARE(actions.at(base + 3), exportAction);
    QVERIFY(actions.at(base + 4)->isSeparator());
    QCOMPARE(actions.last(), exitAction);
    QCOMPARE(openAction->shortcut(), QKeySequence(QKeySequence::Open));
    QCOMPARE(help->actions(), QList<QAction *>{aboutAction});
    for (QAction *action : {exitAction, aboutAction}) {
        QVERIFY(action->icon().isNull());
        QVERIFY(action->shortcut().isEmpty());
    }
}

void tst_MainWindow::transferTableHeader()
{
    auto *transfers = child<QTableWidget>("tableWidget");
    QVERIFY(transfers->horizontalHeaderItem(0));
    QVERIFY(transfers->horizontalHeaderItem(1));
    QCOMPARE(transfers->horizontalHeaderItem(0)->text(), QString("Address"));
    QCOMPARE(transfers->horizontalHeaderItem(1)->text(), QString("Status"));
    QCOMPARE(transfers->model()->headerData(0, Qt::Horizontal).toString(), QString("Address"));
    QCOMPARE(transfers->model()->headerData(1, Qt::Horizontal).toString(), QString("Status"));
    QCOMPARE(transfers->model()->headerData(2, Qt::Horizontal).toString(), QString("Result"));
}

void tst_MainWindow::startUpState()
{
    QCOMPARE(window->statusBar()->currentMessage(),
             QString("KOV-1 Configuration and Firmware Tool"));

    auto *frame = child<QFrame>("frame");
    QVERIFY(!frame->isEnabled());
    for (QWidget *control : frame->findChildren<QWidget *>())
        QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
    QVERIFY(child("pushButton_2")->isEnabled());
    QVERIFY(child("tab_2")->isEnabled());
    QVERIFY(child<QLineEdit>("ipAddress")->text().isEmpty());
    QVERIFY(child<QLineEdit>("macAddress")->text().isEmpty());
    QVERIFY(child<QLineEdit>("lineEdit")->text().isEmpty());
    QVERIFY(!child<QCheckBox>("enableTFTPD")->isChecked());
    QCOMPARE(child<QLabel>("label_5")->text(), QString("Firmware version ready to upload: 1.7.0"));

    auto *view = child<QTableView>("tableView");
    QCOMPARE(view->model()->rowCount(), 0);
    QCOMPARE(view->horizontalHeader()->sortIndicatorSection(), 0);
    QCOMPARE(view->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
}

void tst_MainWindow::startUpBeacon()
{
    // The window constructed in init() has broadcast one beacon.
    QVERIFY(capture->waitFor(1));
    QVERIFY(capture->sync());
    QCOMPARE(capture->count(), 1);
    const CapturedDatagram beacon = capture->takeFirst();
    QCOMPARE(beacon.data, command(0x02));
    QCOMPARE(beacon.destination, QHostAddress(QHostAddress::Broadcast));
}

// Sends one device reply to the window and waits until it has rewritten
// the status line (cleared first, so a rewrite with the same text shows).
bool tst_MainWindow::deviceReplies(const QString &ip, const QString &mac)
{
    QStatusBar *status = window->statusBar();
    status->clearMessage();
    const QByteArray reply = QString("KOV-1,1.7.0,%1,%2").arg(ip, mac).toLatin1();
    QUdpSocket device;
    if (device.writeDatagram(reply, QHostAddress::LocalHost, ReplyPort) != reply.size())
        return false;
    return QTest::qWaitFor([status] { return !status->currentMessage().isEmpty(); });
}

void tst_MainWindow::statusLineCountsReplies()
{
    KovTable &table = window->kovTable;
    table.setClock([this] { return now; });
    now = 1000;
    QStatusBar *status = window->statusBar();
    const QString a = "00:11:22:33:44:55";
    const QString b = "00:11:22:33:44:66";

    QVERIFY(deviceReplies("10.0.0.5", a));
    QCOMPARE(status->currentMessage(),
             QString("We have 1 live out of a total of 1 KOV-1(s) seen."));

    // Hovering a menu item without a status tip leaves the count shown.
    child<QAction>("actionExit")->showStatusText(child<QMenuBar>("menuBar"));
    QCOMPARE(status->currentMessage(),
             QString("We have 1 live out of a total of 1 KOV-1(s) seen."));

    // The same device again: the total counts rows, not replies.
    QVERIFY(deviceReplies("10.0.0.5", a));
    QCOMPARE(status->currentMessage(),
             QString("We have 1 live out of a total of 1 KOV-1(s) seen."));

    QVERIFY(deviceReplies("10.0.0.6", b));
    QCOMPARE(status->currentMessage(),
             QString("We have 2 live out of a total of 2 KOV-1(s) seen."));
    QCOMPARE(table.rowCount(), 2);

    // a falls silent for 62 s while b keeps answering.
    now += 62000;
    QVERIFY(deviceReplies("10.0.0.6", b));
    QVERIFY(QMetaObject::invokeMethod(&table, "KovLostTimer"));
    QCOMPARE(table.liveCount(), 1);
    // Marking a device lost leaves the status line alone...
    QCOMPARE(status->currentMessage(),
             QString("We have 2 live out of a total of 2 KOV-1(s) seen."));
    // ...until the next reply.
    QVERIFY(deviceReplies("10.0.0.6", b));
    QCOMPARE(status->currentMessage(),
             QString("We have 1 live out of a total of 2 KOV-1(s) seen."));

    // The lost device answers and counts as live again.
    QVERIFY(deviceReplies("10.0.0.5", a));
    QCOMPARE(status->currentMessage(),
             QString("We have 2 live out of a total of 2 KOV-1(s) seen."));
}

void tst_MainWindow::headerClickSorts()
{
    KovTable &table = window->kovTable;
    QCOMPARE(announceDevice(&table, "1.7.0", "10.0.0.9", "00:00:00:00:00:02"), 0);
    QCOMPARE(announceDevice(&table, "1.6.0", "10.0.0.10", "00:00:00:00:00:01"), 1);

    QVERIFY(WindowTest::showWindow(window.data()));
    auto *view = child<QTableView>("tableView");
    QHeaderView *header = view->horizontalHeader();
    auto clickSection = [&](int section) {
        const QPoint pos(header->sectionViewportPosition(section)
                             + header->sectionSize(section) / 2,
                         header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
    };
    auto column = [&](int c) {
        QStringList texts;
        for (int row = 0; row < table.rowCount(); ++row)
            texts << table.index(row, c).data().toString();
        return texts;
    };

    // Column 1 holds the IP text, compared as text.
    clickSection(1);
    QCOMPARE(header->sortIndicatorSection(), 1);
    const Qt::SortOrder first = header->sortIndicatorOrder();
    const QStringList ascending{"10.0.0.10", "10.0.0.9"};
    const QStringList descending{"10.0.0.9", "10.0.0.10"};
    QCOMPARE(column(1), first == Qt::AscendingOrder ? ascending : descending);

    clickSection(1);
    QVERIFY(header->sortIndicatorOrder() != first);
    QCOMPARE(column(1), first == Qt::AscendingOrder ? descending : ascending);

    clickSection(0);
    QCOMPARE(header->sortIndicatorSection(), 0);
    QCOMPARE(column(0), header->sortIndicatorOrder() == Qt::AscendingOrder
                            ? (QStringList{"00:00:00:00:00:01", "00:00:00:00:00:02"})
                            : (QStringList{"00:00:00:00:00:02", "00:00:00:00:00:01"}));
}

// Runs act on the IR code generator dialog once it is up as the modal
// window; returns at once, act runs inside the dialog's own event loop.
static void whenGeneratorShows(QTimer &poll, std::function<void(IRCodeGeneratorDialog *)> act)
{
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&poll, act] {
        auto *dialog = qobject_cast<IRCodeGeneratorDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll.stop();
        act(dialog);
    });
    poll.start();
}

void tst_MainWindow::generatorFillsCcfField()
{
    QVERIFY(WindowTest::showWindow(window.data()));
    auto *view = child<QTableView>("tableView");
    const int row = announceDevice(view->model(), "1.7.0", "10.0.0.5", "00:11:22:33:44:55");
    QVERIFY(row >= 0);
    clickRow(view, row);
    auto *ccf = child<QLineEdit>("lineEdit");
    ccf->setText("0000 0073 0000 0000");

    // Cancel leaves the field as it was.
    {
        QTimer poll;
        bool shown = false;
        whenGeneratorShows(poll, [&shown](IRCodeGeneratorDialog *dialog) {
            shown = true;
            dialog->findChild<QDialogButtonBox *>("buttonBox")
                ->button(QDialogButtonBox::Cancel)
                ->click();
        });
        QTest::mouseClick(child<QPushButton>("pushButton_13"), Qt::LeftButton);
        QVERIFY(shown);
    }
    QCOMPARE(ccf->text(), QString("0000 0073 0000 0000"));

    // OK on the NEC page puts that code into the field.
    {
        QTimer poll;
        whenGeneratorShows(poll, [](IRCodeGeneratorDialog *dialog) {
            dialog->findChild<QTabWidget *>("tabWidget")->setCurrentIndex(3);
            dialog->findChild<QSpinBox *>("spinBox_7")->setValue(4);
            dialog->findChild<QSpinBox *>("spinBox_8")->setValue(8);
            dialog->findChild<QDialogButtonBox *>("buttonBox")
                ->button(QDialogButtonBox::Ok)
                ->click();
        });
        QTest::mouseClick(child<QPushButton>("pushButton_13"), Qt::LeftButton);
    }
    IRCode expected;
    QVERIFY(IRCode::generateNEC(&expected, 4, 8));
    QCOMPARE(ccf->text(), expected.toCCF());
    quint16 words[Ccf::MaxWords];
    int count = 0;
    QCOMPARE(Ccf::parse(ccf->text(), words, count), Ccf::Result::Ok);
    QCOMPARE(count, 76);
}

void tst_MainWindow::ccfFieldSaysWhatItHolds_data()
{
    QTest::addColumn<QString>("ccf");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("generator"); // its state when "..." opens it

    const QString untouched = "tab 0; rc5 0 0 0; rc6 0 0 0; sirc 12 0 0; nec 0 0";
    IRCode code;
    IRCode::generateNEC(&code, 4, 8);
    QTest::newRow("nec") << code.toCCF() << "NEC: device 4, function 8"
                         << "tab 3; rc5 0 0 0; rc6 0 0 0; sirc 12 0 0; nec 4 8";
    IRCode::generateRC5(&code, true, 3, 9);
    QTest::newRow("rc5") << code.toCCF() << "RC5: device 3, function 9, toggle 1"
                         << "tab 0; rc5 3 9 1; rc6 0 0 0; sirc 12 0 0; nec 0 0";
    IRCode::generateSIRC(&code, 20, 8191, 127);
    QTest::newRow("sirc 20") << code.toCCF() << "SIRC 20: device 31, function 127, extended 255"
                             << "tab 2; rc5 0 0 0; rc6 0 0 0; sirc 20 8191 127; nec 0 0";
    IRCode::generateNEC(&code, 0x1234, 8);
    QTest::newRow("nec extended") << code.toCCF() << "NEC: device 52, subdevice 18, function 8"
                                  << untouched;
    QTest::newRow("rc5 function 100")
        << "0000 0073 0000 000B 0040 0040 0020 0020 0020 0020 0020 0020 0020 0020 0020 0020 0020 "
           "0020 0040 0020 0020 0040 0040 0020 0020 102D"
        << "RC5: device 31, function 100, toggle 1" << untouched;
    QString necx2, error;
    QVERIFY(IRProtocols::render({"necx2", 7, 7, 2}, &necx2, &error));
    QTest::newRow("necx2, which the generator does not make")
        << necx2 << "NECx2: device 7, subdevice 7, function 2" << untouched;
    QTest::newRow("not hex") << "0000 0073 0000 0001 0020 zz"
                             << Ccf::warningText(Ccf::Result::InvalidValue) << untouched;
    QTest::newRow("noise") << "0000 0073 0000 0001 0001 0001"
                           << "not a recognised protocol" << untouched;
}

void tst_MainWindow::ccfFieldSaysWhatItHolds()
{
    QFETCH(QString, ccf);
    QFETCH(QString, description);
    QFETCH(QString, generator);

    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.data()));
    auto *view = child<QTableView>("tableView");
    clickRow(view, announceDevice(view->model(), "1.7.0", "10.0.0.5", "00:11:22:33:44:55"));
    auto *label = child<QLabel>("irCodeDescription");
    QVERIFY(label->text().isEmpty());
    QTest::keyClicks(child<QLineEdit>("lineEdit"), ccf);
    QCOMPARE(label->text(), description);

    QTimer poll;
    QString state;
    whenGeneratorShows(poll, [&state](IRCodeGeneratorDialog *dialog) {
        auto value = [dialog](const char *name) {
            return QString::number(dialog->findChild<QSpinBox *>(name)->value());
        };
        auto checked = [dialog](const char *name) {
            return QString::number(dialog->findChild<QCheckBox *>(name)->isChecked());
        };
        const int tab = dialog->findChild<QTabWidget *>("tabWidget")->currentIndex();
        state = QStringList{"tab",
                            QString::number(tab) + ";",
                            "rc5",
                            value("spinBox"),
                            value("spinBox_2"),
                            checked("checkBox") + ";",
                            "rc6",
                            value("spinBox_3"),
                            value("spinBox_4"),
                            checked("checkBox_2") + ";",
                            "sirc",
                            dialog->findChild<QComboBox *>("comboBox")->currentText(),
                            value("spinBox_5"),
                            value("spinBox_6") + ";",
                            "nec",
                            value("spinBox_7"),
                            value("spinBox_8")}
                    .join(' ');
        dialog->findChild<QDialogButtonBox *>("buttonBox")
            ->button(QDialogButtonBox::Cancel)
            ->click();
    });
    QTest::mouseClick(child<QPushButton>("pushButton_13"), Qt::LeftButton);
    QCOMPARE(state, generator);
    QCOMPARE(child<QLineEdit>("lineEdit")->text(), ccf);
}

void tst_MainWindow::exitEndsEventLoop()
{
    QVERIFY(WindowTest::showWindow(window.data()));
    auto *exitAction = child<QAction>("actionExit");
    QTimer::singleShot(0, exitAction, &QAction::trigger);
    // Only if closing failed to end the loop: a distinct code, not a hang.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
    guard.start(30000);
    const int code = QApplication::exec();
    QCOMPARE(code, 0);
    QVERIFY(!window->isVisible());
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
