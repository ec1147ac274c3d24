#pragma once

#include <QHostAddress>
#include <QHttpServer>
#include <QObject>

class AgentMetrics;
class DeviceRoster;

// The agent's read-only HTTP side: GET /metrics (Prometheus text) and
// GET /api/devices (JSON). Nothing sent here changes anything; other
// methods are refused.
class AgentHttp : public QObject
{
    Q_OBJECT

public:
    AgentHttp(const AgentMetrics *metrics, DeviceRoster *roster, QObject *parent = nullptr);
    ~AgentHttp() override;

    // The port listened on, or 0 when the address cannot be bound.
    quint16 listen(const QHostAddress &address, quint16 port);

private:
    QHttpServer server;
};
