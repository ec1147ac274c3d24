#include <QNetworkDatagram>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

#include "unicastprobe.h"

// The test's namespace routes 10.0.0.0/24 to loopback (scripts/netns-run),
// so every probed address arrives at one socket on the device port.
class tst_UnicastProbe : public QObject
{
    Q_OBJECT

private slots:
    void beaconToEachAddressOnce();
};

void tst_UnicastProbe::beaconToEachAddressOnce()
{
    QUdpSocket devices;
    QVERIFY(devices.bind(QHostAddress::AnyIPv4, 5999));
    UnicastProbe probe;
    QSignalSpy finished(&probe, &UnicastProbe::finished);

    const AddressRange block = AddressRange::parse("10.0.0.64/26");
    const AddressRange single = AddressRange::parse("10.0.0.9");
    probe.probe({block, single});
    QVERIFY(probe.isActive());
    // Asked again while running: the queued ranges are not sent twice.
    probe.probe({single});
    QCOMPARE(probe.pending() + probe.sent(), 63);

    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.count(), 1);
    QVERIFY(!probe.isActive());
    QSet<QString> heard;
    QList<QByteArray> payloads;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            while (devices.hasPendingDatagrams()) {
                const QNetworkDatagram d = devices.receiveDatagram();
                payloads.append(d.data());
                heard.insert(d.destinationAddress().toString());
            }
            return payloads.size() >= 63;
        }(),
        5000);
    QVERIFY(!devices.waitForReadyRead(100));
    const int datagrams = int(payloads.size());
    QCOMPARE(payloads.count(QByteArray("KOV-1\x02")), datagrams);
    QCOMPARE(datagrams, 63);
    QCOMPARE(heard.size(), 63);
    QVERIFY(heard.contains("10.0.0.65") && heard.contains("10.0.0.126"));
    QVERIFY(heard.contains("10.0.0.9") && !heard.contains("10.0.0.64"));
}

QTEST_GUILESS_MAIN(tst_UnicastProbe)
#include "tst_unicastprobe.moc"
