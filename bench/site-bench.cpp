// A site of many devices: the library's share of opening it, of one
// autosave after an edit (the change-on-disk check included) and of the
// lookups the window and kovctl make. Prints the median and the worst of
// RUNS runs of each.
//
//   site-bench [DEVICES [RUNS]]      (default 5000 devices, 21 runs)
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "sitefile.h"
#include "sitejson.h"

namespace {

void report(const char *what, int runs, const std::function<void()> &step)
{
    QList<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        step();
        times.append(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    std::printf("%-44s median %8.2f ms   worst %8.2f ms   (%d runs)\n", what,
                times.at(times.size() / 2), times.last(), runs);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 5000;
    const int runs = argc > 2 ? QByteArray(argv[2]).toInt() : 21;
    Site site;
    site.name = QStringLiteral("Bench");
    site.targetVersion = QStringLiteral("1.8.0");
    for (int i = 0; i < count; ++i) {
        SiteDevice device;
        device.mac = Site::canonicalMac(
            QStringLiteral("001EC0%1").arg(i, 6, 16, QLatin1Char('0')));
        device.name = QStringLiteral("Room %1 TV").arg(i);
        device.location = QStringLiteral("Floor %1").arg(i / 100);
        device.notes = QStringLiteral("behind the screen, left of the socket");
        device.lastAddress = QStringLiteral("10.1.%1.%2").arg(i / 250).arg(i % 250 + 1);
        device.lastVersion = QStringLiteral("1.7.0");
        device.lastSeen = QDateTime::currentDateTimeUtc();
        site.devices.append(device);
    }
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("bench.kovsite"));
    const QByteArray bytes = SiteJson::serialise(site);
    std::printf("site of %d devices, %lld bytes\n", count, qint64(bytes.size()));

    QString error;
    SiteFile file;
    QByteArray written;
    report("SiteJson::serialise", runs, [&] { written = SiteJson::serialise(site); });
    report("QJsonDocument::fromJson alone", runs, [&] { QJsonDocument::fromJson(bytes); });
    Site parsed;
    SiteJson::parse(bytes, &parsed, &error);
    report("Site::validate alone", runs, [&] { parsed.validate(); });
    report("SiteJson::parse (validation included)", runs, [&] {
        Site read;
        SiteJson::parse(bytes, &read, &error);
    });
    {
        QFile out(path);
        out.open(QIODevice::WriteOnly);
        out.write(bytes);
    }
    report("SiteFile::open (read, parse, watch)", runs, [&] { file.open(path, &error); });
    int edit = 0;
    report("edit one device + SiteFile::save", runs, [&] {
        Site edited = file.site();
        edited.setDeviceFields(edited.devices.at(count / 2).mac,
                               QStringLiteral("Renamed %1").arg(edit++), QString(), QString(),
                               &error);
        if (file.save(edited, &error) != SiteFile::SaveResult::Saved)
            std::printf("save failed: %s\n", qPrintable(error));
    });
    report("recordHeard for every device", runs, [&] {
        Site heard = file.site();
        const QDateTime now = QDateTime::currentDateTimeUtc();
        for (const SiteDevice &device : std::as_const(site.devices))
            heard.recordHeard(device.mac, device.lastAddress, device.lastVersion, now);
    });
    report("indexOfName, 100 lookups of the last name", runs, [&] {
        for (int i = 0; i < 100; ++i)
            site.indexOfName(QStringLiteral("room %1 tv").arg(count - 1));
    });
    return 0;
}
