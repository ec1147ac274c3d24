// "Update All" of a fleet of simulated devices with the tool's window
// running (offscreen): time from answering "Yes" until every device is
// listed as "running <new version>", the longest stall of the window's
// event loop meanwhile, and the process's memory before and after.
//
//   fleet-bench KOV_SIM [DEVICES] [BEACON_MS]   (default 200 devices,
//   the tool's own 10 s beacon interval)
// Run only through bench/fleet, inside a private network namespace: it
// builds the end-to-end tests' simulated LAN there (tests/e2e/labtestutil.h).
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <ctime>

#include "fleetupgrade.h"
#include "labtestutil.h"
#include "mainwindow.h"

namespace {

long rssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Runs the event loop until done() holds or timeoutMs pass.
// CPU time of the calling thread: tells a stall of our own work from one
// where the machine ran something else.
qint64 threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

template<typename Done>
bool runUntil(Done done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: fleet-bench KOV_SIM [DEVICES] [BEACON_MS]\n");
        return 2;
    }
    const QString simPath = QString::fromLocal8Bit(argv[1]);
    const int count = argc > 2 ? qBound(1, atoi(argv[2]), 2000) : 200;
    const int beaconMs = argc > 3 ? atoi(argv[3]) : FleetUpgrade::DefaultBeaconInterval;
    const int timeoutMs = qMax(200000, count * 300);

    // The simulated LAN of the end-to-end tests: the tool on a bridge of
    // this namespace, the devices in a child namespace behind it.
    LabTest::Lab lab(simPath);
    if (!lab.addSubnet(QStringLiteral("kbr0"), QStringLiteral("10.79.0.1/16"), true)) {
        std::fprintf(stderr, "%s\n", qPrintable(lab.error()));
        return 1;
    }
    QList<QJsonObject> devices;
    QStringList addresses;
    for (int i = 0; i < count; ++i) {
        const QString ip = QStringLiteral("10.79.%1.%2").arg(1 + i / 250).arg(1 + i % 250);
        devices.append(LabTest::device(QStringLiteral("d%1").arg(i), ip, LabTest::mac(0x79, i),
                                       QStringLiteral("1.6.2"), {{"upgradeVersion", "1.7.0"}}));
        addresses.append(ip + QStringLiteral("/16"));
    }
    const int host = lab.addHost(QStringLiteral("kbr0"), addresses);
    if (host < 0 || lab.startSim(host, devices) < 0) {
        std::fprintf(stderr, "%s\n", qPrintable(lab.error()));
        return 1;
    }

    MainWindow window(FleetUpgrade::DefaultVerifyTimeout, beaconMs);
    window.show();
    auto *view = window.findChild<QTableView *>(QStringLiteral("tableView"));
    auto *summary = window.findChild<QLabel *>(QStringLiteral("upgradeSummary"));
    if (!runUntil([&] { return view->model()->rowCount() == count; }, 10000)) {
        std::fprintf(stderr, "only %d of %d devices listed\n", view->model()->rowCount(), count);
        return 1;
    }
    window.findChild<QCheckBox *>(QStringLiteral("enableTFTPD"))->click();
    runUntil([] { return false; }, 500);
    const long rssBefore = rssKb();

    // The event loop's lateness, measured by a timer against its own period.
    constexpr int Tick = 10;
    QElapsedTimer since;
    QElapsedTimer fromYes;
    qint64 longestStall = 0;
    qint64 stallAt = 0;
    qint64 stallCpu = 0; // CPU time of the GUI thread in that stretch
    qint64 lastCpu = threadCpuMs();
    QTimer meter;
    meter.setTimerType(Qt::PreciseTimer);
    QObject::connect(&meter, &QTimer::timeout, [&] {
        const qint64 late = since.elapsed() - Tick;
        const qint64 cpu = threadCpuMs();
        if (late > longestStall) {
            longestStall = late;
            stallAt = fromYes.elapsed();
            stallCpu = cpu - lastCpu;
        }
        lastCpu = cpu;
        since.restart();
    });

    // Answers the confirmation with Yes, and starts the clocks there.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        answer.stop();
        fromYes.start();
        since.start();
        lastCpu = threadCpuMs();
        meter.start(Tick);
        box->button(QMessageBox::Yes)->click();
    });
    answer.start(20);
    window.findChild<QPushButton *>(QStringLiteral("updateAll"))->click();

    const QString goal = QStringLiteral("%1 running the new firmware, 0 failed, 0 in progress")
                             .arg(count);
    const bool verified = runUntil([&] { return summary->text() == goal; }, timeoutMs);
    const qint64 took = fromYes.elapsed();
    meter.stop();
    runUntil([] { return false; }, 500);
    const long rssAfter = rssKb();

    std::printf("fleet: %d devices, beacon every %d ms: %s after %.1f s from \"Yes\" (%s)\n",
                count, beaconMs, verified ? "all verified" : "NOT all verified", took / 1000.0,
                qPrintable(summary->text()));
    // What the transfer table says, tallied.
    QMap<QString, int> tally;
    auto *transfers = window.findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    for (int row = 0; row < transfers->rowCount(); ++row)
        ++tally[transfers->item(row, 1)->text() + QStringLiteral(" / ")
                + transfers->item(row, 2)->text()];
    for (auto it = tally.cbegin(); it != tally.cend(); ++it)
        std::printf("fleet:   %3d rows: %s\n", it.value(), qPrintable(it.key()));
    std::printf("fleet: longest event-loop stall %lld ms (%lld ms of it on the GUI thread's CPU), "
                "%.1f s after \"Yes\" (timer every %d ms)\n",
                static_cast<long long>(longestStall), static_cast<long long>(stallCpu),
                stallAt / 1000.0, Tick);
    std::printf("fleet: tool memory (RSS) %ld kB before, %ld kB after (%+.1f %%)\n", rssBefore,
                rssAfter, rssBefore > 0 ? (rssAfter - rssBefore) * 100.0 / rssBefore : 0.0);
    return verified ? 0 : 1;
}
