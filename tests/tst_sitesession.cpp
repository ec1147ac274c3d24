#include <QFile>
#include <QHostAddress>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "kovtable.h"
#include "site.h"
#include "sitejson.h"
#include "sitesession.h"

namespace {
const QString MacA = QStringLiteral("00:1E:C0:77:00:01");
const QString MacB = QStringLiteral("00:1E:C0:77:00:02");
const QString MacC = QStringLiteral("00:1E:C0:77:00:03");
} // namespace

// A site open over the device table: its devices listed, missing until
// heard; what is heard, named or changed on disk, as the file then holds.
class tst_SiteSession : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void listsSiteDevices();
    void saves_data();
    void saves();

private:
    Site onDisk() const;
    void hear(const QString &mac, const QString &ip, const QString &version)
    {
        table->addKov(version, QHostAddress(ip), mac);
        session->deviceHeard(version, QHostAddress(ip), mac);
    }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<KovTable> table;
    std::unique_ptr<SiteSession> session;
    QString path;
};

void tst_SiteSession::init()
{
    dir = std::make_unique<QTemporaryDir>();
    path = dir->filePath("hotel.kovsite");
    Site site;
    site.name = "Hotel";
    site.targetVersion = "1.7.0";
    SiteDevice a;
    a.mac = MacA;
    a.name = "Lobby TV";
    a.lastAddress = "10.0.0.5";
    a.lastVersion = "1.7.0";
    a.lastSeen = QDateTime(QDate(2026, 12, 1), QTime(8, 0), Qt::UTC);
    SiteDevice b;
    b.mac = MacB;
    b.name = "Bar relay";
    site.devices = {a, b};
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(SiteJson::serialise(site));
    file.close();

    session.reset();
    table = std::make_unique<KovTable>();
    session = std::make_unique<SiteSession>(table.get());
    // Heard before the site was opened, in lower case: not in the site.
    table->addKov("1.6.2", QHostAddress("10.0.0.7"), MacC.toLower());
    QString error;
    QVERIFY2(session->open(path, &error), qPrintable(error));
}

Site tst_SiteSession::onDisk() const
{
    QFile file(path);
    Site site;
    QString error;
    if (!file.open(QIODevice::ReadOnly) || !SiteJson::parse(file.readAll(), &site, &error))
        qWarning("site file unreadable: %s", qPrintable(error));
    return site;
}

void tst_SiteSession::listsSiteDevices()
{
    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(table->columnCount(), 5);
    QCOMPARE(table->missingCount(), 2);
    QCOMPARE(table->totalCount(), 1);
    const QSharedPointer<KovInfo> a = session->kovOf(MacA.toLower());
    QVERIFY(a && !a->heard && a->inSite);
    QCOMPARE(a->ip, QString("10.0.0.5"));
    QCOMPARE(a->lastHeard, QDateTime(QDate(2026, 12, 1), QTime(8, 0), Qt::UTC));
    // Heard on another version than the target: outdated (and new).
    QVERIFY(session->kovOf(MacC)->outdated && !session->kovOf(MacC)->inSite);

    // A site device that spells its MAC otherwise takes its row over.
    hear(MacB.toLower(), "10.0.0.8", "1.7.0");
    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(session->kovOf(MacB)->name, QString("Bar relay"));
    QCOMPARE(session->kovOf(MacB)->mac, MacB.toLower());

    session->close();
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->columnCount(), 3);
    QVERIFY(table->kovs().at(1)->name.isEmpty());
}

void tst_SiteSession::saves_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<bool>("savedAtOnce");
    QTest::addColumn<QString>("addressA");
    QTest::addColumn<QString>("nameC");
    QTest::addColumn<bool>("conflict");

    QTest::newRow("new address: at once") << "move" << true << "10.0.0.6"
                                          << "" << false;
    QTest::newRow("only the time: on flush") << "again" << false << "10.0.0.5"
                                             << "" << false;
    QTest::newRow("naming a new device adds it") << "name" << true << "10.0.0.5"
                                                 << "Spa audio" << false;
    QTest::newRow("a name in use is refused") << "clash" << false << "10.0.0.5"
                                              << "" << false;
    QTest::newRow("changed on disk: not overwritten") << "disk" << false << "10.0.0.5"
                                                      << "" << true;
}

void tst_SiteSession::saves()
{
    QFETCH(QString, step);
    QFETCH(bool, savedAtOnce);
    QFETCH(QString, addressA);
    QFETCH(QString, nameC);
    QFETCH(bool, conflict);

    QSignalSpy conflicts(session.get(), &SiteSession::conflict);
    const auto bytes = [this] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = bytes();
    QByteArray other;
    QString error;
    if (step == "move") {
        hear(MacA, "10.0.0.6", "1.7.0");
    } else if (step == "again") {
        hear(MacA, "10.0.0.5", "1.7.0");
    } else if (step == "name") {
        QVERIFY(session->setFields(MacC, "Spa audio", "Spa", "", &error));
    } else if (step == "clash") {
        QVERIFY(!session->setFields(MacC, "lobby tv", "", "", &error));
        QVERIFY(error.contains("lobby tv", Qt::CaseInsensitive));
    } else if (step == "disk") {
        other = before;
        other.replace("Hotel", "Motel");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(other);
        file.close();
        QVERIFY(session->setFields(MacC, "Spa audio", "", "", &error));
    }
    // A burst of replies is saved once the event loop runs again.
    QCoreApplication::processEvents();
    QCOMPARE(bytes() != (other.isEmpty() ? before : other), savedAtOnce);
    session->flush();
    const Site site = onDisk();
    QCOMPARE(site.devices.value(0).lastAddress, conflict ? QString("10.0.0.5") : addressA);
    QCOMPARE(site.devices.size(), nameC.isEmpty() ? 2 : 3);
    if (!nameC.isEmpty())
        QCOMPARE(site.devices.value(2).name, nameC);
    if (step == "again")
        QVERIFY(site.devices.value(0).lastSeen
                > QDateTime(QDate(2026, 12, 1), QTime(8, 0), Qt::UTC));
    QCOMPARE(!conflicts.isEmpty(), conflict);
    if (conflict) {
        QCOMPARE(bytes(), other);
        QVERIFY(session->siteFile().hasUnsavedChanges());
    }
}

QTEST_GUILESS_MAIN(tst_SiteSession)
#include "tst_sitesession.moc"
