#include <QtTest>

#include "fleetupgrade.h"
#include "tftpdserver.h"
#include "tftptestclient.h"

using namespace TftpTest;

// How a device that answers after its upgrade is matched to its transfer:
// by the MAC known for the transfer's address, else by the address; and
// only replies heard after a beacon sent since "done" count. The window's
// end-to-end test covers the rest of a round.
class tst_FleetUpgrade : public QObject
{
    Q_OBJECT

private slots:
    void matching_data();
    void matching();
};

void tst_FleetUpgrade::matching_data()
{
    QTest::addColumn<QString>("knownMac");
    QTest::addColumn<QString>("replyIp");
    QTest::addColumn<QString>("replyMac");
    QTest::addColumn<QString>("replyVersion");
    QTest::addColumn<QString>("result");

    QTest::newRow("by MAC, back on another address") << "00:1E:C0:00:00:01"
                                                     << "10.0.0.9"
                                                     << "00:1e:c0:00:00:01"
                                                     << "1.7.0"
                                                     << "running 1.7.0";
    QTest::newRow("by MAC, another device on the address") << "00:1E:C0:00:00:01"
                                                           << "127.0.0.1"
                                                           << "00:1E:C0:00:00:02"
                                                           << "1.7.0"
                                                           << "no answer after the upgrade";
    QTest::newRow("by address when no MAC is known") << ""
                                                     << "127.0.0.1"
                                                     << "00:1E:C0:00:00:02"
                                                     << "1.7.0"
                                                     << "running 1.7.0";
    QTest::newRow("three-field reply, no version") << "00:1E:C0:00:00:01"
                                                   << "127.0.0.1"
                                                   << "00:1E:C0:00:00:01"
                                                   << "Unknown"
                                                   << "restarted; it does not report its version";
    QTest::newRow("by address, old version") << ""
                                             << "127.0.0.1"
                                             << "00:1E:C0:00:00:02"
                                             << "1.6.2"
                                             << "still running 1.6.2";
}

void tst_FleetUpgrade::matching()
{
    QFETCH(QString, knownMac);
    QFETCH(QString, replyIp);
    QFETCH(QString, replyMac);
    QFETCH(QString, replyVersion);
    QFETCH(QString, result);

    TFTPDServer server;
    server.start(0);
    FleetUpgrade fleet(&server, 1500, 300);
    fleet.setServedVersion(" 1.7.0\n");
    fleet.setMacLookup([&](const QHostAddress &) { return knownMac; });

    Client device;
    device.send(rrq("kov-1-rev7.hex"), server.localPort());
    for (quint16 k = 1;; ++k) {
        const QNetworkDatagram d = device.next();
        QCOMPARE(blockOf(d.data()), k);
        device.send(ack(k), quint16(d.senderPort()));
        if (d.data().size() < 516)
            break;
    }
    const QHostAddress address(QHostAddress::LocalHost);
    QTRY_COMPARE(fleet.entry(address).status, QStringLiteral("done"));
    QCOMPARE(fleet.entry(address).resultText(),
             QStringLiteral("waiting for the device to restart"));
    QCOMPARE(fleet.summary(),
             QStringLiteral("0 running the new firmware, 0 failed, 1 in progress"));

    // An answer to a beacon from before the restart does not count...
    const int id = fleet.entry(address).id;
    fleet.deviceDetected(replyVersion, QHostAddress(replyIp), replyMac);
    QCOMPARE(fleet.entryOf(id).result, FleetUpgrade::Result::Waiting);
    // ...one after the next beacon does.
    QTRY_VERIFY_WITH_TIMEOUT((fleet.deviceDetected(replyVersion, QHostAddress(replyIp), replyMac),
                              fleet.entryOf(id).result != FleetUpgrade::Result::Waiting),
                             5000);
    QCOMPARE(fleet.entryOf(id).resultText(), result);
    const bool unverified = result.startsWith("restarted");
    QCOMPARE(fleet.hasFailed(), !result.startsWith("running") && !unverified);
    QCOMPARE(fleet.retryFailed(), int(fleet.hasFailed()));
    // One entry, which moved to where the device answered from.
    QCOMPARE(fleet.entryCount(), 1);
    const bool answered = !result.startsWith("no answer");
    QCOMPARE(fleet.entryOf(id).address, answered ? QHostAddress(replyIp) : address);
    QCOMPARE(fleet.contains(address), !answered || QHostAddress(replyIp) == address);
    if (unverified)
        QCOMPARE(fleet.summary(),
                 QStringLiteral("0 running the new firmware, 1 unverified, 0 failed, "
                                "0 in progress"));
}

QTEST_GUILESS_MAIN(tst_FleetUpgrade)
#include "tst_fleetupgrade.moc"
