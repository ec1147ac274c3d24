#pragma once

#include <QHostAddress>
#include <QMainWindow>
#include <QModelIndex>
#include <QNetworkAccessManager>
#include <QSharedPointer>
#include <QString>

#include "fleetupgrade.h"
#include "ircodegeneratordialog.h"
#include "kovdetector.h"
#include "kovinfo.h"
#include "kovtable.h"
#include "tftpdserver.h"

class QNetworkReply;
class QTableWidget;
class QUrl;

namespace Ui {
class MainWindow;
}

// The tool's one window.
//
// The device tab shows kovTable, fed by kovDetector's replies; a clicked
// row fills and enables the device panel, whose buttons send one command
// datagram each to the selected device through KovDetector's static
// senders. The firmware tab switches tftpd on and off, replaces its image
// with the one the vendor web service offers (version query, then
// download) or with a HEX file the user opens, and lists each device's
// transfer as tftpd reports it; fleet runs the upgrade rounds (orders,
// whether each device came back on the served version, retry of the
// failures) and gives the Result column and the summary line. The IR
// panel checks CCF text with Ccf::check before sending it; irDialog builds
// such text from protocol parameters, and IRDecoder reads it back for the
// line under the field and for opening irDialog on a pasted code.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    // With the upgrade verification's timings (ms) given; tests shorten them.
    MainWindow(int verifyTimeoutMs, int beaconIntervalMs, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Tests point the firmware web service at a local server with this;
    // the tool itself always talks to KOV_WEBSERVICE_HOST.
    void setWebServiceHostForTesting(const QString &hostAndPort);

private slots:
    void KovDetected(QString version, QHostAddress ip, QString mac);
    void KovSelected(QModelIndex modelIndex);
    void WebConfigClicked();
    void about();
    void on_pushButton_2_clicked();
    void ondone(QHostAddress &address);
    void onprogress(QHostAddress &address, int p);
    void onerror(QHostAddress &address, QString error);
    void on_enableTFTPD_toggled(bool checked);
    void firmwareVersion();
    void firmware();
    void on_pushButton_clicked();
    void on_updateAll_clicked();
    void on_pushButton_3_clicked();
    void on_pushButton_4_clicked();
    void on_pushButton_5_clicked();
    void on_pushButton_6_clicked();
    void on_pushButton_7_clicked();
    void on_pushButton_8_clicked();
    void on_pushButton_9_clicked();
    void on_tableView_activated(QModelIndex index);
    void on_pushButton_10_clicked();
    void on_pushButton_11_clicked();
    void on_pushButton_12_clicked();
    void on_pushButton_13_clicked();
    void onBindError(QString error);
    void on_retryFailedButton_clicked();
    void on_openFirmwareButton_clicked();
    void on_actionOpenFirmware_triggered();

private:
    // The window's tests look behind the widgets at these members.
    friend class tst_MainWindow;
    friend class tst_FirmwareWorkflow;

    static constexpr char FirmwareName[] = "kov-1-rev7.hex";
    static constexpr char VersionLabel[] = "Firmware version ready to upload: ";

    QSharedPointer<KovInfo> selectedKov();
    void relayAction(int relay, bool closed);
    void checkVersion();
    void downloadFirmware();
    int transferRow(QHostAddress &address);
    static int ensureTransferRow(QTableWidget *table, int row, const QHostAddress &address);
    QUrl webServiceUrl(const QString &query) const;
    void setUpTransferTable();
    void showHeldFirmware();
    void showUpgradeEntry(const QHostAddress &address);
    void openFirmwareFile();
    QString macOf(const QHostAddress &address);
    void describeIrCode();

    KovTable kovTable;
    KovDetector kovDetector;
    TFTPDServer tftpd;
    FleetUpgrade fleet;
    QNetworkAccessManager networkManager;
    QNetworkReply *versionReply = nullptr;
    QNetworkReply *firmwareReply = nullptr;
    QString webVersion;
    IRCodeGeneratorDialog irDialog;
    Ui::MainWindow *ui;
    QString webServiceHost;
};
