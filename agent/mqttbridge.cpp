#include "mqttbridge.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSet>
#include <QSocketNotifier>
#include <QUrl>

#include <mosquitto.h>

#include "ccfparser.h"
#include "deviceroster.h"
#include "irprotocols.h"
#include "kovdetector.h"

Q_LOGGING_CATEGORY(lcMqtt, "kov.agent.mqtt")

namespace {

const QString TopicRoot = QStringLiteral("kov");
const QString DiscoveryPrefix = QStringLiteral("homeassistant");
constexpr int KeepAliveSeconds = 30;

// Bytes from the broker as a log line may show them.
QString printable(const QByteArray &bytes, int limit = 120)
{
    QString text;
    for (int i = 0; i < bytes.size() && i < limit; ++i) {
        const uchar c = uchar(bytes.at(i));
        if (c >= 0x20 && c < 0x7f && c != '\\')
            text += QLatin1Char(char(c));
        else
            text += QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
    }
    if (bytes.size() > limit)
        text += QStringLiteral("...");
    return text;
}

QString slug(const QString &text)
{
    QString s;
    for (const QChar c : text.toLower()) {
        if ((c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            || (c >= QLatin1Char('0') && c <= QLatin1Char('9')))
            s += c;
        else if (!s.endsWith(QLatin1Char('_')))
            s += QLatin1Char('_');
    }
    return s.left(32);
}

// Stable and unique per code, whatever its texts hold.
QString codeId(const SiteIrCode &code)
{
    const QByteArray key = (code.equipment.toLower() + QLatin1Char('\n') + code.name.toLower())
                               .toUtf8();
    const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex();
    return slug(code.equipment + QLatin1Char(' ') + code.name) + QLatin1Char('_')
           + QString::fromLatin1(hash.left(8));
}

QByteArray compact(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

}

bool MqttBridge::parseUrl(const QString &text, Settings *settings, QString *error)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts"))
        || url.host().isEmpty() || (!url.path().isEmpty() && url.path() != QLatin1String("/"))) {
        *error = QStringLiteral("--mqtt takes mqtt://HOST:PORT or mqtts://HOST:PORT, not \"%1\"")
                     .arg(text);
        return false;
    }
    if (!url.userInfo().isEmpty()) {
        *error = QStringLiteral("a user name or password goes in the file given by "
                                "--mqtt-credentials, never on the command line");
        return false;
    }
    settings->host = url.host();
    settings->tls = scheme == QLatin1String("mqtts");
    settings->port = url.port(settings->tls ? 8883 : 1883);
    return true;
}

bool MqttBridge::readCredentials(const QString &path, Settings *settings, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    int number = 0;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        ++number;
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int equals = line.indexOf(QLatin1Char('='));
        const QString key = line.left(equals).trimmed().toLower();
        const QString value = line.mid(equals + 1).trimmed();
        if (equals < 0 || (key != "username" && key != "password" && key != "cafile")) {
            *error = QStringLiteral("%1, line %2: expected username=, password= or cafile=")
                         .arg(path)
                         .arg(number);
            return false;
        }
        if (key == QLatin1String("username"))
            settings->username = value;
        else if (key == QLatin1String("password"))
            settings->password = value;
        else
            settings->caFile = value;
    }
    return true;
}

QString MqttBridge::deviceId(const QString &mac)
{
    return QString(mac).remove(QLatin1Char(':')).toLower();
}

