#include <QAbstractItemModelTester>
#include <QTest>

#include "kovtable.h"
#include "kovtableproxy.h"
#include "lastseen.h"

class tst_KovTableProxy : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void filter_data();
    void filter();
    void lastSeen_data();
    void lastSeen();

private:
    QStringList shownMacs() const;
    void add(const QString &mac, const QString &ip, const QString &version)
    {
        table->addKov(version, QHostAddress(ip), mac);
    }

    KovTable *table = nullptr;
    KovTableProxy *proxy = nullptr;
    qint64 now = 0;
};

void tst_KovTableProxy::init()
{
    table = new KovTable;
    table->setClock([this] { return now; });
    proxy = new KovTableProxy(table);
    new QAbstractItemModelTester(proxy, QAbstractItemModelTester::FailureReportingMode::QtTest,
                                 proxy);
    proxy->sort(0, Qt::AscendingOrder);
}

void tst_KovTableProxy::cleanup()
{
    delete proxy;
    delete table;
}

QStringList tst_KovTableProxy::shownMacs() const
{
    QStringList macs;
    for (int row = 0; row < proxy->rowCount(); ++row)
        macs << proxy->index(row, 0).data().toString();
    return macs;
}

void tst_KovTableProxy::filter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("macs");

    const QString a = "00:1E:C0:AA:00:01", b = "00:1e:c0:aa:00:02", c = "00:1E:C0:77:00:03";
    QTest::newRow("none, by MAC text") << "" << QStringList{c, a, b};
    QTest::newRow("MAC, either case") << "c0:Aa" << QStringList{a, b};
    QTest::newRow("IP part") << "10.1.0.2" << QStringList{a, b};
    QTest::newRow("whole IP") << "10.1.0.20" << QStringList{b};
    QTest::newRow("version") << "BETA" << QStringList{c};
    QTest::newRow("no match") << "zz" << QStringList{};
    // The site's texts, set on a, b and c below.
    QTest::newRow("name") << "lobby" << QStringList{a};
    QTest::newRow("location") << "BAR" << QStringList{b};
    QTest::newRow("notes") << "behind the" << QStringList{c};
}

void tst_KovTableProxy::filter()
{
    QFETCH(QString, text);
    QFETCH(QStringList, macs);

    add("00:1E:C0:AA:00:01", "10.1.0.2", "1.7.0");
    add("00:1e:c0:aa:00:02", "10.1.0.20", "1.6.2");
    add("00:1E:C0:77:00:03", "10.2.0.3", "1.8.0-beta");
    table->setSiteColumns(true);
    table->kovs().at(0)->name = "Lobby TV";
    table->kovs().at(1)->location = "Bar";
    table->kovs().at(2)->notes = "behind the screen";
    proxy->setFilterText(text);
    QCOMPARE(shownMacs(), macs);
    QCOMPARE(proxy->shownRows().size(), macs.size());
    // A later device is shown only if it matches.
    add("00:1E:C0:AA:00:04", "10.9.9.9", "0.1");
    QCOMPARE(proxy->rowCount(),
             int(macs.size())
                 + (QString("00:1E:C0:AA:00:04").contains(text, Qt::CaseInsensitive) ? 1 : 0));
}

void tst_KovTableProxy::lastSeen_data()
{
    QTest::addColumn<qint64>("age");
    QTest::addColumn<bool>("lost");
    QTest::addColumn<QString>("text");

    QTest::newRow("0 ms") << qint64(0) << false << "just now";
    QTest::newRow("4.9 s") << qint64(4999) << false << "just now";
    QTest::newRow("42 s") << qint64(42500) << false << "42 s ago";
    QTest::newRow("lost 1 min") << qint64(61500) << true << "lost 1 min ago";
    QTest::newRow("lost 3 min") << qint64(3 * 60000 + 59000) << true << "lost 3 min ago";
    QTest::newRow("lost 2 h") << qint64(2 * 3600000 + 5000) << true << "lost 2 h ago";
}

void tst_KovTableProxy::lastSeen()
{
    QFETCH(qint64, age);
    QFETCH(bool, lost);
    QFETCH(QString, text);

    QCOMPARE(LastSeen::text(age, lost), text);
    // The same text is each row's tooltip, aged by the table's clock.
    now = 1000;
    add("00:00:00:00:00:01", "10.0.0.1", "1.1");
    now += age;
    QVERIFY(QMetaObject::invokeMethod(table, "KovLostTimer"));
    QCOMPARE(proxy->index(0, 1).data(Qt::ToolTipRole).toString(), text);
    QCOMPARE(proxy->shownRows().value(0).value(3), lost ? QString("lost") : QString("live"));
}

QTEST_GUILESS_MAIN(tst_KovTableProxy)
#include "tst_kovtableproxy.moc"
