#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include "irprotocols.h"
#include "labtestutil.h"

// kov-agent, the real program, in the test's namespace with kov-sim devices
// and a real mosquitto broker: what Prometheus and Home Assistant see, and
// which datagrams their commands make the devices log.
class tst_E2eAgent : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void metricsFollowTheDevices();
    void discoveryConfigs();
    void commands_data();
    void commands();
    void brokerRestart();

private:
    static QByteArray run(const QString &program, const QStringList &arguments,
                          const QByteArray &input = QByteArray(), int *code = nullptr);
    static QString id(const QString &mac) { return QString(mac).remove(':').toLower(); }
    bool startBroker();
    QByteArray get(const QString &path) const;
    double up(const QString &mac) const;
    // Retained messages below topic, as mosquitto_sub -v prints them.
    QMap<QString, QByteArray> retained(const QString &filter, int atLeast) const;
    void publish(const QString &topic, const QByteArray &payload);
    QString agentSaid();

    std::unique_ptr<LabTest::Lab> lab;
    QTemporaryDir dir;
    QProcess broker;
    QProcess agent;
    QByteArray agentOutput;
    int simD = -1;
    const QString macA = LabTest::mac(0x77, 1), macB = LabTest::mac(0x77, 2),
                  macC = LabTest::mac(0x77, 3), macD = LabTest::mac(0x77, 4);
};

QByteArray tst_E2eAgent::run(const QString &program, const QStringList &arguments,
                             const QByteArray &input, int *code)
{
    QProcess p;
    p.start(program, arguments);
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(15000);
    if (code)
        *code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return p.readAllStandardOutput();
}

bool tst_E2eAgent::startBroker()
{
    broker.start("mosquitto", {"-c", dir.filePath("mosquitto.conf")});
    return broker.waitForStarted() && LabTest::waitFor([] {
               int code = -1;
               run("mosquitto_pub", {"-p", "18830", "-t", "ready", "-m", "1"}, QByteArray(),
                   &code);
               return code == 0;
           });
}

void tst_E2eAgent::initTestCase()
{
    lab = std::make_unique<LabTest::Lab>(QStringLiteral(KOV_SIM_PATH));
    QVERIFY2(lab->addSubnet("kbr0", "10.77.0.1/24", true), qPrintable(lab->error()));
    QVERIFY2(lab->addDevices("kbr0", {LabTest::device("A", "10.77.0.11", macA, "1.7.0",
                                                      {{"rebootMs", 50}}),
                                      LabTest::device("B", "10.77.0.12", macB, "1.7.0")})
                 >= 0,
             qPrintable(lab->error()));
    const int hostD = lab->addHost("kbr0", {"10.77.0.14/24"});
    QVERIFY2(hostD >= 0, qPrintable(lab->error()));
    simD = lab->startSim(hostD, {LabTest::device("D", "10.77.0.14", macD, "1.6.2")});
    QVERIFY2(simD >= 0, qPrintable(lab->error()));

    // C is in the site and never answers; "Mute" has no port, so no button.
    const QJsonObject site{
        {"format", "kov-site"},
        {"version", 1},
        {"name", "Hotel Aurora"},
        {"targetVersion", "1.7.0"},
        {"devices",
         QJsonArray{QJsonObject{{"mac", macA}, {"name", "Lobby TV"}, {"location", "Lobby"}},
                    QJsonObject{{"mac", macB}, {"name", "Bar"}},
                    QJsonObject{{"mac", macC}, {"name", "Spa"}},
                    QJsonObject{{"mac", macD}, {"name", "Roof"}}}},
        {"irCodes", QJsonArray{QJsonObject{{"equipment", "Lobby TV"},
                                           {"name", "Power"},
                                           {"protocol", "nec1"},
                                           {"device", 4},
                                           {"function", 8},
                                           {"ports", QJsonArray{1, 3}}},
                               QJsonObject{{"equipment", "Amp"},
                                           {"name", "Loud"},
                                           {"pronto", "0000 0073 0000 0002 0020 0020 0040 0020"},
                                           {"ports", QJsonArray{2}}},
                               QJsonObject{{"equipment", "Amp"},
                                           {"name", "Mute"},
                                           {"protocol", "rc5"},
                                           {"device", 16},
                                           {"function", 13}}}}};
    QFile siteFile(dir.filePath("site.json"));
    QVERIFY(siteFile.open(QIODevice::WriteOnly));
    siteFile.write(QJsonDocument(site).toJson());
    siteFile.close();

    QFile conf(dir.filePath("mosquitto.conf"));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("listener 18830 127.0.0.1\nallow_anonymous true\n");
    conf.close();
    QVERIFY(startBroker());

    agent.setProcessChannelMode(QProcess::MergedChannels);
    connect(&agent, &QProcess::readyRead, this, [this] { agentOutput += agent.readAll(); });
    agent.start(QStringLiteral(KOV_AGENT_PATH),
                {"--site", dir.filePath("site.json"), "--interval", "0.5", "--lost-after", "2",
                 "--listen", "127.0.0.1:9775", "--mqtt", "mqtt://127.0.0.1:18830",
                 "--mqtt-client-id", "aurora"});
    QVERIFY(LabTest::waitFor([&] { return agentOutput.contains("connected to the broker"); }));
}

