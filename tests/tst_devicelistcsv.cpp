#include <QTemporaryDir>
#include <QTest>

#include "devicelistcsv.h"

class tst_DeviceListCsv : public QObject
{
    Q_OBJECT

private slots:
    void format_data();
    void format();
    void saveFailureNamesReason();
};

void tst_DeviceListCsv::format_data()
{
    QTest::addColumn<QStringList>("row");
    QTest::addColumn<QByteArray>("line");

    const QString mac = "00:1E:C0:77:00:0A";
    QTest::newRow("plain") << QStringList{mac, "10.1.2.3", "1.7.0", "live", "just now"}
                           << QByteArray("00:1E:C0:77:00:0A,10.1.2.3,1.7.0,live,just now");
    QTest::newRow("comma in version")
        << QStringList{mac, "10.1.2.3", "1.7,beta", "lost", "lost 3 min ago"}
        << QByteArray("00:1E:C0:77:00:0A,10.1.2.3,\"1.7,beta\",lost,lost 3 min ago");
    QTest::newRow("quote in version")
        << QStringList{mac, "10.1.2.3", "1.7 \"rc\"", "live", "42 s ago"}
        << QByteArray("00:1E:C0:77:00:0A,10.1.2.3,\"1.7 \"\"rc\"\"\",live,42 s ago");
    QTest::newRow("line break") << QStringList{mac, "", "a\r\nb", "live", "just now"}
                                << QByteArray("00:1E:C0:77:00:0A,,\"a\r\nb\",live,just now");
    QTest::newRow("UTF-8") << QStringList{mac, "", "Version \u00e9\u20ac", "live", "just now"}
                           << QByteArray("00:1E:C0:77:00:0A,,Version \xc3\xa9\xe2\x82\xac,live,"
                                         "just now");
}

void tst_DeviceListCsv::format()
{
    QFETCH(QStringList, row);
    QFETCH(QByteArray, line);

    QCOMPARE(DeviceListCsv::format({row}), "MAC,IP,Version,State,Last seen\r\n" + line + "\r\n");
}

void tst_DeviceListCsv::saveFailureNamesReason()
{
    QTemporaryDir dir;
    QString error;
    QVERIFY(!DeviceListCsv::save(dir.filePath("no/such/dir.csv"), {}, &error));
    QVERIFY2(error.contains("No such file or directory"), qPrintable(error));
}

QTEST_GUILESS_MAIN(tst_DeviceListCsv)
#include "tst_devicelistcsv.moc"
