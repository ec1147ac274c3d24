#include <QAbstractItemModelTester>
#include <QColor>
#include <QSignalSpy>
#include <QTest>

#include "kovtable.h"

namespace {

const QString MacA = QStringLiteral("00:11:22:33:44:55");
const QString MacB = QStringLiteral("00:1A:2B:3C:4D:5E");
const QString MacC = QStringLiteral("00:00:00:00:00:01");

struct Device
{
    QString mac;
    QString ip;
    QString version;
};

} // namespace

class tst_KovTable : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstReplyInsertsRow();
    void refresh_data();
    void refresh();
    void identicalReplyOnlyRestartsClock();
    void macsCompareCaseSensitively();
    void liveness_data();
    void liveness();
    void lostRowComesBack();
    void lostTimerRunsByItself();
    void sort_data();
    void sort();
    void sortBadColumnOnlyResets_data();
    void sortBadColumnOnlyResets();
    void rowAddedAfterSortGoesLast();
    void headerData_data();
    void headerData();
    void dataOutsideTableAndOtherRoles();
    void cellsSelectableNotEditable();
    void getKovOutOfRange();
    void getKovReturnsLiveRecord();
    void siteDevicesListedMissing();

private:
    void advance(qint64 ms) { now += ms; }
    void runLostCheck() { QVERIFY(QMetaObject::invokeMethod(table, "KovLostTimer")); }
    QStringList macs() const;
    QColor background(int row, int column) const
    {
        return table->data(table->index(row, column), Qt::BackgroundRole).value<QColor>();
    }
    void addDevices(const QList<Device> &devices);

    KovTable *table = nullptr;
    QAbstractItemModelTester *tester = nullptr;
    qint64 now = 0;
};

void tst_KovTable::init()
{
    now = 1000000;
    table = new KovTable;
    table->setClock([this] { return now; });
    tester = new QAbstractItemModelTester(table,
                                          QAbstractItemModelTester::FailureReportingMode::QtTest,
                                          table);
}

void tst_KovTable::cleanup()
{
    delete table;
    table = nullptr;
    tester = nullptr;
}

QStringList tst_KovTable::macs() const
{
    QStringList result;
    for (int row = 0; row < table->rowCount(); ++row)
        result.append(table->data(table->index(row, 0)).toString());
    return result;
}

void tst_KovTable::addDevices(const QList<Device> &devices)
{
    for (const Device &device : devices)
        QVERIFY(table->addKov(device.version, QHostAddress(device.ip), device.mac));
}

void tst_KovTable::firstReplyInsertsRow()
{
    QSignalSpy aboutToInsert(table, SIGNAL(rowsAboutToBeInserted(QModelIndex, int, int)));
    QSignalSpy inserted(table, SIGNAL(rowsInserted(QModelIndex, int, int)));
    QVERIFY(table->addKov("1.7.0", QHostAddress("192.168.1.20"), MacA));

    QCOMPARE(aboutToInsert.size(), 1);
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted[0][0].value<QModelIndex>(), QModelIndex());
    QCOMPARE(inserted[0][1].toInt(), 0);
    QCOMPARE(inserted[0][2].toInt(), 0);
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(table->columnCount(), 3);
    QCOMPARE(table->liveCount(), 1);
    QCOMPARE(table->totalCount(), 1);
    QCOMPARE(table->data(table->index(0, 0)), QVariant(MacA));
    QCOMPARE(table->data(table->index(0, 1)), QVariant("192.168.1.20"));
    QCOMPARE(table->data(table->index(0, 2)), QVariant("1.7.0"));
    for (int column = 0; column < 3; ++column)
        QCOMPARE(background(0, column), QColor(Qt::transparent));

    QVERIFY(table->addKov("1.6.0", QHostAddress("192.168.1.21"), MacB));
    QCOMPARE(inserted.size(), 2);
    QCOMPARE(inserted[1][1].toInt(), 1);
    QCOMPARE(inserted[1][2].toInt(), 1);
    QCOMPARE(table->totalCount(), 2);
}

