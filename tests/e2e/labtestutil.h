#pragma once

// A simulated LAN for end-to-end tests. The test process already runs in a
// private network namespace of its own (kov_add_test); it plays the tool's
// host there. Each subnet is a bridge in that namespace carrying the
// tool's address; each device host is a child namespace (held open by a
// sleeping "unshare -n" process, so it vanishes with it) joined to a
// bridge by a veth pair. kov-sim processes play the devices inside the
// hosts and log every command they get as JSON lines.

#include <QByteArray>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <unistd.h>
#include <vector>

namespace LabTest {

// Runs the event loop until predicate holds or timeoutMs passes; true if
// it held. Unlike QTest::qWaitFor, which sleeps 10 ms between rounds of
// events, this blocks in the loop itself, so lock-step transfers run at
// full speed while the test waits for them.
template<typename Predicate>
bool waitFor(Predicate predicate, int timeoutMs = 30000)
{
    if (predicate())
        return true;
    QEventLoop loop;
    QTimer poll;
    QTimer deadline;
    bool held = false;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (predicate()) {
            held = true;
            loop.quit();
        }
    });
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    poll.start(25);
    deadline.setSingleShot(true);
    deadline.start(timeoutMs);
    loop.exec();
    return held || predicate();
}

// A device's line for a kov-sim config. Extra keys (faults, form, ...)
// go in as they are.
inline QJsonObject device(const QString &name, const QString &ip, const QString &mac,
                          const QString &version = QStringLiteral("1.6.2"),
                          const QJsonObject &extra = QJsonObject())
{
    QJsonObject o = extra;
    o.insert(QStringLiteral("name"), name);
    o.insert(QStringLiteral("ip"), ip);
    o.insert(QStringLiteral("mac"), mac);
    o.insert(QStringLiteral("version"), version);
    return o;
}

// "00:1E:C0:77:00:0A"-style MAC for device number n.
inline QString mac(int subnet, int n)
{
    return QStringLiteral("00:1E:C0:%1:%2:%3")
        .arg(subnet, 2, 16, QLatin1Char('0'))
        .arg(n / 256, 2, 16, QLatin1Char('0'))
        .arg(n % 256, 2, 16, QLatin1Char('0'))
        .toUpper();
}

class Lab
{
public:
    // KOV_LAB_KEEP=1 keeps the configs and device logs for a look after
    // the run.
    explicit Lab(const QString &simPath) : simPath(simPath)
    {
        if (qEnvironmentVariableIntValue("KOV_LAB_KEEP")) {
            dir.setAutoRemove(false);
            qInfo("device logs kept in %s", qPrintable(dir.path()));
        }
    }

    ~Lab()
    {
        for (auto &sim : sims)
            stop(*sim);
        for (auto &holder : holders) {
            holder->kill();
            holder->waitForFinished(3000);
        }
        // The child namespaces took their veth ends with them; the
        // bridges go with this test's own namespace.
    }

    QString error() const { return problem; }
    QString logDir() const { return dir.path(); }

    // A subnet: a bridge here with the tool's address (a.b.c.d/len). With
    // limitedBroadcast, 255.255.255.255 leaves through it.
    bool addSubnet(const QString &bridge, const QString &toolCidr, bool limitedBroadcast)
    {
        if (!run({"ip", "link", "add", bridge, "type", "bridge", "forward_delay", "0"})
            || !run({"ip", "addr", "add", toolCidr, "brd", "+", "dev", bridge})
            || !run({"ip", "link", "set", bridge, "up"}))
            return false;
        if (limitedBroadcast
            && !run({"ip", "route", "replace", "255.255.255.255/32", "dev", bridge}))
            return false;
        return true;
    }

    // A bridge without an address of the tool's: a subnet the tool
    // reaches only through a router.
    bool addBridge(const QString &bridge)
    {
        return run({"ip", "link", "add", bridge, "type", "bridge", "forward_delay", "0"})
               && run({"ip", "link", "set", bridge, "up"});
    }

