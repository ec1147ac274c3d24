#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTest>

#include "firmwaretestutil.h"
#include "firmwareupdate.h"
#include "httptestserver.h"

// The web service client on its own, as a command-line program uses it.
class tst_FirmwareUpdate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void repeatedQueryUsesLatest();

private:
    HttpTestServer http;
};

namespace {
const QString VersionTarget = "/webservice/kov-1-rev7.php?o=version";
const QString DownloadTarget = "/webservice/kov-1-rev7.php?o=download";
}

void tst_FirmwareUpdate::initTestCase()
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    QVERIFY(http.start());
}

void tst_FirmwareUpdate::repeatedQueryUsesLatest()
{
    // Two queries before the service answers: the first is replaced by the
    // second, and its late answer must neither be read in place of the
    // second nor start a download of its own.
    const QByteArray image = FirmwareTest::builtInImage();
    http.setResponse(VersionTarget, HttpTestServer::held("1.7.9\n"));
    http.setResponse(DownloadTarget, HttpTestServer::ok(image));
    FirmwareUpdate update(http.hostAndPort());
    QSignalSpy finished(update.findChild<QNetworkAccessManager *>(),
                        &QNetworkAccessManager::finished);
    QSignalSpy ready(&update, &FirmwareUpdate::firmwareReady);
    update.checkVersion();
    QTRY_COMPARE(http.heldCount(), 1);
    http.setResponse(VersionTarget, HttpTestServer::held("1.8.0\n"));
    update.checkVersion();
    QTRY_COMPARE(http.heldCount(), 2);

    http.releaseNext();
    QVERIFY(finished.wait());
    QVERIFY(update.isRunning());
    QVERIFY(update.version().isEmpty());
    QCOMPARE(http.count(DownloadTarget), 0);

    http.releaseNext();
    QTRY_VERIFY(!update.isRunning());
    QCOMPARE(http.count(DownloadTarget), 1);
    QCOMPARE(ready.count(), 1);
    QCOMPARE(ready.at(0).at(0).toString(), QString("1.8.0\n"));
    QCOMPARE(ready.at(0).at(1).toByteArray(), image);
    QCOMPARE(update.image(), image);
}

QTEST_GUILESS_MAIN(tst_FirmwareUpdate)
#include "tst_firmwareupdate.moc"