void tst_KovTable::refresh_data()
{
    QTest::addColumn<QString>("firstVersion");
    QTest::addColumn<QString>("firstIp");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("ip");

    QTest::newRow("new IP") << "1.7.0"
                            << "192.168.1.20"
                            << "1.7.0"
                            << "192.168.1.99";
    QTest::newRow("new version") << "1.6.0"
                                 << "192.168.1.20"
                                 << "1.7.0"
                                 << "192.168.1.20";
    QTest::newRow("three-field reply then four-field") << "Unknown"
                                                       << "192.168.1.20"
                                                       << "1.7.0"
                                                       << "192.168.1.20";
    QTest::newRow("IP no longer parses") << "1.7.0"
                                         << "192.168.1.20"
                                         << "1.7.0"
                                         << "garbage";
    QTest::newRow("IP parses again") << "1.7.0"
                                     << "garbage"
                                     << "1.7.0"
                                     << "192.168.1.20";
}

void tst_KovTable::refresh()
{
    QFETCH(QString, firstVersion);
    QFETCH(QString, firstIp);
    QFETCH(QString, version);
    QFETCH(QString, ip);

    addDevices({{MacB, "10.0.0.1", "1.0"}});
    QVERIFY(table->addKov(firstVersion, QHostAddress(firstIp), MacA));
    addDevices({{MacC, "10.0.0.3", "1.0"}});
    QSignalSpy changed(table, SIGNAL(dataChanged(QModelIndex, QModelIndex, QList<int>)));
    QSignalSpy inserted(table, SIGNAL(rowsInserted(QModelIndex, int, int)));

    QVERIFY(!table->addKov(version, QHostAddress(ip), MacA));
    QCOMPARE(inserted.size(), 0);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed[0][0].value<QModelIndex>(), table->index(1, 0));
    QCOMPARE(changed[0][1].value<QModelIndex>(), table->index(1, 2));
    QCOMPARE(macs(), (QStringList{MacB, MacA, MacC}));
    QCOMPARE(table->data(table->index(1, 1)).toString(), QHostAddress(ip).toString());
    QCOMPARE(table->data(table->index(1, 2)).toString(), version);
    QCOMPARE(table->getKov(table->index(1, 0))->address, QHostAddress(ip));
}

void tst_KovTable::identicalReplyOnlyRestartsClock()
{
    QVERIFY(table->addKov("1.7.0", QHostAddress("192.168.1.20"), MacA));
    QSignalSpy changed(table, SIGNAL(dataChanged(QModelIndex, QModelIndex, QList<int>)));
    QSignalSpy inserted(table, SIGNAL(rowsInserted(QModelIndex, int, int)));
    advance(60000);
    QVERIFY(!table->addKov("1.7.0", QHostAddress("192.168.1.20"), MacA));
    QCOMPARE(changed.size(), 0);
    QCOMPARE(inserted.size(), 0);
    QCOMPARE(table->totalCount(), 1);

    // The clock restarted: another 60 s later the device is still live.
    advance(60000);
    runLostCheck();
    QCOMPARE(table->liveCount(), 1);
    QCOMPARE(table->getKov(table->index(0, 0))->seen, now - 60000);
}

void tst_KovTable::macsCompareCaseSensitively()
{
    QVERIFY(table->addKov("1.7.0", QHostAddress("10.0.0.1"), "00:1A:2B:3C:4D:5E"));
    QVERIFY(table->addKov("1.7.0", QHostAddress("10.0.0.1"), "00:1a:2b:3c:4d:5e"));
    QVERIFY(table->addKov("1.7.0", QHostAddress("10.0.0.1"), "00:1A:2B:3C:4D:5E "));
    QVERIFY(!table->addKov("1.7.0", QHostAddress("10.0.0.1"), "00:1a:2b:3c:4d:5e"));
    QCOMPARE(table->totalCount(), 3);
}

void tst_KovTable::liveness_data()
{
    QTest::addColumn<qint64>("silence");
    QTest::addColumn<bool>("lost");

    QTest::newRow("just answered") << qint64(0) << false;
    QTest::newRow("one minute") << qint64(60000) << false;
    QTest::newRow("exactly 61000 ms") << qint64(61000) << false;
    QTest::newRow("61001 ms") << qint64(61001) << true;
    QTest::newRow("62 s") << qint64(62000) << true;
    QTest::newRow("a day") << qint64(86400000) << true;
}

