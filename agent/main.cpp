// kov-agent: watches the KOV-1 devices of one site without a window, for
// Prometheus (/metrics) and, through an MQTT broker, Home Assistant.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QSysInfo>

#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

#include "agent.h"
#include "agenthttp.h"
#include "agentmetrics.h"
#include "deviceroster.h"
#include "mqttbridge.h"

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

int fail(const QString &text)
{
    std::fprintf(stderr, "kov-agent: %s\n", text.toLocal8Bit().constData());
    return 2;
}

// The lines "key = value" of a settings file as options in front of the
// command line's, which so win ("--key value"; a lone "key" is a switch).
bool readConfig(const QString &path, QStringList *arguments, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    int number = 0;
    QStringList options;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        ++number;
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int equals = line.indexOf(QLatin1Char('='));
        const QString key = line.left(equals).trimmed();
        if (key.isEmpty() || key.startsWith(QLatin1Char('-')) || key == QLatin1String("config")) {
            *error = QStringLiteral("%1, line %2: expected \"name = value\"")
                         .arg(path)
                         .arg(number);
            return false;
        }
        options.append(QStringLiteral("--") + key);
        if (equals >= 0)
            options.append(line.mid(equals + 1).trimmed());
    }
    arguments->append(options);
    return true;
}

bool parseSeconds(const QString &text, double minimum, int *ms)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || seconds < minimum || seconds > 86400)
        return false;
    *ms = int(seconds * 1000);
    return true;
}

}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kov-agent"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KOV_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Watches the KOV-1 devices of a site: sends the discovery beacon every interval, "
        "probes the site's ranges, keeps each device's state and writes what it heard back "
        "to the site file. Serves Prometheus metrics at /metrics and the devices as JSON at "
        "/api/devices, and with --mqtt offers the devices' relays, Reboot and the site's IR "
        "codes to Home Assistant through an MQTT broker."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption configOption(
        QStringLiteral("config"),
        QStringLiteral("Read settings from FILE: lines \"name = value\" with the names of "
                       "these options; options given here win."),
        QStringLiteral("FILE"));
    const QCommandLineOption siteOption(QStringLiteral("site"),
                                        QStringLiteral("The site file to watch and write back."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption intervalOption(QStringLiteral("interval"),
                                            QStringLiteral(
                                                "Seconds between discovery beacons (default 30)."),
                                            QStringLiteral("SECONDS"), QStringLiteral("30"));
    const QCommandLineOption lostOption(
        QStringLiteral("lost-after"),
        QStringLiteral("Seconds of silence before a device is lost (default 61)."),
        QStringLiteral("SECONDS"), QStringLiteral("61"));
    const QCommandLineOption listenOption(
        QStringLiteral("listen"),
        QStringLiteral("Address and port of the HTTP side (default 127.0.0.1:9775)."),
        QStringLiteral("ADDRESS:PORT"), QStringLiteral("127.0.0.1:9775"));
    const QCommandLineOption mqttOption(
        QStringLiteral("mqtt"),
        QStringLiteral("The MQTT broker: mqtt://HOST:PORT, or mqtts://HOST:PORT for TLS."),
        QStringLiteral("URL"));
    const QCommandLineOption credentialsOption(
        QStringLiteral("mqtt-credentials"),
        QStringLiteral("File with the broker's username=, password= and, for TLS, cafile= "
                       "lines."),
        QStringLiteral("FILE"));
    const QCommandLineOption clientIdOption(
        QStringLiteral("mqtt-client-id"),
        QStringLiteral("This agent's name at the broker (default the host name); one per "
                       "site."),
        QStringLiteral("ID"));
    parser.addOptions({configOption, siteOption, intervalOption, lostOption, listenOption,
                       mqttOption, credentialsOption, clientIdOption});

    QStringList arguments = app.arguments();
    {
        QCommandLineParser first;
        first.addOption(configOption);
        first.addOptions({siteOption, intervalOption, lostOption, listenOption, mqttOption,
                          credentialsOption, clientIdOption});
        first.addHelpOption();
        first.addVersionOption();
        first.parse(arguments);
        if (first.isSet(configOption)) {
            QStringList fromFile{arguments.first()};
            QString error;
            if (!readConfig(first.value(configOption), &fromFile, &error))
                return fail(error);
            arguments = fromFile + arguments.mid(1);
        }
    }
    parser.process(arguments);
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("takes no arguments, only options (see --help)"));

    int intervalMs = 0;
    int lostMs = 0;
    if (!parseSeconds(parser.value(intervalOption), 0.1, &intervalMs))
        return fail(QStringLiteral("--interval takes seconds, 0.1 or more"));
    if (!parseSeconds(parser.value(lostOption), 0.1, &lostMs))
        return fail(QStringLiteral("--lost-after takes seconds, 0.1 or more"));
    const QString listen = parser.value(listenOption);
    const int colon = listen.lastIndexOf(QLatin1Char(':'));
    bool portOk = false;
    const uint port = listen.mid(colon + 1).toUInt(&portOk);
    QString host = listen.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    const QHostAddress listenAddress(host);
    if (colon < 0 || !portOk || port > 65535 || listenAddress.isNull())
        return fail(QStringLiteral("--listen takes ADDRESS:PORT, not \"%1\"").arg(listen));

    MqttBridge::Settings mqtt;
    if (parser.isSet(mqttOption)) {
        QString error;
        if (!MqttBridge::parseUrl(parser.value(mqttOption), &mqtt, &error))
            return fail(error);
        if (parser.isSet(credentialsOption)
            && !MqttBridge::readCredentials(parser.value(credentialsOption), &mqtt, &error))
            return fail(error);
        mqtt.clientId = parser.isSet(clientIdOption) ? parser.value(clientIdOption)
                                                     : QSysInfo::machineHostName();
    }

    DeviceRoster roster;
    roster.setLostAfterMs(lostMs);
    if (parser.isSet(siteOption)) {
        QString error;
        if (!roster.openSite(parser.value(siteOption), &error))
            return fail(QStringLiteral("%1: %2").arg(parser.value(siteOption), error));
    }
    Agent agent(&roster);
    if (!agent.isListening())
        return fail(QStringLiteral("cannot listen for replies on UDP port %1")
                        .arg(KovDetector::ReplyPort));
    AgentMetrics metrics(&roster, &agent, QCoreApplication::applicationVersion());
    AgentHttp http(&metrics, &roster);
    const quint16 bound = http.listen(listenAddress, quint16(port));
    if (bound == 0)
        return fail(QStringLiteral("cannot listen on %1").arg(listen));
    std::unique_ptr<MqttBridge> bridge;
    if (parser.isSet(mqttOption)) {
        bridge = std::make_unique<MqttBridge>(&roster, mqtt);
        bridge->start();
    }

    // SIGTERM and SIGINT end the loop, so the site is saved and the broker
    // told that the agent goes.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return fail(QStringLiteral("cannot make a socket pair"));
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    agent.start(intervalMs);
    std::fprintf(stderr, "kov-agent: listening on %s:%u\n",
                 listenAddress.toString().toLocal8Bit().constData(), unsigned(bound));
    const int status = app.exec();
    roster.flush();
    bridge.reset();
    return status;
}
