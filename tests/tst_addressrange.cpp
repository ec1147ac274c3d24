#include <QTest>

#include "addressrange.h"

class tst_AddressRange : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void rejected_data();
    void rejected();
};

void tst_AddressRange::parse_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("text");

    QTest::newRow("one address") << "10.1.2.3" << 1 << "10.1.2.3"
                                 << "10.1.2.3"
                                 << "10.1.2.3";
    QTest::newRow("white space") << "  10.1.2.3 " << 1 << "10.1.2.3"
                                 << "10.1.2.3"
                                 << "10.1.2.3";
    QTest::newRow("range") << "10.1.2.10-10.1.2.60" << 51 << "10.1.2.10"
                           << "10.1.2.60"
                           << "10.1.2.10-10.1.2.60";
    QTest::newRow("range across octets") << "10.1.2.250-10.1.3.5" << 12 << "10.1.2.250"
                                         << "10.1.3.5"
                                         << "10.1.2.250-10.1.3.5";
    QTest::newRow("range of 4096") << "10.2.0.0-10.2.15.255" << 4096 << "10.2.0.0"
                                   << "10.2.15.255"
                                   << "10.2.0.0-10.2.15.255";
    QTest::newRow("/20 hosts") << "172.16.5.9/20" << 4094 << "172.16.0.1"
                               << "172.16.15.254"
                               << "172.16.0.0/20";
    QTest::newRow("/24 hosts") << "10.9.8.0/24" << 254 << "10.9.8.1"
                               << "10.9.8.254"
                               << "10.9.8.0/24";
    QTest::newRow("/30 hosts") << "10.9.8.4/30" << 2 << "10.9.8.5"
                               << "10.9.8.6"
                               << "10.9.8.4/30";
    QTest::newRow("/31 both") << "10.9.8.4/31" << 2 << "10.9.8.4"
                              << "10.9.8.5"
                              << "10.9.8.4/31";
    QTest::newRow("/32") << "10.9.8.7/32" << 1 << "10.9.8.7"
                         << "10.9.8.7"
                         << "10.9.8.7/32";
    QTest::newRow("just below multicast") << "223.255.255.254" << 1 << "223.255.255.254"
                                          << "223.255.255.254"
                                          << "223.255.255.254";
}

void tst_AddressRange::parse()
{
    QFETCH(QString, input);
    QFETCH(int, count);
    QFETCH(QString, first);
    QFETCH(QString, last);
    QFETCH(QString, text);

    QString error = QStringLiteral("stale");
    const AddressRange range = AddressRange::parse(input, &error);
    QVERIFY2(range.isValid(), qPrintable(error));
    QVERIFY(error.isEmpty());
    QCOMPARE(range.count(), count);
    QCOMPARE(range.at(0).toString(), first);
    QCOMPARE(range.at(count - 1).toString(), last);
    QCOMPARE(QHostAddress(range.first()).toString(), first);
    QCOMPARE(QHostAddress(range.last()).toString(), last);
    QVERIFY(range.at(count).isNull());
    QCOMPARE(range.text(), text);
    QCOMPARE(AddressRange::parse(range.text()), range);
}

void tst_AddressRange::rejected_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("reason"); // a word the message must hold

    QTest::newRow("empty") << ""
                           << "Enter";
    QTest::newRow("a name") << "kov-lab"
                            << "not an IPv4 address";
    QTest::newRow("three parts") << "10.1.2"
                                 << "not an IPv4";
    QTest::newRow("octet above 255") << "10.1.2.256"
                                     << "not an IPv4";
    QTest::newRow("IPv6") << "fe80::1"
                          << "not an IPv4";
    QTest::newRow("sign in octet") << "10.+1.2.3"
                                   << "not an IPv4";
    QTest::newRow("bad range end") << "10.1.2.3-x"
                                   << "\"x\" is not";
    QTest::newRow("bad prefix") << "10.1.2.0/abc"
                                << "prefix";
    QTest::newRow("prefix above 32") << "10.1.2.0/33"
                                     << "prefix";
    QTest::newRow("/19 too large") << "10.1.0.0/19"
                                   << "larger than /20";
    QTest::newRow("end before start") << "10.1.2.60-10.1.2.10"
                                      << "before its start";
    QTest::newRow("range of 4097") << "10.2.0.0-10.2.16.0"
                                   << "4097";
    QTest::newRow("0.0.0.0") << "0.0.0.0"
                             << "0.0.0.0";
    QTest::newRow("block holding 0.0.0.0") << "0.0.0.0/24"
                                           << "0.0.0.0";
    QTest::newRow("limited broadcast") << "255.255.255.255"
                                       << "broadcast";
    QTest::newRow("range to broadcast") << "255.255.255.250-255.255.255.255"
                                        << "broadcast";
    QTest::newRow("multicast") << "224.0.0.1"
                               << "multicast";
    QTest::newRow("range into multicast") << "223.255.255.200-224.0.0.5"
                                          << "multicast";
    QTest::newRow("loopback") << "127.0.0.1"
                              << "loopback";
    QTest::newRow("loopback block") << "127.0.1.0/24"
                                    << "loopback";
}

void tst_AddressRange::rejected()
{
    QFETCH(QString, input);
    QFETCH(QString, reason);

    QString error;
    const AddressRange range = AddressRange::parse(input, &error);
    QVERIFY(!range.isValid());
    QCOMPARE(range.count(), 0);
    QVERIFY(range.at(0).isNull());
    QVERIFY2(error.contains(reason), qPrintable(error));
    QVERIFY(!error.contains(QLatin1Char('\n')));
}

QTEST_GUILESS_MAIN(tst_AddressRange)
#include "tst_addressrange.moc"