void tst_KovTable::liveness()
{
    QFETCH(qint64, silence);
    QFETCH(bool, lost);

    QVERIFY(table->addKov("1.7.0", QHostAddress("10.0.0.1"), MacA));
    advance(silence - 30000);
    QVERIFY(table->addKov("1.7.0", QHostAddress("10.0.0.2"), MacB));
    advance(30000);
    QSignalSpy changed(table, SIGNAL(dataChanged(QModelIndex, QModelIndex, QList<int>)));
    runLostCheck();

    const QColor expected = lost ? QColor(Qt::red) : QColor(Qt::transparent);
    for (int column = 0; column < 3; ++column)
        QCOMPARE(background(0, column), expected);
    QCOMPARE(background(1, 1), QColor(Qt::transparent));
    QCOMPARE(table->liveCount(), lost ? 1 : 2);
    QCOMPARE(table->totalCount(), 2);
    QCOMPARE(changed.size(), lost ? 1 : 0);
    if (lost) {
        QCOMPARE(changed[0][0].value<QModelIndex>(), table->index(0, 0));
        QCOMPARE(changed[0][1].value<QModelIndex>(), table->index(0, 2));
    }
}

void tst_KovTable::lostRowComesBack()
{
    QVERIFY(table->addKov("1.7.0", QHostAddress("10.0.0.1"), MacA));
    advance(62000);
    QSignalSpy changed(table, SIGNAL(dataChanged(QModelIndex, QModelIndex, QList<int>)));
    runLostCheck();
    QCOMPARE(changed.size(), 1);
    QCOMPARE(background(0, 1), QColor(Qt::red));
    QCOMPARE(table->liveCount(), 0);

    // Still lost at the next check: no second signal, nothing else moves.
    advance(5000);
    runLostCheck();
    QCOMPARE(changed.size(), 1);
    QCOMPARE(table->data(table->index(0, 1)), QVariant("10.0.0.1"));

    QVERIFY(!table->addKov("1.7.0", QHostAddress("10.0.0.1"), MacA));
    QCOMPARE(changed.size(), 2);
    QCOMPARE(changed[1][0].value<QModelIndex>(), table->index(0, 0));
    QCOMPARE(changed[1][1].value<QModelIndex>(), table->index(0, 2));
    QCOMPARE(background(0, 1), QColor(Qt::transparent));
    QCOMPARE(table->liveCount(), 1);
    QCOMPARE(table->totalCount(), 1);
}

void tst_KovTable::lostTimerRunsByItself()
{
    QVERIFY(table->addKov("1.7.0", QHostAddress("10.0.0.1"), MacA));
    advance(KovTable::LostThreshold + 1);
    QSignalSpy changed(table, SIGNAL(dataChanged(QModelIndex, QModelIndex, QList<int>)));
    QVERIFY(changed.wait(KovTable::LostCheckInterval + 2000));
    QCOMPARE(background(0, 0), QColor(Qt::red));
}

void tst_KovTable::sort_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<Qt::SortOrder>("order");
    QTest::addColumn<QStringList>("expected");

    // MacA: 10.0.0.9 "1.7.0", MacB: 10.0.0.10 "Unknown", MacC: 10.0.0.2 "1.10.0"
    QTest::newRow("MAC ascending") << 0 << Qt::AscendingOrder << QStringList{MacC, MacA, MacB};
    QTest::newRow("MAC descending") << 0 << Qt::DescendingOrder << QStringList{MacB, MacA, MacC};
    QTest::newRow("IP ascending, as text")
        << 1 << Qt::AscendingOrder << QStringList{MacB, MacC, MacA};
    QTest::newRow("IP descending, as text")
        << 1 << Qt::DescendingOrder << QStringList{MacA, MacC, MacB};
    QTest::newRow("version ascending, as text")
        << 2 << Qt::AscendingOrder << QStringList{MacC, MacA, MacB};
    QTest::newRow("version descending, as text")
        << 2 << Qt::DescendingOrder << QStringList{MacB, MacA, MacC};
}

void tst_KovTable::sort()
{
    QFETCH(int, column);
    QFETCH(Qt::SortOrder, order);
    QFETCH(QStringList, expected);

    addDevices({{MacA, "10.0.0.9", "1.7.0"},
                {MacB, "10.0.0.10", "Unknown"},
                {MacC, "10.0.0.2", "1.10.0"}});
    QSignalSpy reset(table, SIGNAL(modelReset()));
    table->sort(column, order);
    QCOMPARE(reset.size(), 1);
    QCOMPARE(macs(), expected);
    // Rows move whole: each MAC keeps its own IP.
    QCOMPARE(table->getKov(table->index(int(expected.indexOf(MacB)), 0))->ip, "10.0.0.10");
}

void tst_KovTable::sortBadColumnOnlyResets_data()
{
    QTest::addColumn<int>("column");
    QTest::newRow("column 3") << 3;
    QTest::newRow("column -1") << -1;
}