MqttBridge::MqttBridge(DeviceRoster *roster, const Settings &settings, QObject *parent)
    : QObject(parent), roster(roster), settings(settings)
{
    agentTopic = TopicRoot + QStringLiteral("/agent/") + slug(settings.clientId)
                 + QStringLiteral("/availability");
    mosquitto_lib_init();
    const QByteArray id = (QStringLiteral("kov-agent-") + settings.clientId).toUtf8();
    mosq = mosquitto_new(id.constData(), true, this);
    mosquitto_connect_callback_set(mosq, &MqttBridge::onConnect);
    mosquitto_message_callback_set(mosq, &MqttBridge::onMessage);
    const QByteArray will = agentTopic.toUtf8();
    mosquitto_will_set(mosq, will.constData(), 7, "offline", 1, true);
    if (!settings.username.isEmpty()) {
        const QByteArray user = settings.username.toUtf8();
        const QByteArray password = settings.password.toUtf8();
        mosquitto_username_pw_set(mosq, user.constData(),
                                  settings.password.isEmpty() ? nullptr : password.constData());
    }
    if (settings.tls) {
        const QByteArray caFile = settings.caFile.toLocal8Bit();
        const int rc = mosquitto_tls_set(mosq, caFile.isEmpty() ? nullptr : caFile.constData(),
                                         caFile.isEmpty() ? "/etc/ssl/certs" : nullptr, nullptr,
                                         nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            qCWarning(lcMqtt, "TLS setup: %s", mosquitto_strerror(rc));
    }

    miscTimer.setInterval(1000);
    connect(&miscTimer, &QTimer::timeout, this, [this] {
        if (mosquitto_socket(mosq) >= 0)
            afterLoop(mosquitto_loop_misc(mosq));
    });
    retryTimer.setSingleShot(true);
    connect(&retryTimer, &QTimer::timeout, this, &MqttBridge::connectNow);
    connect(roster, &DeviceRoster::deviceChanged, this, [this](const QString &mac) {
        if (connected)
            publishDevice(mac);
    });
    connect(roster, &DeviceRoster::siteReloaded, this, [this] {
        if (connected)
            publishAll();
    });
}

MqttBridge::~MqttBridge()
{
    if (connected) {
        // A clean goodbye sends no will: say offline first.
        const QByteArray topic = agentTopic.toUtf8();
        mosquitto_publish(mosq, nullptr, topic.constData(), 7, "offline", 1, true);
        mosquitto_disconnect(mosq);
        for (int i = 0; i < 20 && mosquitto_want_write(mosq); ++i)
            mosquitto_loop_write(mosq, 1);
    }
    detachSocket();
    mosquitto_destroy(mosq);
    mosquitto_lib_cleanup();
}

void MqttBridge::start()
{
    miscTimer.start();
    connectNow();
}

void MqttBridge::connectNow()
{
    const QByteArray host = settings.host.toUtf8();
    // The first call keeps host and port in the library, whatever it
    // returns; later ones reconnect to them.
    const int rc = started ? mosquitto_reconnect_async(mosq)
                           : mosquitto_connect_async(mosq, host.constData(), settings.port,
                                                     KeepAliveSeconds);
    started = true;
    if (rc != MOSQ_ERR_SUCCESS) {
        qCInfo(lcMqtt, "cannot reach the broker %s:%d: %s", host.constData(), settings.port,
               rc == MOSQ_ERR_ERRNO ? qPrintable(qt_error_string(errno)) : mosquitto_strerror(rc));
        scheduleRetry();
        return;
    }
    attachSocket();
}

void MqttBridge::attachSocket()
{
    detachSocket();
    const int fd = mosquitto_socket(mosq);
    if (fd < 0) {
        scheduleRetry();
        return;
    }
    readNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    writeNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(readNotifier.get(), &QSocketNotifier::activated, this,
            [this] { afterLoop(mosquitto_loop_read(mosq, 1)); });
    connect(writeNotifier.get(), &QSocketNotifier::activated, this,
            [this] { afterLoop(mosquitto_loop_write(mosq, 1)); });
    updateWrite();
}

void MqttBridge::detachSocket()
{
    readNotifier.reset();
    writeNotifier.reset();
}

void MqttBridge::afterLoop(int rc)
{
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN) {
        lost(rc);
        return;
    }
    // The library closes its socket itself on some failures.
    if (readNotifier && mosquitto_socket(mosq) != int(readNotifier->socket())) {
        lost(rc == MOSQ_ERR_SUCCESS ? MOSQ_ERR_CONN_LOST : rc);
        return;
    }
    updateWrite();
}

void MqttBridge::updateWrite()
{
    if (writeNotifier)
        writeNotifier->setEnabled(mosquitto_want_write(mosq));
}

