#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "site.h"
#include "sitedeviceimport.h"
#include "sitefile.h"
#include "sitejson.h"

// The site file (reading, validating, writing, refusing to overwrite a file
// changed on disk, surviving a writer killed mid-save) and the device CSV
// import, on real files.
class tst_Site : public QObject
{
    Q_OBJECT

private slots:
    void badInput_data();
    void badInput();
    void lookupFoldsCase_data();
    void lookupFoldsCase();
    void exampleRoundTrips();
    void importPlansChanges();
    void changedOnDiskIsNotOverwritten();
    void killedMidSaveLeavesTheOldFile();

private:
    QTemporaryDir dir;
};

namespace {

const QByteArray example = R"({
    "format": "kov-site",
    "version": 1,
    "name": "Hotel Aurora",
    "targetVersion": "1.8.0",
    "ranges": ["10.1.2.10-10.1.2.60"],
    "devices": [
        {
            "mac": "00:1E:C0:77:00:01",
            "name": "Lobby TV",
            "location": "Lobby",
            "notes": "behind the screen",
            "lastHeard": {"address": "10.77.0.10", "version": "1.7.0", "time": "2026-12-07T20:15:00Z"}
        }
    ],
    "irCodes": [
        {"equipment": "Lobby TV", "name": "Power", "protocol": "nec1", "device": 4, "function": 8, "ports": [1]},
        {"equipment": "Bar amplifier", "name": "Mute", "pronto": "0000 006D 0000 0001 0016 0016"}
    ]
}
)";

