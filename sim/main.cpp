// kov-sim: plays KOV-1 devices on the device port of this network
// namespace. Run it only inside a private namespace (scripts/kov-lab, the
// end-to-end tests): it answers broadcasts and fetches firmware by TFTP.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QStringList>
#include <cstdio>

#include "deviceconfig.h"
#include "devicelog.h"
#include "simdevice.h"
#include "simhub.h"

namespace {

int fail(const QString &message)
{
    std::fprintf(stderr, "kov-sim: %s\n", qPrintable(message));
    return 2;
}

struct Options
{
    QString configFile;       // empty: none
    QStringList descriptions; // --device, in order
    QString log;              // default log; empty: stdout (or the config file's)
    quint16 port = 5999;
};

// Reads the command line; returns what is wrong, or an empty string.
QString parseOptions(const QCoreApplication &app, Options &options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays KOV-1 devices. Device keys: name, mac, ip (a.b.c.d[/prefix]), version,\n"
        "form (4 or 3 fields in the reply), upgradeVersion, log, file, tftpPort,\n"
        "rebootMs, tftpTimeoutMs, tftpRetries, replyDelayMs, dropAckEvery,\n"
        "dropFirstAcks, duplicateAcks, stopAfterBlock, malformedReplies, floodReplies,\n"
        "restartOld (restarts into its old version after a complete transfer),\n"
        "silentAfterUpgrade (answers nothing after a complete transfer),\n"
        "ipAfterUpgrade (restarts at this address after an upgrade, as with DHCP).\n"
        "A config file is {\"log\": FILE, \"devices\": [{key: value, ...}, ...]}."));
    parser.addHelpOption();
    QCommandLineOption configOption(QStringLiteral("config"),
                                    QStringLiteral("JSON file of devices."),
                                    QStringLiteral("file"));
    QCommandLineOption deviceOption(QStringLiteral("device"),
                                    QStringLiteral(
                                        "One device as key=value,key=value (repeatable)."),
                                    QStringLiteral("description"));
    QCommandLineOption logOption(QStringLiteral("log"),
                                 QStringLiteral(
                                     "Log of devices that name none (default: stdout)."),
                                 QStringLiteral("file"));
    QCommandLineOption portOption(QStringLiteral("port"),
                                  QStringLiteral("Device command port (default 5999)."),
                                  QStringLiteral("port"), QStringLiteral("5999"));
    parser.addOption(configOption);
    parser.addOption(deviceOption);
    parser.addOption(logOption);
    parser.addOption(portOption);
    parser.process(app);

    options.configFile = parser.value(configOption);
    options.descriptions = parser.values(deviceOption);
    options.log = parser.value(logOption);
    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port == 0 || port > 65535)
        return QStringLiteral("bad port");
    options.port = quint16(port);
    return QString();
}

// Reads the devices of the config file and of --device, in that order; the
// config file's log becomes the default log unless --log named one.
QString loadDevices(Options &options, QList<DeviceConfig> &configs)
{
    if (!options.configFile.isEmpty()) {
        QFile file(options.configFile);
        if (!file.open(QIODevice::ReadOnly))
            return file.fileName() + QStringLiteral(": ") + file.errorString();
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
        if (!doc.isObject())
            return file.fileName() + QStringLiteral(": ") + error.errorString();
        const QJsonObject root = doc.object();
        if (options.log.isEmpty())
            options.log = root.value(QStringLiteral("log")).toString();
        for (const QJsonValue v : root.value(QStringLiteral("devices")).toArray()) {
            DeviceConfig c;
            const QString problem = DeviceConfig::fromJson(v.toObject(), c);
            if (!problem.isEmpty())
                return file.fileName() + QStringLiteral(": ") + problem;
            configs.append(c);
        }
    }
    for (const QString &description : std::as_const(options.descriptions)) {
        DeviceConfig c;
        const QString problem = DeviceConfig::fromText(description, c);
        if (!problem.isEmpty())
            return problem;
        configs.append(c);
    }
    if (configs.isEmpty())
        return QStringLiteral("no devices given (--device or --config)");
    return QString();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kov-sim"));

    Options options;
    QList<DeviceConfig> configs;
    QString problem = parseOptions(app, options);
    if (problem.isEmpty())
        problem = loadDevices(options, configs);
    if (!problem.isEmpty())
        return fail(problem);

    SimHub hub;
    if (!hub.listen(options.port, &problem))
        return fail(QStringLiteral("cannot bind the device port: ") + problem);
    for (const DeviceConfig &c : std::as_const(configs)) {
        DeviceLog log;
        const QString path = c.logPath.isEmpty() ? options.log : c.logPath;
        if (!log.open(path, c.name, &problem))
            return fail(path + QStringLiteral(": ") + problem);
        hub.addDevice(new SimDevice(c, log, &hub));
    }
    // Whoever started us waits for this line before talking to the devices.
    std::fprintf(stderr, "kov-sim: %d device(s) ready\n", int(configs.size()));
    std::fflush(stderr);
    return app.exec();
}
