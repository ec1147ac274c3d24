// kov-agent (the real program) watching DEVICES kov-sim devices that are
// all in its site file, with a real mosquitto broker for the MQTT bridge:
// the agent's CPU time per minute at the given beacon interval (default
// the agent's own 30 s) while Prometheus scrapes every 15 s, its memory,
// and the time of a /metrics scrape, one by one.
//
//   agent-bench KOV_AGENT KOV_SIM [DEVICES] [MINUTES] [INTERVAL_S]
// Run only through bench/agent, inside a private network namespace: it
// builds the end-to-end tests' simulated LAN there (tests/e2e/labtestutil.h).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

#include "labtestutil.h"

namespace {

// utime + stime of a process, in ms.
qint64 cpuMs(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const long tick = sysconf(_SC_CLK_TCK);
    return (fields.at(11).toLongLong() + fields.at(12).toLongLong()) * 1000 / tick;
}

long rssKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray("?");
}

// One GET /metrics on a fresh connection, read to the end of its body
// (Content-Length); the body, and its time in *ms.
QByteArray scrape(double *ms)
{
    QElapsedTimer clock;
    clock.start();
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, 9775);
    if (!socket.waitForConnected(5000))
        return QByteArray();
    socket.write("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray reply;
    qsizetype headerEnd = -1;
    qsizetype length = -1;
    while (socket.waitForReadyRead(5000)) {
        reply += socket.readAll();
        if (headerEnd < 0 && (headerEnd = reply.indexOf("\r\n\r\n")) >= 0) {
            for (const QByteArray &line : reply.left(headerEnd).split('\n')) {
                if (line.toLower().startsWith("content-length:"))
                    length = line.mid(15).trimmed().toLongLong();
            }
        }
        if (headerEnd >= 0 && length >= 0 && reply.size() >= headerEnd + 4 + length)
            break;
    }
    *ms = double(clock.nsecsElapsed()) / 1e6;
    return headerEnd < 0 ? QByteArray() : reply.mid(headerEnd + 4);
}

int upCount(const QByteArray &metrics)
{
    int n = 0;
    for (const QByteArray &line : metrics.split('\n'))
        n += line.startsWith("kov_device_up{") && line.endsWith(" 1");
    return n;
}

}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr,
                     "usage: agent-bench KOV_AGENT KOV_SIM [DEVICES] [MINUTES] [INTERVAL_S]\n");
        return 2;
    }
    const int count = args.value(3, "1000").toInt();
    const double minutes = args.value(4, "2").toDouble();
    const QString interval = args.value(5, "30");

    LabTest::Lab lab(args.at(2));
    QTemporaryDir dir;
    if (!lab.addSubnet("kbr0", "10.79.0.1/16", true)) {
        std::fprintf(stderr, "%s\n", qPrintable(lab.error()));
        return 1;
    }
    QList<QJsonObject> devices;
    QStringList addresses;
    QJsonArray siteDevices;
    for (int i = 0; i < count; ++i) {
        const QString ip = QStringLiteral("10.79.%1.%2").arg(1 + i / 250).arg(1 + i % 250);
        devices.append(
            LabTest::device(QStringLiteral("d%1").arg(i), ip, LabTest::mac(0x79, i), "1.7.0"));
        addresses.append(ip + "/16");
        siteDevices.append(QJsonObject{{"mac", LabTest::mac(0x79, i)},
                                       {"name", QStringLiteral("Room %1").arg(i)},
                                       {"location", QStringLiteral("Floor %1").arg(i / 50)}});
    }
    const int host = lab.addHost("kbr0", addresses);
    if (host < 0 || lab.startSim(host, devices) < 0) {
        std::fprintf(stderr, "%s\n", qPrintable(lab.error()));
        return 1;
    }
    QFile site(dir.filePath("site.json"));
    site.open(QIODevice::WriteOnly);
    site.write(QJsonDocument(
                   QJsonObject{{"format", "kov-site"},
                               {"version", 1},
                               {"name", "Bench hotel"},
                               {"devices", siteDevices},
                               {"irCodes", QJsonArray{QJsonObject{{"equipment", "TV"},
                                                                  {"name", "Power"},
                                                                  {"protocol", "nec1"},
                                                                  {"device", 4},
                                                                  {"function", 8},
                                                                  {"ports", QJsonArray{1, 2}}}}}})
                   .toJson());
    site.close();
    QFile conf(dir.filePath("mosquitto.conf"));
    conf.open(QIODevice::WriteOnly);
    conf.write("listener 18830 127.0.0.1\nallow_anonymous true\n");
    conf.close();
    QProcess broker;
    broker.start("mosquitto", {"-c", conf.fileName()});
    broker.waitForStarted();

    QProcess agent;
    agent.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    agent.start(args.at(1), {"--site", site.fileName(), "--interval", interval, "--mqtt",
                             "mqtt://127.0.0.1:18830", "--mqtt-client-id", "bench"});
    if (!agent.waitForStarted())
        return 1;
    const qint64 pid = agent.processId();
    double ms = 0;
    QElapsedTimer warm;
    warm.start();
    const bool allUp = LabTest::waitFor([&] { return upCount(scrape(&ms)) == count; }, 60000);
    std::printf("agent-bench: %d devices, interval %s s; all up: %s after %.1f s; load %s\n",
                count, qPrintable(interval), allUp ? "yes" : "NO", warm.elapsed() / 1000.0,
                loadAverage().constData());

    // The steady state: beacon rounds, replies, site saves, a scrape every 15 s.
    const qint64 cpu0 = cpuMs(pid);
    QElapsedTimer clock;
    clock.start();
    const qint64 windowMs = qint64(minutes * 60000);
    QList<double> steady;
    while (clock.elapsed() < windowMs) {
        LabTest::waitFor([] { return false; },
                         int(qMin<qint64>(15000, windowMs - clock.elapsed())));
        if (clock.elapsed() < windowMs) {
            scrape(&ms);
            steady.append(ms);
        }
    }
    const qint64 cpu1 = cpuMs(pid);
    const double perMinute = double(cpu1 - cpu0) / (double(clock.elapsed()) / 60000.0);
    std::printf("  CPU: %lld ms in %.1f min = %.0f ms per minute = %.2f %% of one core "
                "(%zu scrapes within); load %s\n",
                cpu1 - cpu0, clock.elapsed() / 60000.0, perMinute, perMinute / 600.0,
                size_t(steady.size()), loadAverage().constData());
    std::printf("  memory: VmRSS %ld kB\n", rssKb(pid));

    QList<double> times;
    QByteArray body;
    const qint64 scrapeCpu0 = cpuMs(pid);
    for (int i = 0; i < 50; ++i) {
        body = scrape(&ms);
        times.append(ms);
    }
    const qint64 scrapeCpu = cpuMs(pid) - scrapeCpu0;
    std::sort(times.begin(), times.end());
    std::printf("  /metrics: %d bytes; 50 scrapes one by one: min %.1f ms, median %.1f ms, "
                "90th %.1f ms, max %.1f ms; the agent's CPU %.1f ms per scrape; load %s\n",
                int(body.size()), times.first(), times.at(25), times.at(45), times.last(),
                scrapeCpu / 50.0, loadAverage().constData());

    agent.terminate();
    agent.waitForFinished(5000);
    broker.terminate();
    broker.waitForFinished(5000);
    return 0;
}