QByteArray siteWith(const QByteArray &devices, const QByteArray &codes = "[]")
{
    return R"({"format": "kov-site", "version": 1, "name": "S", "devices": )" + devices
           + R"(, "irCodes": )" + codes + "}";
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

void tst_Site::badInput_data()
{
    QTest::addColumn<bool>("csv"); // a device CSV for the example site, else a site file
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("message");

    const QByteArray lobby = R"({"mac": "00:1E:C0:77:00:01", "name": "Lobby TV"})";
    QTest::newRow("file: not JSON, line and column")
        << false << QByteArray("{\n  \"format\": \"kov-site\",\n  \"version\": 1,,\n}")
        << "line 3, column 17: unterminated object";
    QTest::newRow("file: empty") << false << QByteArray() << "line 1, column 1: illegal value";
    QTest::newRow("file: JSON but no format marker")
        << false << QByteArray(R"({"version": 1, "devices": []})") << "not a KOV-1 site file";
    QTest::newRow("file: another format")
        << false << QByteArray(R"({"format": "kov-fleet", "version": 1})")
        << "not a KOV-1 site file";
    QTest::newRow("file: an array") << false << QByteArray("[]") << "not a KOV-1 site file";
    QTest::newRow("file: newer version")
        << false << QByteArray(R"({"format": "kov-site", "version": 2})")
        << "site format version 2 is newer than this tool reads (1)";
    QTest::newRow("file: version not a number")
        << false << QByteArray(R"({"format": "kov-site", "version": "1"})")
        << "the site format version is missing or not a whole number";
    QTest::newRow("file: bad MAC")
        << false << siteWith("[" + lobby + R"(, {"mac": "00:1E:C0:77:00"}])")
        << R"(device 2: "00:1E:C0:77:00" is not a MAC address)";
    QTest::newRow("file: device without MAC")
        << false << siteWith(R"([{"name": "x"}])") << "device 1: no MAC address";
    QTest::newRow("file: same MAC spelled twice")
        << false << siteWith("[" + lobby + R"(, {"mac": "001ec0770001"}])")
        << "device 2: MAC 00:1E:C0:77:00:01 is listed twice";
    QTest::newRow("file: same name in another case")
        << false
        << siteWith("[" + lobby + R"(, {"mac": "00:1E:C0:77:00:02", "name": "LOBBY tv"}])")
        << R"(device 2: the name "LOBBY tv" is used twice)";
    QTest::newRow("file: a name that is a MAC")
        << false << siteWith(R"([{"mac": "00:1E:C0:77:00:02", "name": "00-1e-c0-77-00-01"}])")
        << R"(device 1: the name "00-1e-c0-77-00-01" is a MAC address)";
    QTest::newRow("file: name not text")
        << false << siteWith(R"([{"mac": "00:1E:C0:77:00:02", "name": 7}])")
        << "device 1: name is not text";
    QTest::newRow("file: last heard time not ISO 8601")
        << false
        << siteWith(R"([{"mac": "00:1E:C0:77:00:02", "lastHeard": {"time": "yesterday"}}])")
        << R"(device 1: last heard time "yesterday" is not an ISO 8601 time)";
    QTest::newRow("file: last heard address not IPv4")
        << false
        << siteWith(R"([{"mac": "00:1E:C0:77:00:02", "lastHeard": {"address": "lobby"}}])")
        << R"(device 1: last heard address "lobby" is not an IPv4 address)";
    QTest::newRow("file: bad range")
        << false
        << QByteArray(R"({"format": "kov-site", "version": 1, "ranges": ["10.0.0.9-10.0.0.1"]})")
        << "range 1: ";
    QTest::newRow("file: IR protocol not lower case")
        << false
        << siteWith(
               "[]",
               R"([{"equipment": "TV", "name": "On", "protocol": "NEC1", "device": 4, "function": 8}])")
        << R"(IR code 1: "NEC1" is not a protocol name)";
    QTest::newRow("file: IR code without function")
        << false
        << siteWith("[]",
                    R"([{"equipment": "TV", "name": "On", "protocol": "nec1", "device": 4}])")
        << "IR code 1: no function number";
    QTest::newRow("file: IR code with neither protocol nor Pronto")
        << false << siteWith("[]", R"([{"equipment": "TV", "name": "On"}])")
        << "IR code 1: neither a protocol nor a Pronto text";
    QTest::newRow("file: IR Pronto not hex words")
        << false << siteWith("[]", R"([{"equipment": "TV", "name": "On", "pronto": "0000 zz"}])")
        << "IR code 1: the Pronto text is not four-digit hex words";
    QTest::newRow("file: IR port 5")
        << false
        << siteWith("[]",
                    R"([{"equipment": "TV", "name": "On", "pronto": "0000", "ports": [1, 5]}])")
        << "IR code 1: port 5 is not 1 to 4";
    QTest::newRow("file: IR name twice for one equipment")
        << false << siteWith("[]", R"([{"equipment": "TV", "name": "On", "pronto": "0000"},
                              {"equipment": "tv", "name": "ON", "pronto": "0001"}])")
        << R"(IR code 2: the name "ON" is used twice for "tv")";

    QTest::newRow("csv: no mac column")
        << true << QByteArray("name,location\nBar,Bar\n") << "line 1: no mac column";
    QTest::newRow("csv: unknown column")
        << true << QByteArray("mac,locaton\n00:1E:C0:77:00:02,Bar\n")
        << R"(line 1: unknown column "locaton" (columns: mac, name, location, notes))";
    QTest::newRow("csv: column twice")
        << true << QByteArray("mac,Name,NAME\n") << "line 1: the column name is named twice";
    QTest::newRow("csv: empty file") << true << QByteArray()
                                     << "line 1: no header naming the columns (mac, name, "
                                        "location, notes)";
    QTest::newRow("csv: bad MAC, line counted across a quoted line break")
        << true << QByteArray("mac,notes\n00:1E:C0:77:00:02,\"two\nlines\"\n00:1E:C0:77:0:3,x\n")
        << R"(line 4: "00:1E:C0:77:0:3" is not a MAC address)";
    QTest::newRow("csv: row without MAC")
        << true << QByteArray("name,mac\nBar,\n") << "line 2: no MAC address";
    QTest::newRow("csv: MAC twice in the file")
        << true << QByteArray("mac\n00:1E:C0:77:00:02\n00-1e-c0-77-00-02\n")
        << "line 3: MAC 00:1E:C0:77:00:02 is also on line 2";
    QTest::newRow("csv: name clash within the file")
        << true << QByteArray("mac,name\n00:1E:C0:77:00:02,Bar\n00:1E:C0:77:00:03,bar\n")
        << R"(line 3: the name "bar" is also on line 2)";
    QTest::newRow("csv: name held by a site device")
        << true << QByteArray("mac,name\n00:1E:C0:77:00:02,lobby tv\n")
        << R"(line 2: the name "lobby tv" is used by 00:1E:C0:77:00:01 in the site)";
    QTest::newRow("csv: more fields than the header")
        << true << QByteArray("mac,name\n00:1E:C0:77:00:02,Bar,extra\n")
        << "line 2: 3 fields, the header names 2";
    QTest::newRow("csv: quote never closed")
        << true << QByteArray("mac,name\n00:1E:C0:77:00:02,\"Bar\n") << "line 2: ";
}