void tst_KovTable::sortBadColumnOnlyResets()
{
    QFETCH(int, column);

    QSignalSpy reset(table, SIGNAL(modelReset()));
    table->sort(column, Qt::AscendingOrder);
    QCOMPARE(reset.size(), 1);

    addDevices({{MacA, "10.0.0.9", "1.7.0"},
                {MacB, "10.0.0.10", "Unknown"},
                {MacC, "10.0.0.2", "1.10.0"}});
    table->sort(column, Qt::AscendingOrder);
    QCOMPARE(reset.size(), 2);
    QCOMPARE(macs(), (QStringList{MacA, MacB, MacC}));
}

void tst_KovTable::rowAddedAfterSortGoesLast()
{
    addDevices({{MacA, "10.0.0.9", "1.7.0"}, {MacB, "10.0.0.10", "1.7.0"}});
    table->sort(0, Qt::AscendingOrder);
    QCOMPARE(macs(), (QStringList{MacA, MacB}));
    QSignalSpy inserted(table, SIGNAL(rowsInserted(QModelIndex, int, int)));
    QVERIFY(table->addKov("1.7.0", QHostAddress("10.0.0.3"), MacC));
    QCOMPARE(inserted[0][1].toInt(), 2);
    QCOMPARE(macs(), (QStringList{MacA, MacB, MacC}));
    table->sort(0, Qt::AscendingOrder);
    QCOMPARE(macs(), (QStringList{MacC, MacA, MacB}));
}

void tst_KovTable::headerData_data()
{
    QTest::addColumn<int>("section");
    QTest::addColumn<Qt::Orientation>("orientation");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("MAC") << 0 << Qt::Horizontal << int(Qt::DisplayRole) << QVariant("MAC");
    QTest::newRow("IP") << 1 << Qt::Horizontal << int(Qt::DisplayRole) << QVariant("IP");
    QTest::newRow("Version") << 2 << Qt::Horizontal << int(Qt::DisplayRole) << QVariant("Version");
    QTest::newRow("section 3") << 3 << Qt::Horizontal << int(Qt::DisplayRole) << QVariant();
    QTest::newRow("section -1") << -1 << Qt::Horizontal << int(Qt::DisplayRole) << QVariant();
    QTest::newRow("vertical, no row numbers")
        << 0 << Qt::Vertical << int(Qt::DisplayRole) << QVariant();
    QTest::newRow("tool tip role") << 0 << Qt::Horizontal << int(Qt::ToolTipRole) << QVariant();
    QTest::newRow("background role")
        << 1 << Qt::Horizontal << int(Qt::BackgroundRole) << QVariant();
    // Sections 3 and 4 only while a site is open (section + 10 below).
    QTest::newRow("Name, site open")
        << 13 << Qt::Horizontal << int(Qt::DisplayRole) << QVariant("Name");
    QTest::newRow("Location, site open")
        << 14 << Qt::Horizontal << int(Qt::DisplayRole) << QVariant("Location");
    QTest::newRow("section 5, site open")
        << 15 << Qt::Horizontal << int(Qt::DisplayRole) << QVariant();
    QTest::newRow("MAC, site open")
        << 10 << Qt::Horizontal << int(Qt::DisplayRole) << QVariant("MAC");
}

void tst_KovTable::headerData()
{
    QFETCH(int, section);
    QFETCH(Qt::Orientation, orientation);
    QFETCH(int, role);
    QFETCH(QVariant, expected);

    addDevices({{MacA, "10.0.0.9", "1.7.0"}});
    table->setSiteColumns(section >= 10);
    QCOMPARE(table->columnCount(), section >= 10 ? 5 : 3);
    QCOMPARE(table->headerData(section % 10, orientation, role), expected);
}

void tst_KovTable::dataOutsideTableAndOtherRoles()
{
    QVERIFY(!table->data(QModelIndex()).isValid());
    addDevices({{MacA, "10.0.0.9", "1.7.0"}});
    QVERIFY(!table->data(QModelIndex(), Qt::BackgroundRole).isValid());
    QVERIFY(!table->data(table->index(1, 0)).isValid());
    QVERIFY(!table->data(table->index(0, 0), Qt::ToolTipRole).isValid());
    QVERIFY(!table->data(table->index(0, 1), Qt::EditRole).isValid());
    QVERIFY(!table->data(table->index(0, 0), Qt::ForegroundRole).isValid());
    QCOMPARE(table->rowCount(table->index(0, 0)), 0);
}