    // A device host on a bridge with the given addresses (a.b.c.d/len).
    // Returns its number, or -1.
    int addHost(const QString &bridge, const QStringList &cidrs)
    {
        const int n = newHost();
        return n >= 0 && attach(n, bridge, QStringLiteral("eth0"), cidrs) ? n : -1;
    }

    // A host that forwards between two bridges, with one address on each;
    // like any router it passes no broadcast on. Returns its number, or -1.
    int addRouter(const QString &bridgeA, const QString &cidrA, const QString &bridgeB,
                  const QString &cidrB)
    {
        const int n = newHost();
        if (n < 0 || !attach(n, bridgeA, QStringLiteral("eth0"), {cidrA})
            || !attach(n, bridgeB, QStringLiteral("eth1"), {cidrB})
            || !inHost(n, {"sysctl", "-qw", "net.ipv4.ip_forward=1"}))
            return -1;
        return n;
    }

    // A command (ip route ..., say) here in the tool's host, or in a host.
    bool runHere(const QStringList &args) { return run(args); }
    bool runIn(int host, const QStringList &args) { return inHost(host, args); }

    // A namespace of its own for a host, with loopback up; its number or -1.
    int newHost()
    {
        auto holder = std::make_unique<QProcess>();
        holder->start(QStringLiteral("unshare"), {"-n", "sleep", "infinity"});
        if (!holder->waitForStarted()) {
            problem = QStringLiteral("cannot start unshare");
            return -1;
        }
        const QString pid = QString::number(holder->processId());
        const QByteArray own = namespaceOf(QStringLiteral("self"));
        const bool separate = QTest::qWaitFor(
            [&] {
                const QByteArray ns = namespaceOf(pid);
                return !ns.isEmpty() && ns != own;
            },
            5000);
        if (!separate) {
            problem = QStringLiteral("unshare did not make a network namespace");
            return -1;
        }
        const int n = int(holders.size());
        holders.push_back(std::move(holder));
        hostPids.append(pid);
        return inHost(n, {"ip", "link", "set", "lo", "up"}) ? n : -1;
    }

    // Joins a host to a bridge by a veth pair whose end in the host is
    // named ifname, with the given addresses.
    bool attach(int host, const QString &bridge, const QString &ifname, const QStringList &cidrs)
    {
        const QString veth = QStringLiteral("kv%1").arg(links++);
        const QString pid = hostPids.at(host);
        if (!run({"ip", "link", "add", veth, "type", "veth", "peer", "name", ifname, "netns", pid})
            || !run({"ip", "link", "set", veth, "master", bridge, "up"}))
            return false;
        for (const QString &cidr : cidrs) {
            if (!inHost(host, {"ip", "addr", "add", cidr, "brd", "+", "dev", ifname}))
                return false;
        }
        if (!inHost(host, {"ip", "link", "set", ifname, "up"}))
            return false;
        const bool up = QTest::qWaitFor([&] { return operstate(veth) == "up"; }, 5000);
        if (!up)
            problem = veth + QStringLiteral(" did not come up");
        return up;
    }