void tst_Site::badInput()
{
    QFETCH(bool, csv);
    QFETCH(QByteArray, input);
    QFETCH(QString, message);

    Site site;
    QString error;
    QVERIFY(SiteJson::parse(example, &site, &error));
    const Site before = site;
    if (csv) {
        Site result;
        result.name = QStringLiteral("untouched");
        QList<SiteDeviceImport::Change> changes{SiteDeviceImport::Change()};
        QVERIFY(!SiteDeviceImport::plan(site, input, &result, &changes, &error));
        QCOMPARE(result.name, QStringLiteral("untouched"));
        QCOMPARE(changes.size(), 1);
    } else {
        QVERIFY(!SiteJson::parse(input, &site, &error));
        QVERIFY(site == before);
        // An open site stays open, as it was, when another file cannot be read.
        const QString good = dir.filePath(QStringLiteral("good.kovsite"));
        const QString bad = dir.filePath(QStringLiteral("bad.kovsite"));
        QVERIFY(writeFile(good, example) && writeFile(bad, input));
        SiteFile file;
        QVERIFY(file.open(good, &error));
        QString openError;
        QVERIFY(!file.open(bad, &openError));
        QCOMPARE(openError, error);
        QCOMPARE(file.path(), QDir(dir.path()).absoluteFilePath(QStringLiteral("good.kovsite")));
        QVERIFY(file.site() == before);
    }
    if (message.endsWith(QLatin1String(": ")))
        QVERIFY2(error.startsWith(message) && error.size() > message.size(), qPrintable(error));
    else
        QCOMPARE(error, message);
}

void tst_Site::lookupFoldsCase_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("asked");
    QTest::addColumn<bool>("found");
    QTest::newRow("ascii, other case") << "Lobby TV"
                                       << "lobby tv" << true;
    QTest::newRow("blanks around") << " Bar relay "
                                   << "BAR RELAY" << true;
    QTest::newRow("accented, other case") << "Café Ölraum"
                                          << "CAFÉ ÖLRAUM" << true;
    QTest::newRow("ascii asked, accented stored") << "Cafe"
                                                  << "Café" << false;
    QTest::newRow("Kelvin sign folds to k") << "Rack"
                                            << "Rac\u212A" << true;
    QTest::newRow("a prefix is not the name") << "Lobby"
                                              << "Lobby TV" << false;
}

// Names and codes are found as validation compares them: trimmed and case
// folded, for ASCII and other text alike.
void tst_Site::lookupFoldsCase()
{
    QFETCH(QString, stored);
    QFETCH(QString, asked);
    QFETCH(bool, found);
    Site site;
    SiteDevice device;
    device.mac = "00:11:22:33:44:55";
    device.name = stored;
    site.devices.append(device);
    SiteIrCode code;
    code.equipment = stored;
    code.name = stored;
    site.irCodes.append(code);
    QCOMPARE(site.indexOfName(asked) == 0, found);
    QCOMPARE(site.indexOfCode(asked, asked) == 0, found);
}