void tst_KovTable::cellsSelectableNotEditable()
{
    addDevices({{MacA, "10.0.0.9", "1.7.0"}});
    const Qt::ItemFlags flags = table->flags(table->index(0, 1));
    QVERIFY(flags & Qt::ItemIsSelectable);
    QVERIFY(flags & Qt::ItemIsEnabled);
    QVERIFY(!(flags & Qt::ItemIsEditable));
    QVERIFY(!table->setData(table->index(0, 1), "10.0.0.1"));
}

void tst_KovTable::getKovOutOfRange()
{
    QVERIFY(table->getKov(QModelIndex()).isNull());
    addDevices({{MacA, "10.0.0.9", "1.7.0"}});

    KovTable larger;
    larger.addKov("1.0", QHostAddress("10.0.0.1"), MacA);
    larger.addKov("1.0", QHostAddress("10.0.0.2"), MacB);
    QVERIFY(table->getKov(larger.index(1, 0)).isNull());
    QCOMPARE(table->getKov(larger.index(0, 2))->mac, MacA);
    QVERIFY(table->getKov(QModelIndex()).isNull());
}

void tst_KovTable::getKovReturnsLiveRecord()
{
    addDevices({{MacA, "10.0.0.9", "1.7.0"}, {MacB, "10.0.0.10", "1.7.0"}});
    const QSharedPointer<KovInfo> held = table->getKov(table->index(0, 0));
    QCOMPARE(held->mac, MacA);
    QCOMPARE(held->ip, "10.0.0.9");
    QCOMPARE(held->address, QHostAddress("10.0.0.9"));
    QCOMPARE(held->color, Qt::transparent);

    table->sort(0, Qt::DescendingOrder);
    QVERIFY(!table->addKov("1.8.0", QHostAddress("10.0.0.77"), MacA));
    QCOMPARE(held->version, "1.8.0");
    QCOMPARE(held->ip, "10.0.0.77");
    QCOMPARE(held->address, QHostAddress("10.0.0.77"));
    QCOMPARE(table->getKov(table->index(1, 0)), held);

    advance(61001);
    runLostCheck();
    QCOMPARE(held->color, Qt::red);
}

void tst_KovTable::siteDevicesListedMissing()
{
    addDevices({{MacA, "10.0.0.9", "1.7.0"}});
    table->setSiteColumns(true);
    QSharedPointer<KovInfo> missing(new KovInfo);
    missing->mac = MacB;
    missing->ip = "10.0.0.50";
    missing->version = "1.6.2";
    missing->name = "Lobby TV";
    missing->location = "Lobby";
    missing->inSite = true;
    table->addMissing({missing});
    QCOMPARE(table->rowCount(), 2);
    // Counted apart: the status line's counts are of devices heard in this run.
    QCOMPARE(table->liveCount(), 1);
    QCOMPARE(table->totalCount(), 1);
    QCOMPARE(table->missingCount(), 1);
    QCOMPARE(table->siteCount(), 1);
    QCOMPARE(table->data(table->index(1, 3)), QVariant("Lobby TV"));
    QCOMPARE(table->data(table->index(1, 4)), QVariant("Lobby"));
    table->sort(3, Qt::DescendingOrder);
    QCOMPARE(macs(), (QStringList{MacB, MacA}));

    // Never heard in this run, so never lost.
    advance(120000);
    runLostCheck();
    QCOMPARE(background(0, 0), QColor(Qt::transparent));
    QCOMPARE(table->liveCount(), 0);

    // Its first reply makes it live where it stands, every cell refreshed.
    QSignalSpy changed(table, SIGNAL(dataChanged(QModelIndex, QModelIndex, QList<int>)));
    QVERIFY(!table->addKov("1.6.2", QHostAddress("10.0.0.50"), MacB));
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed[0][1].value<QModelIndex>(), table->index(0, 4));
    QCOMPARE(table->liveCount(), 1);
    QCOMPARE(table->totalCount(), 2);
    QCOMPARE(table->missingCount(), 0);

    // Closing the site drops only rows never heard, and the two columns.
    QSharedPointer<KovInfo> silent(new KovInfo);
    silent->mac = MacC;
    table->addMissing({silent});
    table->removeMissing();
    table->setSiteColumns(false);
    QCOMPARE(table->columnCount(), 3);
    QCOMPARE(macs(), (QStringList{MacB, MacA}));
}

QTEST_GUILESS_MAIN(tst_KovTable)
#include "tst_kovtable.moc"
