#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>

class QNetworkReply;
class QUrl;

// The vendor firmware web service, without widgets: a version query, then
// the download of the image that goes with it. Only the latest request is
// read; a reply that a newer request has replaced is dropped when it ends.
// A downloaded image is offered only when it is well-formed Intel HEX.
// Used by the window and by command-line programs alike.
class FirmwareUpdate : public QObject
{
    Q_OBJECT

public:
    // A stalled service would otherwise leave a query pending for ever.
    static constexpr int DefaultTransferTimeout = 30000;

    // hostAndPort as in "www.example.com" or "127.0.0.1:8080".
    explicit FirmwareUpdate(const QString &hostAndPort,
                            int transferTimeout = DefaultTransferTimeout,
                            QObject *parent = nullptr);
    ~FirmwareUpdate() override;

    QString host() const { return serviceHost; }
    // True from checkVersion() or downloadFirmware() until the request
    // chain ends, well or not.
    bool isRunning() const { return reply != nullptr; }
    // The version text of the last successful query, as the service sent it.
    QString version() const { return webVersion; }
    // The last image offered through firmwareReady().
    QByteArray image() const { return lastImage; }

    // Sends the version query; a good answer is followed by the download.
    void checkVersion();
    // Sends the download alone; the image goes with version().
    void downloadFirmware();

signals:
    void runningChanged(bool running);
    void versionReceived(const QString &version);
    void firmwareReady(const QString &version, const QByteArray &image);
    // The service could not be reached or answered with an error.
    void failed(const QString &reason);
    // The download arrived but is not an image a device may be given.
    void refused(const QString &reason);

private:
    enum class Stage { Version, Download };

    void send(Stage stage);
    void replyFinished();
    void end();
    QUrl url(Stage stage) const;

    QNetworkAccessManager networkManager;
    QString serviceHost;
    int transferTimeout;
    QNetworkReply *reply = nullptr;
    Stage stage = Stage::Version;
    QString webVersion;
    QByteArray lastImage;
};