void tst_Site::exampleRoundTrips()
{
    Site site;
    QString error;
    QVERIFY2(SiteJson::parse(example, &site, &error), qPrintable(error));
    QCOMPARE(site.devices.size(), 1);
    QCOMPARE(site.devices.at(0).lastSeen, QDateTime(QDate(2026, 12, 7), QTime(20, 15), Qt::UTC));
    QCOMPARE(site.irCodes.at(0).subdevice, -1);
    QCOMPARE(site.irCodes.at(0).ports, QList<int>{1});
    QCOMPARE(site.irCodes.at(1).protocol, QString());
    // The documented example is exactly what the tool writes for it.
    QCOMPARE(SiteJson::serialise(site), example);

    // Texts that need escaping, a name in another script, a time with
    // milliseconds and one written in another zone.
    site.devices[0].notes = QStringLiteral("\"quoted\"\n\ttab \\ \x01 end");
    site.devices[0].name = QStringLiteral("Вестибюль 🎬");
    site.devices[0].lastSeen = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5, 678), Qt::UTC);
    site.targetVersion.clear();
    QVERIFY(site.setDeviceFields(QStringLiteral("001ec0770002"), QStringLiteral(" Bar "),
                                 QString(), QString(), &error));
    Site again;
    QVERIFY2(SiteJson::parse(SiteJson::serialise(site), &again, &error), qPrintable(error));
    QVERIFY(again == site);
    QCOMPARE(again.devices.at(1).name, QStringLiteral("Bar"));
    QVERIFY(!SiteJson::serialise(site).contains("targetVersion"));
    QVERIFY(SiteJson::parse(QByteArray(example).replace("20:15:00Z", "22:15:00+02:00"), &again,
                            &error));
    QCOMPARE(again.devices.at(0).lastSeen.toUTC(),
             QDateTime(QDate(2026, 12, 7), QTime(20, 15), Qt::UTC));
}

void tst_Site::importPlansChanges()
{
    Site site;
    QString error;
    QVERIFY(SiteJson::parse(example, &site, &error));
    // Columns in any order and case; the first row swaps nothing, the
    // second renames the lobby device to a name a new row gives up.
    const QByteArray csv = "Notes,MAC, name ,Location\r\n"
                           "behind the screen,00:1E:C0:77:00:01,Lobby screen,Lobby\r\n"
                           "\r\n"
                           "by the tap,00-1e-c0-77-00-02,Lobby TV,\"Bar, left\"\r\n"
                           "\"\",001EC0770003,,\r\n";
    Site result;
    QList<SiteDeviceImport::Change> changes;
    QVERIFY2(SiteDeviceImport::plan(site, csv, &result, &changes, &error), qPrintable(error));
    QStringList texts;
    for (const SiteDeviceImport::Change &change : changes)
        texts.append(change.text());
    QCOMPARE(texts, QStringList({
                        R"(line 2: change 00:1E:C0:77:00:01: name "Lobby TV" -> "Lobby screen")",
                        R"(line 4: add 00:1E:C0:77:00:02 "Lobby TV")",
                        R"(line 5: add 00:1E:C0:77:00:03)",
                    }));
    QCOMPARE(result.devices.size(), 3);
    QCOMPARE(result.devices.at(1).location, QStringLiteral("Bar, left"));
    QCOMPARE(result.devices.at(1).notes, QStringLiteral("by the tap"));
    QCOMPARE(result.devices.at(0).lastAddress, QStringLiteral("10.77.0.10"));
    QVERIFY(result.validate().isEmpty());
    // The same file again changes nothing.
    QVERIFY(SiteDeviceImport::plan(result, csv, &site, &changes, &error));
    QVERIFY(changes.isEmpty());
    QVERIFY(site == result);
}

