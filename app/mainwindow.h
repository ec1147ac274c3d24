#pragma once

#include <QHostAddress>
#include <QMainWindow>
#include <QModelIndex>
#include <QSharedPointer>
#include <QString>

#include "devicepage.h"
#include "firmwareupdate.h"
#include "ircodegeneratordialog.h"
#include "kovdetector.h"
#include "kovinfo.h"
#include "kovtable.h"
#include "tftpdserver.h"

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
// download, run by firmwareUpdate) and lists each device's transfer as
// tftpd reports it. The IR panel checks CCF text with Ccf::check before
// sending it; irDialog builds such text from protocol parameters, and
// IRDecoder reads it back for the line under the field and for opening
// irDialog on a pasted code.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Talks to the firmware web service at KOV_WEBSERVICE_HOST.
    explicit MainWindow(QWidget *parent = nullptr);
    // Talks to the firmware web service at webServiceHost ("host[:port]").
    explicit MainWindow(const QString &webServiceHost,
                        int transferTimeout = FirmwareUpdate::DefaultTransferTimeout,
                        QWidget *parent = nullptr);
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

private:
    // The window's test looks behind the table view at its model.
    friend class tst_MainWindow;

    QSharedPointer<KovInfo> selectedKov();
    // Asks before acting on more than one device; true to go on.
    bool confirmSeveral(const QString &question, int count);
    void relayAction(int relay, bool closed);
    void checkVersion();
    void downloadFirmware();
    int transferRow(QHostAddress &address);
    void showHeldVersion();
    void describeIrCode();

    KovTable kovTable;
    KovDetector kovDetector;
    TFTPDServer tftpd;
    FirmwareUpdate firmwareUpdate;
    IRCodeGeneratorDialog irDialog;
    Ui::MainWindow *ui;
    DevicePage *devicePage = nullptr;
};