void tst_E2eAgent::cleanupTestCase()
{
    for (QProcess *p : {&agent, &broker}) {
        p->terminate();
        if (!p->waitForFinished(5000))
            p->kill();
    }
}

QByteArray tst_E2eAgent::get(const QString &path) const
{
    return run("curl", {"-sf", "http://127.0.0.1:9775" + path});
}

double tst_E2eAgent::up(const QString &mac) const
{
    for (const QByteArray &line : get("/metrics").split('\n')) {
        if (line.startsWith("kov_device_up{") && line.contains("mac=\"" + mac.toLatin1() + '"'))
            return line.mid(line.lastIndexOf(' ') + 1).toDouble();
    }
    return -1;
}

QMap<QString, QByteArray> tst_E2eAgent::retained(const QString &filter, int atLeast) const
{
    QMap<QString, QByteArray> messages;
    LabTest::waitFor([&] {
        messages.clear();
        const QByteArray out = run("mosquitto_sub", {"-p", "18830", "-t", filter, "-v",
                                                     "--retained-only", "-W", "1"});
        for (const QByteArray &line : out.split('\n')) {
            const int space = line.indexOf(' ');
            if (space > 0)
                messages.insert(QString::fromUtf8(line.left(space)), line.mid(space + 1));
        }
        return messages.size() >= atLeast;
    });
    return messages;
}

void tst_E2eAgent::publish(const QString &topic, const QByteArray &payload)
{
    int code = -1;
    run("mosquitto_pub", {"-p", "18830", "-t", topic, "-s"}, payload, &code);
    QCOMPARE(code, 0);
}

QString tst_E2eAgent::agentSaid()
{
    return QString::fromUtf8(agentOutput);
}

void tst_E2eAgent::metricsFollowTheDevices()
{
    QVERIFY(LabTest::waitFor([&] { return up(macA) == 1 && up(macB) == 1 && up(macD) == 1; }));
    const QByteArray metrics = get("/metrics");
    int code = -1;
    QProcess promtool;
    promtool.setProcessChannelMode(QProcess::MergedChannels);
    promtool.start("promtool", {"check", "metrics"});
    promtool.write(metrics);
    promtool.closeWriteChannel();
    QVERIFY(promtool.waitForFinished(15000));
    const QByteArray lint = promtool.readAll();
    code = promtool.exitCode();
    QVERIFY2(code == 0, lint.constData());
    QCOMPARE(up(macC), 0.0);
    QVERIFY(metrics.contains("kov_devices{state=\"missing\"} 1"));
    QVERIFY(metrics.contains("kov_devices{state=\"outdated\"} 1")); // D runs 1.6.2
    QVERIFY(metrics.contains("kov_device_last_seen_timestamp_seconds{mac=\"" + macA.toLatin1()));

    // The same devices as kovctl site list --format json has them.
    QMap<QString, QJsonObject> devices;
    for (const QJsonValue &v : QJsonDocument::fromJson(get("/api/devices")).array())
        devices.insert(v["mac"].toString(), v.toObject());
    QCOMPARE(devices.keys(), QStringList({macA, macB, macC, macD}));
    QCOMPARE(devices[macA]["ip"].toString(), "10.77.0.11");
    QCOMPARE(devices[macA]["location"].toString(), "Lobby");
    QVERIFY(devices[macC]["lastSeen"].isNull());
    QCOMPARE(devices[macC]["state"].toString(), "missing");
    QCOMPARE(devices[macD]["state"].toString(), "outdated");

    // What was heard went back to the site file at once.
    QFile file(dir.filePath("site.json"));
    QVERIFY(LabTest::waitFor([&] {
        const bool opened = file.open(QIODevice::ReadOnly);
        const bool heard = opened && file.readAll().contains("10.77.0.14");
        file.close();
        return heard;
    }));

    // Someone else renames A: the agent takes it, and keeps both the new
    // name and what it heard in the file.
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray text = file.readAll();
    file.close();
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QVERIFY(text.contains("\"name\": \"Lobby TV\""));
    file.write(text.replace("\"name\": \"Lobby TV\"", "\"name\": \"Lobby screen\""));
    file.close();
    QVERIFY(LabTest::waitFor([&] { return get("/api/devices").contains("Lobby screen"); }));
    QVERIFY(LabTest::waitFor([&] {
        QFile again(dir.filePath("site.json"));
        again.open(QIODevice::ReadOnly);
        const QByteArray now = again.readAll();
        return now.contains("Lobby screen") && now.contains("10.77.0.11");
    }));

    lab->stopSim(simD);
    QVERIFY(LabTest::waitFor([&] { return up(macD) == 0; }, 10000));
    QVERIFY(get("/api/devices").contains("\"lost\""));
    QCOMPARE(up(macA), 1.0);
}