void MqttBridge::lost(int rc)
{
    detachSocket();
    if (connected) {
        qCWarning(lcMqtt, "lost the broker %s:%d: %s", qPrintable(settings.host), settings.port,
                  rc == MOSQ_ERR_ERRNO ? qPrintable(qt_error_string(errno))
                                       : mosquitto_strerror(rc));
        connected = false;
        emit connectedChanged(false);
    }
    scheduleRetry();
}

void MqttBridge::scheduleRetry()
{
    if (retryTimer.isActive())
        return;
    retryTimer.start(retryMs);
    retryMs = qMin(retryMs * 2, LastRetryMs);
}

void MqttBridge::onConnect(mosquitto *, void *self, int rc)
{
    static_cast<MqttBridge *>(self)->handleConnected(rc);
}

void MqttBridge::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    const QString topic = QString::fromUtf8(message->topic);
    const QByteArray payload(static_cast<const char *>(message->payload),
                             message->payload ? message->payloadlen : 0);
    static_cast<MqttBridge *>(self)->handleMessage(topic, payload, message->retain);
}

void MqttBridge::handleConnected(int rc)
{
    if (rc != 0) {
        qCWarning(lcMqtt, "the broker %s:%d refused the connection: %s", qPrintable(settings.host),
                  settings.port, mosquitto_connack_string(rc));
        // The broker closes; the next read sees it and retries.
        return;
    }
    qCInfo(lcMqtt, "connected to the broker %s:%d", qPrintable(settings.host), settings.port);
    connected = true;
    retryMs = FirstRetryMs;
    retained.clear();
    const QList<QString> subscriptions{TopicRoot + QStringLiteral("/+/relay/+/set"),
                                       TopicRoot + QStringLiteral("/+/reboot"),
                                       TopicRoot + QStringLiteral("/+/ir"),
                                       DiscoveryPrefix + QStringLiteral("/status")};
    for (const QString &s : subscriptions)
        mosquitto_subscribe(mosq, nullptr, s.toUtf8().constData(), 1);
    publish(agentTopic, "online", true);
    publishAll();
    emit connectedChanged(true);
}

void MqttBridge::handleMessage(const QString &topic, const QByteArray &payload, bool retain)
{
    if (payload.size() > MaxPayload) {
        qCWarning(lcMqtt, "dropped a message of %d bytes on %s: over %d bytes",
                  int(payload.size()), qPrintable(printable(topic.toUtf8())), MaxPayload);
        return;
    }
    if (topic == DiscoveryPrefix + QStringLiteral("/status")) {
        if (payload == "online") {
            // Home Assistant came back: it wants every config again.
            retained.clear();
            publish(agentTopic, "online", true);
            publishAll();
        }
        return;
    }
    if (retain) {
        // A command kept by the broker would play again at every connect.
        qCWarning(lcMqtt, "dropped a retained command on %s",
                  qPrintable(printable(topic.toUtf8())));
        return;
    }
    handleCommand(topic.split(QLatin1Char('/')), payload);
}

