#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

class DeviceRoster;
class QSocketNotifier;
struct mosquitto;
struct mosquitto_message;

// The bridge to an MQTT broker and Home Assistant: the agent's own
// availability (retained, with a last will), per device its availability
// and firmware version and the retained discovery configs of its three
// relay switches, its Reboot button, one button per IR code of the site on
// each port the code is saved for, and a version sensor. Commands on the
// devices' topics send the datagram the window's button sends.
//
// libmosquitto runs on this thread: its socket is watched by socket
// notifiers and a timer drives its keep-alive, so a broker that is slow or
// down never holds up discovery or a scrape; the connection is retried
// with a growing pause.
class MqttBridge : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxPayload = 1024;
    static constexpr int FirstRetryMs = 1000;
    static constexpr int LastRetryMs = 60000;

    struct Settings
    {
        QString host;
        int port = 1883;
        bool tls = false;
        QString username;
        QString password;
        QString caFile; // TLS: the broker's CA; empty: the system's
        QString clientId;
    };

    // mqtt://HOST[:PORT] or mqtts://HOST[:PORT] (1883 and 8883 by default).
    static bool parseUrl(const QString &url, Settings *settings, QString *error);
    // Lines "username=...", "password=..." and "cafile=..."; '#' starts a
    // comment line.
    static bool readCredentials(const QString &path, Settings *settings, QString *error);

    MqttBridge(DeviceRoster *roster, const Settings &settings, QObject *parent = nullptr);
    ~MqttBridge() override;

    void start();
    bool isConnected() const { return connected; }

    // Topic ids: a MAC's twelve hex digits in lower case.
    static QString deviceId(const QString &mac);

signals:
    void connectedChanged(bool connected);

private:
    static void onConnect(mosquitto *mosq, void *self, int rc);
    static void onMessage(mosquitto *mosq, void *self, const mosquitto_message *message);

    void connectNow();
    void attachSocket();
    void detachSocket();
    void lost(int rc);
    void scheduleRetry();
    void afterLoop(int rc);
    void updateWrite();
    void handleConnected(int rc);
    void handleMessage(const QString &topic, const QByteArray &payload, bool retain);
    void handleCommand(const QStringList &parts, const QByteArray &payload);

    void publishAll();
    void publishDevice(const QString &mac);
    void publish(const QString &topic, const QByteArray &payload, bool retained);
    // Publishes a retained message unless this connection already did so
    // with the same payload.
    void publishRetained(const QString &topic, const QByteArray &payload);
    QHash<QString, QByteArray> deviceConfigs(const QString &mac);

    DeviceRoster *roster;
    Settings settings;
    mosquitto *mosq = nullptr;
    std::unique_ptr<QSocketNotifier> readNotifier;
    std::unique_ptr<QSocketNotifier> writeNotifier;
    QTimer miscTimer;
    QTimer retryTimer;
    int retryMs = FirstRetryMs;
    bool started = false;
    bool connected = false;
    QString agentTopic;
    QHash<QString, QByteArray> retained;      // this connection's retained messages
    QHash<QString, QStringList> configTopics; // per device, its configs' topics
};
