#include "agenthttp.h"

#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QJsonDocument>

#include "agentmetrics.h"
#include "deviceroster.h"

AgentHttp::AgentHttp(const AgentMetrics *metrics, DeviceRoster *roster, QObject *parent)
    : QObject(parent)
{
    using Method = QHttpServerRequest::Method;
    using Status = QHttpServerResponse::StatusCode;
    server.route("/metrics", [metrics](const QHttpServerRequest &request) {
        if (request.method() != Method::Get && request.method() != Method::Head)
            return QHttpServerResponse(Status::MethodNotAllowed);
        return QHttpServerResponse(QByteArray(AgentMetrics::ContentType), metrics->text());
    });
    server.route("/api/devices", [roster](const QHttpServerRequest &request) {
        if (request.method() != Method::Get && request.method() != Method::Head)
            return QHttpServerResponse(Status::MethodNotAllowed);
        return QHttpServerResponse(QByteArray("application/json"),
                                   QJsonDocument(roster->toJson()).toJson());
    });
}

AgentHttp::~AgentHttp() = default;

quint16 AgentHttp::listen(const QHostAddress &address, quint16 port)
{
    return server.listen(address, port);
}