void MqttBridge::handleCommand(const QStringList &parts, const QByteArray &payload)
{
    const QString topic = parts.join(QLatin1Char('/'));
    auto drop = [&](const QString &why) {
        qCWarning(lcMqtt, "dropped \"%s\" on %s: %s", qPrintable(printable(payload)),
                  qPrintable(printable(topic.toUtf8())), qPrintable(why));
    };
    const QString id = parts.value(1);
    const AgentDevice *device = nullptr;
    for (const AgentDevice &d : roster->devices()) {
        if (deviceId(d.mac) == id) {
            device = &d;
            break;
        }
    }
    if (!device)
        return drop(QStringLiteral("no such device"));
    if (device->heardMs < 0 || device->address().isNull())
        return drop(QStringLiteral("the device has not answered in this run"));
    const QHostAddress address = device->address();
    const QString mac = device->mac;

    if (parts.size() == 5 && parts.at(2) == QLatin1String("relay")
        && parts.at(4) == QLatin1String("set")) {
        bool ok = false;
        const int relay = parts.at(3).toInt(&ok);
        if (!ok || relay < 1 || relay > 3)
            return drop(QStringLiteral("relays are 1 to 3"));
        if (payload != "ON" && payload != "OFF")
            return drop(QStringLiteral("a relay takes ON or OFF"));
        KovDetector::sendRelay(relay, payload == "ON", address);
        qCInfo(lcMqtt, "relay %d of %s %s", relay, qPrintable(mac),
               payload == "ON" ? "closed" : "opened");
        return;
    }
    if (parts.size() == 3 && parts.at(2) == QLatin1String("reboot")) {
        if (payload != "PRESS")
            return drop(QStringLiteral("Reboot takes PRESS"));
        KovDetector::sendReboot(address);
        qCInfo(lcMqtt, "reboot of %s", qPrintable(mac));
        return;
    }
    if (parts.size() == 3 && parts.at(2) == QLatin1String("ir")) {
        QJsonParseError error;
        const QJsonObject o = QJsonDocument::fromJson(payload, &error).object();
        const QString equipment = o.value(QStringLiteral("equipment")).toString();
        const QString name = o.value(QStringLiteral("name")).toString();
        const int port = o.value(QStringLiteral("port")).toInt(0);
        if (error.error != QJsonParseError::NoError || equipment.isEmpty() || name.isEmpty())
            return drop(QStringLiteral("an IR command is {\"equipment\", \"name\", \"port\"}"));
        const Site &site = roster->site();
        const int index = site.indexOfCode(equipment, name);
        if (index < 0)
            return drop(QStringLiteral("no such code in the site's library"));
        const SiteIrCode &code = site.irCodes.at(index);
        if (!code.ports.contains(port))
            return drop(QStringLiteral("the code is not saved for port %1").arg(port));
        QString ccf = code.pronto;
        if (!code.protocol.isEmpty()) {
            IRProtocols::Params params;
            params.protocol = code.protocol;
            params.device = code.device;
            params.subdevice = code.subdevice;
            params.function = code.function;
            QString why;
            if (!IRProtocols::render(params, &ccf, &why))
                return drop(QStringLiteral("the code cannot be built: ") + why);
        }
        quint16 words[Ccf::MaxWords];
        int count = 0;
        const Ccf::Result result = Ccf::check(ccf, 1 << (port - 1), words, count);
        if (result != Ccf::Result::Ok)
            return drop(Ccf::warningText(result));
        KovDetector::sendIR(quint8(1 << (port - 1)), 1, words, count, address);
        qCInfo(lcMqtt, "IR code %s / %s on port %d of %s", qPrintable(code.equipment),
               qPrintable(code.name), port, qPrintable(mac));
        return;
    }
    drop(QStringLiteral("no such command"));
}

void MqttBridge::publishAll()
{
    QSet<QString> skipped;
    for (const SiteIrCode &code : roster->site().irCodes) {
        if (code.ports.isEmpty())
            skipped.insert(code.equipment + QStringLiteral(" / ") + code.name);
    }
    for (const QString &code : std::as_const(skipped))
        qCInfo(lcMqtt, "IR code %s has no port saved: no button for it", qPrintable(code));
    const QStringList macs = roster->devices().keys();
    for (const QString &mac : macs)
        publishDevice(mac);
    // Devices gone from the roster lose their entities.
    for (auto it = configTopics.begin(); it != configTopics.end();) {
        if (macs.contains(it.key())) {
            ++it;
            continue;
        }
        for (const QString &topic : std::as_const(it.value()))
            publishRetained(topic, QByteArray());
        it = configTopics.erase(it);
    }
}

void MqttBridge::publishDevice(const QString &mac)
{
    const AgentDevice *d = roster->device(mac);
    if (!d)
        return;
    const QString base = TopicRoot + QLatin1Char('/') + deviceId(mac);
    publishRetained(base + QStringLiteral("/availability"), d->isUp() ? "online" : "offline");
    if (!d->version.isEmpty())
        publishRetained(base + QStringLiteral("/version"), d->version.toUtf8());
    const QHash<QString, QByteArray> configs = deviceConfigs(mac);
    for (auto it = configs.cbegin(); it != configs.cend(); ++it)
        publishRetained(it.key(), it.value());
    // Entities the device no longer has (a code removed from the site).
    for (const QString &topic : configTopics.value(mac)) {
        if (!configs.contains(topic))
            publishRetained(topic, QByteArray());
    }
    configTopics.insert(mac, configs.keys());
}

