#include <QTemporaryDir>
#include <QTest>

#include "csvreader.h"
#include "devicelistcsv.h"

class tst_DeviceListCsv : public QObject
{
    Q_OBJECT

private slots:
    void format_data();
    void format();
    void saveFailureNamesReason();
    void readBack_data();
    void readBack();
    void readRefuses_data();
    void readRefuses();
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
    QTest::newRow("formula in version")
        << QStringList{mac, "10.1.2.3", "=1+2", "live", "just now"}
        << QByteArray("00:1E:C0:77:00:0A,10.1.2.3,'=1+2,live,just now");
    QTest::newRow("formula with a comma")
        << QStringList{mac, "", "=HYPERLINK(\"x\",\"y\")", "live", "just now"}
        << QByteArray("00:1E:C0:77:00:0A,,\"'=HYPERLINK(\"\"x\"\",\"\"y\"\")\",live,just now");
    QTest::newRow("plus, minus, at, tab, carriage return")
        << QStringList{"+1", "-1", "@SUM(A1)", "\tx", "\rx"}
        << QByteArray("'+1,'-1,'@SUM(A1),'\tx,\"'\rx\"");
    QTest::newRow("sign inside is left alone")
        << QStringList{mac, "", "1.7-rc=2", "live", "just now"}
        << QByteArray("00:1E:C0:77:00:0A,,1.7-rc=2,live,just now");
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

// What the export writes, a spreadsheet's own quirks (LF or CR line ends,
// a byte order mark, blank lines) read back to the same fields and lines.
void tst_DeviceListCsv::readBack_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QList<int>>("lines");
    QTest::addColumn<QList<QStringList>>("records");

    const QStringList header{"MAC", "IP", "Version", "State", "Last seen"};
    const QStringList quoted{"00:1E:C0:77:00:0A", "", "a,\"b\"\r\nc", "live", ""};
    QTest::newRow("own export") << DeviceListCsv::format({quoted}) << QList<int>{1, 2}
                                << QList<QStringList>{header, quoted};
    QTest::newRow("LF, BOM, blank lines, empty last field")
        << QByteArray("\xEF\xBB\xBFmac,name\n\n00:1E:C0:00:00:01,\n\"x\ny\",z\rlast,1")
        << QList<int>{1, 3, 4, 6}
        << QList<QStringList>{{"mac", "name"},
                              {"00:1E:C0:00:00:01", ""},
                              {"x\ny", "z"},
                              {"last", "1"}};
}

void tst_DeviceListCsv::readBack()
{
    QFETCH(QByteArray, csv);
    QFETCH(QList<int>, lines);
    QFETCH(QList<QStringList>, records);

    QList<CsvReader::Record> read;
    QString error;
    QVERIFY2(CsvReader::read(csv, &read, &error), qPrintable(error));
    QCOMPARE(read.size(), records.size());
    for (int i = 0; i < read.size(); ++i) {
        QCOMPARE(read.at(i).line, lines.at(i));
        QCOMPARE(read.at(i).fields, records.at(i));
    }
}

void tst_DeviceListCsv::readRefuses_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QString>("error");

    QTest::newRow("unclosed quote")
        << QByteArray("mac\na\n\"open,\nmore") << "line 3: a quoted field is never closed";
    QTest::newRow("text after quote")
        << QByteArray("mac,name\n\"a\"b,c") << "line 2: text after a closing quote";
}

void tst_DeviceListCsv::readRefuses()
{
    QFETCH(QByteArray, csv);
    QFETCH(QString, error);

    QList<CsvReader::Record> read{{1, {"stale"}}};
    QString message;
    QVERIFY(!CsvReader::read(csv, &read, &message));
    QCOMPARE(message, error);
    QVERIFY(read.isEmpty());
}

QTEST_GUILESS_MAIN(tst_DeviceListCsv)
#include "tst_devicelistcsv.moc"