void tst_Site::changedOnDiskIsNotOverwritten()
{
    const QString path = dir.filePath(QStringLiteral("shared.kovsite"));
    QString error;
    QVERIFY(SiteFile::create(path, QStringLiteral("Hotel Aurora"), &error));
    QVERIFY(!SiteFile::create(path, QStringLiteral("Again"), &error));
    SiteFile file;
    QSignalSpy changed(&file, &SiteFile::changedOnDisk);
    QVERIFY2(file.open(path, &error), qPrintable(error));
    Site site = file.site();
    QVERIFY(site.setDeviceFields("00:1E:C0:77:00:01", "Lobby TV", "", "", &error));
    QCOMPARE(file.save(site, &error), SiteFile::SaveResult::Saved);
    QVERIFY(changed.isEmpty() || !changed.wait(200));

    // A synced folder puts a colleague's version in place.
    const QByteArray theirs = QByteArray(example).replace("Hotel Aurora", "Theirs");
    QVERIFY(writeFile(path, theirs));
    QVERIFY(!changed.isEmpty() || changed.wait());
    QVERIFY(file.isChangedOnDisk());
    QVERIFY(site.setDeviceFields("00:1E:C0:77:00:01", "Lobby TV", "Lobby", "", &error));
    QCOMPARE(file.save(site, &error), SiteFile::SaveResult::ChangedOnDisk);
    QCOMPARE(readFile(path), theirs);
    QVERIFY(file.hasUnsavedChanges());
    QCOMPARE(file.site().devices.at(0).location, QStringLiteral("Lobby"));

    // Saved under another name, the edit is kept and the copy is the open file.
    const QString mine = dir.filePath(QStringLiteral("mine.kovsite"));
    QVERIFY2(file.saveAs(mine, &error), qPrintable(error));
    QVERIFY(!file.hasUnsavedChanges());
    QCOMPARE(file.path(), QFileInfo(mine).absoluteFilePath());
    Site onDisk;
    QVERIFY(SiteJson::parse(readFile(mine), &onDisk, &error));
    QVERIFY(onDisk == site);
    QCOMPARE(readFile(path), theirs);

    // Or reloaded: their version, and the edit dropped.
    QVERIFY(file.open(path, &error));
    QVERIFY(writeFile(path, QByteArray(theirs).replace("Theirs", "Theirs again")));
    QVERIFY(file.isChangedOnDisk());
    QVERIFY(file.reload(&error));
    QCOMPARE(file.site().name, QStringLiteral("Theirs again"));
    QVERIFY(!file.isChangedOnDisk());
}

void tst_Site::killedMidSaveLeavesTheOldFile()
{
    // Big enough that each save takes a while; the helper saves it over
    // and over, toggling one note, until it is killed.
    Site site;
    site.name = QStringLiteral("Big");
    for (int i = 0; i < 20000; ++i) {
        SiteDevice device;
        device.mac = Site::canonicalMac(
            QStringLiteral("001EC0%1").arg(i, 6, 16, QLatin1Char('0')));
        device.name = QStringLiteral("Room %1").arg(i);
        device.notes = QStringLiteral("some notes about the device in room %1").arg(i);
        site.devices.append(device);
    }
    const QString path = dir.filePath(QStringLiteral("big.kovsite"));
    QVERIFY(writeFile(path, SiteJson::serialise(site)));

    QProcess helper;
    helper.start(QStringLiteral(KOV_SITE_SAVE_HELPER), {path});
    QVERIFY(helper.waitForStarted());
    // Kill it while it holds the save's temporary file open (with O_TMPFILE
    // it has no name; either way it is in the folder and is not the site).
    const QString fds = QStringLiteral("/proc/%1/fd").arg(helper.processId());
    const QString folder = QFileInfo(path).absolutePath() + QLatin1Char('/');
    bool midSave = false;
    QElapsedTimer timer;
    timer.start();
    while (!midSave && timer.elapsed() < 60000 && helper.state() == QProcess::Running) {
        for (const QFileInfo &fd : QDir(fds).entryInfoList(QDir::Files | QDir::System)) {
            const QString target = fd.symLinkTarget();
            midSave = midSave || (target.startsWith(folder) && target != path);
        }
    }
    helper.kill();
    QVERIFY(helper.waitForFinished());
    QVERIFY2(midSave, helper.readAllStandardError().constData());

    Site after;
    QString error;
    QVERIFY2(SiteJson::parse(readFile(path), &after, &error), qPrintable(error));
    QCOMPARE(after.devices.size(), site.devices.size());
    const QString note = after.devices.at(0).notes;
    QVERIFY2(note == site.devices.at(0).notes || note == QLatin1String("a")
                 || note == QLatin1String("b"),
             qPrintable(note));
    after.devices[0].notes = site.devices.at(0).notes;
    QVERIFY(after == site);
}

QTEST_GUILESS_MAIN(tst_Site)
#include "tst_site.moc"