void tst_E2eAgent::discoveryConfigs()
{
    // Per device: 3 relays, Reboot, version, Power on 2 ports, Loud on 1.
    const QMap<QString, QByteArray> configs = retained("homeassistant/+/kov_" + id(macA)
                                                           + "/+/config",
                                                       8);
    QCOMPARE(configs.size(), 8);
    QStringList components;
    for (auto it = configs.cbegin(); it != configs.cend(); ++it) {
        const QJsonObject c = QJsonDocument::fromJson(it.value()).object();
        QVERIFY2(!c.isEmpty(), it.value().constData());
        components.append(it.key().section('/', 1, 1));
        QVERIFY(c["unique_id"].toString().contains(id(macA)));
        QVERIFY(!c["name"].toString().isEmpty());
        QCOMPARE(c["availability_mode"].toString(), "all");
        QCOMPARE(c["availability"].toArray().size(), 2);
        const QJsonObject device = c["device"].toObject();
        QCOMPARE(device["connections"].toArray().at(0).toArray(),
                 QJsonArray({"mac", macA.toLower()}));
        QCOMPARE(device["sw_version"].toString(), "1.7.0");
        QVERIFY(device["name"].toString().contains("Hotel Aurora"));
        if (components.last() == "sensor") {
            QVERIFY(c.contains("state_topic"));
        } else {
            QVERIFY(c.contains("command_topic"));
            QVERIFY(!c.contains("state_topic")); // relays cannot be read back
        }
    }
    components.sort();
    QCOMPARE(components, QStringList({"button", "button", "button", "button", "sensor", "switch",
                                      "switch", "switch"}));
    const QMap<QString, QByteArray> availability = retained("kov/+/availability", 4);
    QCOMPARE(availability.value("kov/" + id(macA) + "/availability"), "online");
    QCOMPARE(availability.value("kov/" + id(macC) + "/availability"), "offline");
}

