#pragma once

#include <QHostAddress>
#include <QMainWindow>
#include <QHash>
#include <QModelIndex>
#include <QSharedPointer>
#include <QString>

#include "devicepage.h"
#include "firmwareupdate.h"
#include "fleetupgrade.h"
#include "ircodegeneratordialog.h"
#include "kovdetector.h"
#include "kovinfo.h"
#include "kovtable.h"
#include "tftpdserver.h"

class QTableWidget;
class SiteController;
class IRCodeLibraryPanel;

namespace Ui {
class MainWindow;
}

// The tool's one window.
//
// The device tab shows kovTable, fed by kovDetector's replies, through
// devicePage (sorting, filter, unicast probes, export); the device panel
// shows the selected device, and its buttons send one command datagram to
// each selected device through KovDetector's static senders. The firmware
// tab switches tftpd on and off, replaces its image
// with the one the vendor web service offers (version query, then
// download, run by firmwareUpdate) or with a HEX file the user opens,
// and lists each device's transfer as tftpd reports it; fleet runs the
// upgrade rounds (orders, whether each device came back on the served
// version, retry of the failures) and gives the Result column and the
// summary line. The IR panel checks CCF text with Ccf::check before
// sending it; irDialog builds such text from protocol parameters, and
// IRDecoder reads it back for the line under the field and for opening
// irDialog on a pasted code. With a site open (sites), the site's devices
// are listed by name from the start, missing ones included, and what the
// devices say is saved to the site file.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Talks to the firmware web service at KOV_WEBSERVICE_HOST.
    explicit MainWindow(QWidget *parent = nullptr);
    // Talks to the firmware web service at webServiceHost ("host[:port]")
    // with the given timings (ms) of its requests and of the upgrade
    // verification; tests shorten them.
    explicit MainWindow(const QString &webServiceHost,
                        int transferTimeout = FirmwareUpdate::DefaultTransferTimeout,
                        int verifyTimeoutMs = FleetUpgrade::DefaultVerifyTimeout,
                        int beaconIntervalMs = FleetUpgrade::DefaultBeaconInterval,
                        QWidget *parent = nullptr);
    // With the upgrade verification's timings (ms) given; tests shorten them.
    MainWindow(int verifyTimeoutMs, int beaconIntervalMs, QWidget *parent = nullptr);
    ~MainWindow() override;

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
    void firmwareCheckRunning(bool running);
    void firmwareCheckFailed(const QString &reason);
    void firmwareRefused(const QString &reason);
    void on_retryFailedButton_clicked();
    void on_openFirmwareButton_clicked();
    void on_actionOpenFirmware_triggered();

private:
    // The window's test looks behind the table view at its model.
    friend class tst_MainWindow;

    static constexpr char VersionLabel[] = "Firmware version ready to upload: ";

    QSharedPointer<KovInfo> selectedKov();
    // Asks before acting on more than one device; true to go on.
    bool confirmSeveral(const QString &question, int count);
    void relayAction(int relay, bool closed);
    void checkVersion();
    void downloadFirmware();
    int transferRow(QHostAddress &address);
    int ensureTransferRow(const QHostAddress &address);
    void setUpTransferTable();
    void showHeldFirmware();
    void showUpgradeEntry(const QHostAddress &address);
    void openFirmwareFile();
    QString macOf(const QHostAddress &address);
    void describeIrCode();

    KovTable kovTable;
    KovDetector kovDetector;
    TFTPDServer tftpd;
    FirmwareUpdate firmwareUpdate;
    FleetUpgrade fleet;
    IRCodeGeneratorDialog irDialog;
    Ui::MainWindow *ui;
    DevicePage *devicePage = nullptr;
    // The transfer table's row of each fleet entry (by its id), followed
    // through sorting.
    QHash<int, QPersistentModelIndex> transferRows;
    SiteController *sites = nullptr;
    IRCodeLibraryPanel *irCodes = nullptr;
};
