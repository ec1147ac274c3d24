#include "firmwareupdate.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include "firmwarelog.h"
#include "intelhex.h"

FirmwareUpdate::FirmwareUpdate(const QString &hostAndPort, int transferTimeout, QObject *parent)
    : QObject(parent), serviceHost(hostAndPort), transferTimeout(transferTimeout)
{
    networkManager.setParent(this);
}

FirmwareUpdate::~FirmwareUpdate() = default;

QUrl FirmwareUpdate::url(Stage stage) const
{
    const char *query = stage == Stage::Version ? "o=version" : "o=download";
    return QUrl("http://" + serviceHost + "/webservice/kov-1-rev7.php?" + query);
}

void FirmwareUpdate::checkVersion()
{
    send(Stage::Version);
}

void FirmwareUpdate::downloadFirmware()
{
    send(Stage::Download);
}

void FirmwareUpdate::send(Stage next)
{
    const bool wasRunning = isRunning();
    QNetworkRequest request(url(next));
    request.setTransferTimeout(transferTimeout);
    // The replaced reply, if any, is deleted when it ends unread.
    stage = next;
    reply = networkManager.get(request);
    connect(reply, &QNetworkReply::finished, this, &FirmwareUpdate::replyFinished);
    qCDebug(lcFirmware).noquote() << "GET" << reply->url().toString();
    if (!wasRunning)
        emit runningChanged(true);
}

void FirmwareUpdate::end()
{
    reply = nullptr;
    emit runningChanged(false);
}

void FirmwareUpdate::replyFinished()
{
    auto *finished = qobject_cast<QNetworkReply *>(sender());
    if (!finished)
        return;
    finished->deleteLater();
    if (finished != reply)
        return;

    if (finished->error() != QNetworkReply::NoError) {
        const QString reason = finished->error() == QNetworkReply::OperationCanceledError
                                   ? tr("the web service did not answer within %1 s")
                                         .arg(transferTimeout / 1000.0)
                                   : finished->errorString();
        qCDebug(lcFirmware).noquote() << "Web service failed:" << printableText(reason);
        end();
        emit failed(reason);
        return;
    }

    const QByteArray body = finished->readAll();
    if (stage == Stage::Version) {
        webVersion = QString::fromLatin1(body);
        emit versionReceived(webVersion);
        send(Stage::Download);
        return;
    }

    end();
    // A device flashed with a page of HTML or a cut-off image may never
    // boot again, so only a well-formed image is offered.
    QString problem = IntelHex::problem(body);
    if (!problem.isEmpty()) {
        while (problem.endsWith('.'))
            problem.chop(1);
        emit refused(problem);
        return;
    }
    lastImage = body;
    emit firmwareReady(webVersion, body);
}