void tst_E2eAgent::commands_data()
{
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("cmd"); // what A logs; empty: nothing at all is sent
    QTest::addColumn<QJsonObject>("expected");

    const QString a = "kov/" + id(macA);
    QString ccf;
    QString error;
    QVERIFY(IRProtocols::render({"nec1", 4, -1, 8}, &ccf, &error));
    QJsonArray words;
    for (const QString &w : ccf.split(' '))
        words.append(w.toUpper());
    QTest::newRow("relay 2 on") << a + "/relay/2/set" << QByteArray("ON") << "relay"
                                << QJsonObject{{"relay", 2}, {"closed", true}};
    QTest::newRow("relay 3 off") << a + "/relay/3/set" << QByteArray("OFF") << "relay"
                                 << QJsonObject{{"relay", 3}, {"closed", false}};
    QTest::newRow("IR code on port 3")
        << a + "/ir" << QByteArray(R"({"equipment":"Lobby TV","name":"Power","port":3})") << "ir"
        << QJsonObject{{"mask", 4}, {"repeats", 1}, {"words", words}};
    QTest::newRow("unknown MAC") << "kov/001ec0779999/relay/1/set" << QByteArray("ON") << ""
                                 << QJsonObject();
    QTest::newRow("relay 4") << a + "/relay/4/set" << QByteArray("ON") << "" << QJsonObject();
    QTest::newRow("relay payload neither ON nor OFF")
        << a + "/relay/1/set" << QByteArray("MAYBE") << "" << QJsonObject();
    QTest::newRow("payload over 1 KiB")
        << a + "/relay/1/set" << QByteArray(1025, 'O') << "" << QJsonObject();
    QTest::newRow("IR code not in the library")
        << a + "/ir" << QByteArray(R"({"equipment":"Lobby TV","name":"Mute","port":1})") << ""
        << QJsonObject();
    QTest::newRow("IR code on a port it is not saved for")
        << a + "/ir" << QByteArray(R"({"equipment":"Amp","name":"Loud","port":1})") << ""
        << QJsonObject();
    QTest::newRow("IR code without ports")
        << a + "/ir" << QByteArray(R"({"equipment":"Amp","name":"Mute","port":1})") << ""
        << QJsonObject();
    QTest::newRow("device never heard")
        << "kov/" + id(macC) + "/reboot" << QByteArray("PRESS") << "" << QJsonObject();
    // Last: A is deaf for a moment after it.
    QTest::newRow("reboot") << a + "/reboot" << QByteArray("PRESS") << "reboot" << QJsonObject();
}

void tst_E2eAgent::commands()
{
    QFETCH(QString, topic);
    QFETCH(QByteArray, payload);
    QFETCH(QString, cmd);
    QFETCH(QJsonObject, expected);
    auto sent = [&](const QString &device) {
        QList<QJsonObject> found;
        for (const QJsonObject &o : lab->log(device)) {
            const QString c = o["cmd"].toString();
            if (c != "beacon" && c != "booted" && c != "ignored")
                found.append(o);
        }
        return found;
    };
    const int beforeA = int(sent("A").size());
    const int beforeB = int(sent("B").size());
    const int dropped = int(agentSaid().count("dropped"));
    publish(topic, payload);
    if (cmd.isEmpty()) {
        QVERIFY(LabTest::waitFor([&] { return agentSaid().count("dropped") == dropped + 1; }));
        // A command B then gets shows that nothing came before it.
        publish("kov/" + id(macB) + "/relay/1/set", "OFF");
        QVERIFY(LabTest::waitFor([&] { return sent("B").size() == beforeB + 1; }));
        QCOMPARE(sent("A").size(), beforeA);
        return;
    }
    QVERIFY(LabTest::waitFor([&] { return sent("A").size() > beforeA; }));
    QCOMPARE(sent("A").size(), beforeA + 1);
    const QJsonObject got = sent("A").at(beforeA);
    QCOMPARE(got["cmd"].toString(), cmd);
    for (auto it = expected.begin(); it != expected.end(); ++it)
        QCOMPARE(got[it.key()], it.value());
    QCOMPARE(sent("B").size(), beforeB);
}

void tst_E2eAgent::brokerRestart()
{
    broker.kill();
    broker.waitForFinished();
    QVERIFY(LabTest::waitFor([&] { return agentSaid().contains("lost the broker"); }));
    // Discovery and metrics carry on without it.
    QCOMPARE(up(macA), 1.0);
    QCOMPARE(up(macD), 0.0);
    QVERIFY(startBroker());
    QVERIFY(LabTest::waitFor([&] { return agentSaid().count("connected to the broker") == 2; }));
    QCOMPARE(retained("kov/" + id(macA) + "/availability", 1).first(), "online");
    QCOMPARE(retained("kov/" + id(macD) + "/availability", 1).first(), "offline");
    QCOMPARE(retained("kov/agent/aurora/availability", 1).first(), "online");
    const int before = int(lab->commands("A", "relay").size());
    publish("kov/" + id(macA) + "/relay/1/set", "ON");
    QVERIFY(LabTest::waitFor([&] { return lab->commands("A", "relay").size() == before + 1; }));
}

QTEST_GUILESS_MAIN(tst_E2eAgent)
#include "tst_e2e_agent.moc"
