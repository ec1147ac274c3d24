#pragma once

#include <QByteArray>
#include <QString>

class Agent;
class DeviceRoster;

// The Prometheus exposition of the agent: a registry built afresh at each
// scrape from the roster, so every known device is there every time (a
// missing one as down) and a device dropped from the site goes with it.
class AgentMetrics
{
public:
    static constexpr const char *ContentType = "text/plain; version=0.0.4; charset=utf-8";

    AgentMetrics(DeviceRoster *roster, const Agent *agent, const QString &version);

    QByteArray text() const;

private:
    DeviceRoster *roster;
    const Agent *agent;
    QString version;
};