QHash<QString, QByteArray> MqttBridge::deviceConfigs(const QString &mac)
{
    QHash<QString, QByteArray> configs;
    const AgentDevice *d = roster->device(mac);
    if (!d)
        return configs;
    const QString id = deviceId(mac);
    const QString base = TopicRoot + QLatin1Char('/') + id;
    const QString node = QStringLiteral("kov_") + id;
    const QString siteName = roster->site().name;
    QString name = d->name.isEmpty() ? mac : d->name;
    if (!siteName.isEmpty())
        name = siteName + QLatin1Char(' ') + name;
    QJsonObject device{
        {"identifiers", QJsonArray{node}},
        {"connections", QJsonArray{QJsonArray{"mac", mac.toLower()}}},
        {"name", name},
        {"manufacturer", "Veltrane"},
        {"model", "KOV-1"},
    };
    if (!d->version.isEmpty())
        device.insert("sw_version", d->version);
    if (!d->location.isEmpty())
        device.insert("suggested_area", d->location);
    if (!d->ip.isEmpty())
        device.insert("configuration_url", QStringLiteral("http://") + d->ip);
    const QJsonArray availability{QJsonObject{{"topic", agentTopic}},
                                  QJsonObject{{"topic", base + QStringLiteral("/availability")}}};
    auto entity = [&](const QString &component, const QString &object, QJsonObject config) {
        config.insert("unique_id", node + QLatin1Char('_') + object);
        config.insert("object_id", node + QLatin1Char('_') + object);
        config.insert("availability", availability);
        config.insert("availability_mode", "all");
        config.insert("device", device);
        configs.insert(DiscoveryPrefix + QLatin1Char('/') + component + QLatin1Char('/') + node
                           + QLatin1Char('/') + object + QStringLiteral("/config"),
                       compact(config));
    };
    for (int relay = 1; relay <= 3; ++relay) {
        // No state topic: the device cannot tell its relays' state, so
        // Home Assistant keeps the last one it set (optimistic).
        entity(QStringLiteral("switch"), QStringLiteral("relay%1").arg(relay),
               {{"name", QStringLiteral("Relay %1").arg(relay)},
                {"command_topic", base + QStringLiteral("/relay/%1/set").arg(relay)},
                {"optimistic", true}});
    }
    entity(QStringLiteral("button"), QStringLiteral("reboot"),
           {{"name", "Reboot"},
            {"device_class", "restart"},
            {"entity_category", "config"},
            {"command_topic", base + QStringLiteral("/reboot")},
            {"payload_press", "PRESS"}});
    entity(QStringLiteral("sensor"), QStringLiteral("version"),
           {{"name", "Firmware version"},
            {"entity_category", "diagnostic"},
            {"icon", "mdi:chip"},
            {"state_topic", base + QStringLiteral("/version")}});
    for (const SiteIrCode &code : roster->site().irCodes) {
        for (int port : code.ports) {
            const QString payload = QString::fromUtf8(
                compact({{"equipment", code.equipment}, {"name", code.name}, {"port", port}}));
            entity(QStringLiteral("button"),
                   QStringLiteral("ir_%1_p%2").arg(codeId(code)).arg(port),
                   {{"name",
                     QStringLiteral("%1 %2 (IR %3)").arg(code.equipment, code.name).arg(port)},
                    {"icon", "mdi:remote"},
                    {"command_topic", base + QStringLiteral("/ir")},
                    {"payload_press", payload}});
        }
    }
    return configs;
}

void MqttBridge::publish(const QString &topic, const QByteArray &payload, bool retain)
{
    const QByteArray t = topic.toUtf8();
    const int rc = mosquitto_publish(mosq, nullptr, t.constData(), int(payload.size()),
                                     payload.constData(), 1, retain);
    if (rc == MOSQ_ERR_SUCCESS && retain)
        retained.insert(topic, payload);
    updateWrite();
}

void MqttBridge::publishRetained(const QString &topic, const QByteArray &payload)
{
    const auto it = retained.constFind(topic);
    if (it != retained.constEnd() && *it == payload)
        return;
    publish(topic, payload, true);
}
