#pragma once

// A real HTTP/1.1 server on 127.0.0.1 for tests of the firmware web
// service: each GET is answered from a table of canned responses keyed by
// path and query, and every request line is logged so a test can tell
// which requests the tool made. One request per connection; the server
// closes the connection after each answer.

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

class HttpTestServer : public QTcpServer
{
public:
    struct Response
    {
        int status = 200;
        QByteArray body;
        QByteArray location; // sent as Location: when not empty
        bool drop = false;   // close the connection without answering
        bool hold = false;   // answer only when releaseNext() says so
    };

    static Response ok(const QByteArray &body) { return {200, body, {}, false, false}; }
    static Response status(int code, const QByteArray &body = QByteArray())
    {
        return {code, body, {}, false, false};
    }
    static Response redirect(const QByteArray &location)
    {
        return {302, {}, location, false, false};
    }
    static Response dropped() { return {0, {}, {}, true, false}; }
    static Response held(const QByteArray &body) { return {200, body, {}, false, true}; }

    explicit HttpTestServer(QObject *parent = nullptr) : QTcpServer(parent)
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection())
                serve(socket);
        });
    }

    bool start() { return listen(QHostAddress::LocalHost, 0); }
    QString hostAndPort() const { return "127.0.0.1:" + QString::number(serverPort()); }

    // pathAndQuery as it appears in the request line, e.g.
    // "/webservice/kov-1-rev7.php?o=version". Unknown targets get 404.
    void setResponse(const QString &pathAndQuery, const Response &response)
    {
        responses.insert(pathAndQuery, response);
    }
    void clearResponses() { responses.clear(); }

    // "GET /webservice/kov-1-rev7.php?o=version", one entry per request.
    const QStringList &requests() const { return log; }
    int count(const QString &pathAndQuery) const { return log.count("GET " + pathAndQuery); }
    void clearLog() { log.clear(); }

    // Requests whose response is held, oldest first.
    int heldCount() const { return heldRequests.size(); }
    void releaseNext()
    {
        if (heldRequests.isEmpty())
            return;
        const Held next = heldRequests.takeFirst();
        if (next.socket)
            answer(next.socket, next.response);
    }

private:
    void serve(QTcpSocket *socket)
    {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            QByteArray &buffer = pending[socket];
            buffer += socket->readAll();
            const int end = buffer.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
            pending.remove(socket);
            const QString method = QString::fromLatin1(requestLine.value(0));
            const QString target = QString::fromLatin1(requestLine.value(1));
            log.append(method + ' ' + target);
            const Response response = method == "GET"
                                          ? responses.value(target, status(404, "Not Found"))
                                          : status(405);
            if (response.hold) {
                Response later = response;
                later.hold = false;
                heldRequests.append({socket, later});
                return;
            }
            answer(socket, response);
        });
    }

    static QByteArray reason(int code)
    {
        switch (code) {
        case 200:
            return "OK";
        case 302:
            return "Found";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 500:
            return "Internal Server Error";
        default:
            return "Status";
        }
    }

    void answer(QTcpSocket *socket, const Response &response)
    {
        if (response.drop) {
            socket->abort();
            return;
        }
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' '
                          + reason(response.status) + "\r\n";
        head += "Content-Type: text/plain\r\n";
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        if (!response.location.isEmpty())
            head += "Location: " + response.location + "\r\n";
        head += "Connection: close\r\n\r\n";
        socket->write(head + response.body);
        socket->disconnectFromHost();
    }

    struct Held
    {
        QPointer<QTcpSocket> socket;
        Response response;
    };

    QHash<QString, Response> responses;
    QList<Held> heldRequests;
    QHash<QTcpSocket *, QByteArray> pending;
    QStringList log;
};