    // Starts kov-sim in host with these devices; returns its number, or -1
    // once it has said that its devices are ready.
    int startSim(int host, const QList<QJsonObject> &devices)
    {
        const int n = int(sims.size());
        QJsonArray array;
        for (const QJsonObject &d : devices)
            array.append(d);
        const QString config = dir.filePath(QStringLiteral("sim%1.json").arg(n));
        const QString log = dir.filePath(QStringLiteral("sim%1.jsonl").arg(n));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly)) {
            problem = file.errorString();
            return -1;
        }
        file.write(QJsonDocument(QJsonObject{{"log", log}, {"devices", array}}).toJson());
        file.close();
        logs.append(log);
        auto sim = std::make_unique<QProcess>();
        sim->start(QStringLiteral("nsenter"),
                   {"-t", hostPids.at(host), "-n", simPath, "--config", config});
        QByteArray said;
        const bool ready = sim->waitForStarted()
                           && QTest::qWaitFor(
                               [&] {
                                   said += sim->readAllStandardError();
                                   return said.contains("ready")
                                          || sim->state() == QProcess::NotRunning;
                               },
                               10000)
                           && said.contains("ready");
        sims.push_back(std::move(sim));
        if (!ready) {
            problem = QStringLiteral("kov-sim did not start: ") + QString::fromLocal8Bit(said);
            return -1;
        }
        return n;
    }

    // A host on bridge holding each device's "ip" as a /24, with kov-sim
    // playing those devices in it; returns the host's number, or -1.
    int addDevices(const QString &bridge, const QList<QJsonObject> &devices)
    {
        QStringList cidrs;
        for (const QJsonObject &d : devices)
            cidrs.append(d.value(QStringLiteral("ip")).toString() + QStringLiteral("/24"));
        const int host = addHost(bridge, cidrs);
        return host >= 0 && startSim(host, devices) >= 0 ? host : -1;
    }

    void stopSim(int n) { stop(*sims.at(size_t(n))); }

    // Every log line of every simulator so far, or only those of device.
    QList<QJsonObject> log(const QString &device = QString()) const
    {
        QList<QJsonObject> entries;
        for (const QString &path : logs) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            for (const QByteArray &line : file.readAll().split('\n')) {
                const QJsonObject o = QJsonDocument::fromJson(line).object();
                if (!o.isEmpty()
                    && (device.isEmpty()
                        || o.value(QStringLiteral("device")).toString() == device))
                    entries.append(o);
            }
        }
        return entries;
    }

    // The log lines of device with "cmd" equal to cmd.
    QList<QJsonObject> commands(const QString &device, const QString &cmd) const
    {
        QList<QJsonObject> found;
        for (const QJsonObject &o : log(device)) {
            if (o.value(QStringLiteral("cmd")).toString() == cmd)
                found.append(o);
        }
        return found;
    }

private:
    static QByteArray namespaceOf(const QString &pid)
    {
        char target[128];
        const QByteArray link = QStringLiteral("/proc/%1/ns/net").arg(pid).toLocal8Bit();
        const ssize_t n = ::readlink(link.constData(), target, sizeof target);
        return n > 0 ? QByteArray(target, int(n)) : QByteArray();
    }

    // This namespace's /sys is the machine's, so ask ip instead.
    static QString operstate(const QString &link)
    {
        QProcess p;
        p.start(QStringLiteral("ip"), {"-br", "link", "show", "dev", link});
        if (!p.waitForFinished(10000))
            return QString();
        const QStringList fields = QString::fromLatin1(p.readAllStandardOutput())
                                       .split(QLatin1Char(' '), Qt::SkipEmptyParts);
        return fields.size() > 1 ? fields.at(1).toLower() : QString();
    }

    bool inHost(int host, QStringList args)
    {
        args = QStringList{"nsenter", "-t", hostPids.at(host), "-n"} + args;
        return run(args);
    }

    bool run(const QStringList &args)
    {
        QProcess p;
        p.start(args.first(), args.mid(1));
        if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit
            || p.exitCode() != 0) {
            problem = args.join(QLatin1Char(' ')) + QStringLiteral(": ")
                      + QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
            return false;
        }
        return true;
    }

    static void stop(QProcess &p)
    {
        if (p.state() == QProcess::NotRunning)
            return;
        p.terminate();
        if (!p.waitForFinished(3000)) {
            p.kill();
            p.waitForFinished(3000);
        }
    }

    QString simPath;
    QTemporaryDir dir;
    QString problem;
    std::vector<std::unique_ptr<QProcess>> holders;
    QStringList hostPids;
    int links = 0;
    std::vector<std::unique_ptr<QProcess>> sims;
    QStringList logs;
};

} // namespace LabTest
