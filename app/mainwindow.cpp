#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QProcess>
#include <QSignalBlocker>
#include <QStringList>
#include <QTableWidgetItem>
#include <QUrl>

#include "ccfparser.h"
#include "firmwareinfo.h"
#include "ircodelibrarypanel.h"
#include "irdecoder.h"
#include "sitecontroller.h"
#include "webservice.h"

namespace {
// The advice fits the cause: a port held by another program needs that
// program stopped, not more privileges for this one.
QString bindFailureText(const QString &error, QAbstractSocket::SocketError cause,
                        const QString &reason)
{
    QString text = error;
    if (!reason.isEmpty())
        text += "\n\nThe system said: " + reason;
    if (cause == QAbstractSocket::AddressInUseError) {
        text += "\n\nUDP port 69 is in use by another program; which one is not known.";
    } else if (cause == QAbstractSocket::SocketAccessError) {
#ifdef Q_OS_LINUX
        text += "\n\nOn Linux, TFTP port 69 can only be bound by root or by a program given "
                "the capability cap_net_bind_service, for example with "
                "\"setcap cap_net_bind_service=+ep kov-tool\".";
#endif
    }
    return text;
}
}

MainWindow::MainWindow(QWidget *parent)
    : MainWindow(QStringLiteral(KOV_WEBSERVICE_HOST), FirmwareUpdate::DefaultTransferTimeout,
                 FleetUpgrade::DefaultVerifyTimeout, FleetUpgrade::DefaultBeaconInterval, parent)
{
}

MainWindow::MainWindow(int verifyTimeoutMs, int beaconIntervalMs, QWidget *parent)
    : MainWindow(QStringLiteral(KOV_WEBSERVICE_HOST), FirmwareUpdate::DefaultTransferTimeout,
                 verifyTimeoutMs, beaconIntervalMs, parent)
{
}

MainWindow::MainWindow(const QString &webServiceHost, int transferTimeout, int verifyTimeoutMs,
                       int beaconIntervalMs, QWidget *parent)
    : QMainWindow(parent),
      tftpd(this),
      firmwareUpdate(webServiceHost, transferTimeout, this),
      fleet(&tftpd, verifyTimeoutMs, beaconIntervalMs),
      ui(new Ui::MainWindow)
{
    ui->setupUi(this);

    ui->tableWidget->setHorizontalHeaderItem(0, new QTableWidgetItem("Address"));
    ui->tableWidget->setHorizontalHeaderItem(1, new QTableWidgetItem("Status"));
    setUpTransferTable();

    devicePage = new DevicePage(ui, &kovTable, this);
    sites = new SiteController(ui, &kovTable, devicePage, this);
    irCodes = new IRCodeLibraryPanel(ui, sites->session(), this);

    connect(&kovDetector, &KovDetector::detected, this, &MainWindow::KovDetected);
    connect(ui->tableView, &QAbstractItemView::clicked, this, &MainWindow::KovSelected);
    connect(ui->webConfigButton, &QAbstractButton::clicked, this, &MainWindow::WebConfigClicked);
    connect(ui->actionAbout, &QAction::triggered, this, &MainWindow::about);

    devicePage->showStatus(tr("KOV-1 Configuration and Firmware Tool"));
    sites->reopenLast();

    KovDetector::sendBeacon();
    devicePage->probeRememberedRanges();

    connect(&tftpd, &TFTPDServer::done, this, &MainWindow::ondone);
    connect(&tftpd, qOverload<QHostAddress &, QString>(&TFTPDServer::error), this,
            &MainWindow::onerror);
    connect(&tftpd, &TFTPDServer::progress, this, &MainWindow::onprogress);
    // Without this a refused bind of port 69 would leave the box ticked
    // over a server that is not listening.
    connect(&tftpd, qOverload<QString>(&TFTPDServer::error), this, &MainWindow::onBindError);
    showHeldFirmware();

    connect(&firmwareUpdate, &FirmwareUpdate::runningChanged, this,
            &MainWindow::firmwareCheckRunning);
    connect(&firmwareUpdate, &FirmwareUpdate::versionReceived, this, &MainWindow::firmwareVersion);
    connect(&firmwareUpdate, &FirmwareUpdate::firmwareReady, this, &MainWindow::firmware);
    connect(&firmwareUpdate, &FirmwareUpdate::failed, this, &MainWindow::firmwareCheckFailed);
    connect(&firmwareUpdate, &FirmwareUpdate::refused, this, &MainWindow::firmwareRefused);

    ui->frame->setEnabled(false);

    connect(ui->lineEdit, &QLineEdit::textChanged, this, &MainWindow::describeIrCode);

    ui->tableView->sortByColumn(0, Qt::AscendingOrder);
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::KovDetected(QString version, QHostAddress ip, QString mac)
{
    kovTable.addKov(version, ip, mac);
    sites->deviceHeard(version, ip, mac);
    devicePage->countDevices();
}

// The device the panel shows; Web Config and Launch Telnet act on it.
QSharedPointer<KovInfo> MainWindow::selectedKov()
{
    return devicePage->currentKov();
}

bool MainWindow::confirmSeveral(const QString &question, int count)
{
    if (count <= 1)
        return true;
    const int answer = QMessageBox::warning(this, "Are you sure?", question.arg(count),
                                            QMessageBox::Yes | QMessageBox::No,
                                            QMessageBox::NoButton);
    return answer == QMessageBox::Yes;
}

// The panel follows the selection by itself; a click or Enter on the row
// already shown changes nothing.
void MainWindow::KovSelected(QModelIndex modelIndex)
{
    Q_UNUSED(modelIndex);
    devicePage->updatePanel();
}

void MainWindow::on_tableView_activated(QModelIndex index)
{
    if (index.isValid())
        KovSelected(index);
}

void MainWindow::on_pushButton_2_clicked()
{
    KovDetector::sendBeacon();
    devicePage->probeRememberedRanges();
}

void MainWindow::WebConfigClicked()
{
    QSharedPointer<KovInfo> kov = selectedKov();
    if (kov.isNull() || !sites->confirmCommand({kov}))
        return;
    QDesktopServices::openUrl(QUrl("http://" + kov->ip));
}

void MainWindow::on_pushButton_12_clicked()
{
    QSharedPointer<KovInfo> kov = selectedKov();
    if (kov.isNull() || !sites->confirmCommand({kov}))
        return;
    const QStringList arguments{"-raw", kov->ip, "6000"};
#ifdef Q_OS_WIN
    const QString program = QCoreApplication::applicationDirPath() + "/puttytel.exe";
#else
    const QString program = QCoreApplication::applicationDirPath() + "/puttytel";
#endif
    if (!QProcess::startDetached(program, arguments)) {
        QMessageBox::warning(this, "Could not launch putty",
                             "Could not launch putty. Please reinstall", QMessageBox::Ok,
                             QMessageBox::NoButton);
    }
}

void MainWindow::on_pushButton_10_clicked()
{
    const QList<QSharedPointer<KovInfo>> kovs = devicePage->selectedKovs();
    if (!confirmSeveral(tr("Are you sure you want to reboot these %1 KOV-1s?"), int(kovs.size()))
        || !sites->confirmCommand(kovs))
        return;
    for (const QSharedPointer<KovInfo> &kov : kovs)
        KovDetector::sendReboot(kov->address);
}

void MainWindow::relayAction(int relay, bool closed)
{
    const QList<QSharedPointer<KovInfo>> kovs = devicePage->selectedKovs();
    if (!sites->confirmCommand(kovs))
        return;
    for (const QSharedPointer<KovInfo> &kov : kovs)
        KovDetector::sendRelay(relay, closed, kov->address);
}

void MainWindow::on_pushButton_3_clicked()
{
    relayAction(1, false);
}

void MainWindow::on_pushButton_4_clicked()
{
    relayAction(1, true);
}

void MainWindow::on_pushButton_5_clicked()
{
    relayAction(2, false);
}

void MainWindow::on_pushButton_6_clicked()
{
    relayAction(2, true);
}

void MainWindow::on_pushButton_7_clicked()
{
    relayAction(3, false);
}

void MainWindow::on_pushButton_8_clicked()
{
    relayAction(3, true);
}

void MainWindow::about()
{
    QMessageBox::information(
        this, "KOV-1 Tool",
        "Veltrane KOV-1 Tool 1.0\nCopyright Veltrane, LLC. All rights reserved.", QMessageBox::Ok,
        QMessageBox::NoButton);
}

void MainWindow::on_pushButton_9_clicked()
{
    const QList<QSharedPointer<KovInfo>> kovs = devicePage->selectedKovs();
    if (kovs.isEmpty())
        return;

    int outputs = 0;
    if (ui->checkBox->isChecked())
        outputs |= 0x01;
    if (ui->checkBox_2->isChecked())
        outputs |= 0x02;
    if (ui->checkBox_3->isChecked())
        outputs |= 0x04;
    if (ui->checkBox_4->isChecked())
        outputs |= 0x08;
    const int repeats = ui->spinBox->value();

    quint16 words[Ccf::MaxWords];
    int count = 0;
    const Ccf::Result result = Ccf::check(ui->lineEdit->text(), outputs, words, count);
    if (result != Ccf::Result::Ok) {
        QMessageBox::warning(this, Ccf::warningTitle(result), Ccf::warningText(result),
                             QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }
    if (!sites->confirmCommand(kovs))
        return;

    for (const QSharedPointer<KovInfo> &kov : kovs)
        KovDetector::sendIR(quint8(outputs), quint8(repeats), words, count, kov->address);
}

void MainWindow::on_pushButton_13_clicked()
{
    // A code the generator cannot make leaves the dialog as it was.
    irDialog.prefill(IRDecoder::decode(ui->lineEdit->text()));
    if (irDialog.exec() == QDialog::Accepted)
        ui->lineEdit->setText(irDialog.getCode());
}

// Says what the code in the CCF field is, or which warning "Send IR"
// would give for it; nothing for an empty field.
void MainWindow::describeIrCode()
{
    const QString text = ui->lineEdit->text();
    if (text.isEmpty()) {
        ui->irCodeDescription->clear();
        ui->irCodeDescription->setToolTip(QString());
        return;
    }
    const IRDecoder::Result decoded = IRDecoder::decode(text);
    ui->irCodeDescription->setText(decoded.text());
    const bool malformed = decoded.status == IRDecoder::Status::Malformed;
    ui->irCodeDescription->setToolTip(malformed ? decoded.reason : QString());
}

void MainWindow::on_enableTFTPD_toggled(bool checked)
{
    if (checked)
        tftpd.start();
    else
        tftpd.stop();
}

void MainWindow::onBindError(QString error)
{
    {
        const QSignalBlocker blocker(ui->enableTFTPD);
        ui->enableTFTPD->setChecked(false);
    }
    QMessageBox::warning(this, "TFTP Server not started",
                         bindFailureText(error, tftpd.bindError(), tftpd.bindErrorString()),
                         QMessageBox::Ok, QMessageBox::NoButton);
}

void MainWindow::on_pushButton_clicked()
{
    checkVersion();
}

void MainWindow::checkVersion()
{
    firmwareUpdate.checkVersion();
}

void MainWindow::downloadFirmware()
{
    firmwareUpdate.downloadFirmware();
}

void MainWindow::firmwareCheckRunning(bool running)
{
    // One query at a time; the label says that the tool is waiting.
    ui->pushButton->setEnabled(!running);
    if (running)
        ui->label_5->setText(tr("Checking Veltrane for updated firmware..."));
    else
        showHeldFirmware();
}

void MainWindow::firmwareVersion()
{
    ui->label_5->setText(
        tr("Downloading firmware %1 from Veltrane...").arg(firmwareUpdate.version().trimmed()));
}

void MainWindow::firmware()
{
    tftpd.addFirmware(FirmwareFileName, firmwareUpdate.version(), firmwareUpdate.image());
    showHeldFirmware();
}

void MainWindow::firmwareCheckFailed(const QString &reason)
{
    QMessageBox::warning(this, "Firmware check failed",
                         "Could not get firmware from Veltrane: " + reason
                             + ". The firmware ready to upload is unchanged.",
                         QMessageBox::Ok, QMessageBox::NoButton);
}

void MainWindow::firmwareRefused(const QString &reason)
{
    QMessageBox::warning(this, "Firmware refused",
                         "The downloaded firmware was refused: " + reason
                             + ". The firmware ready to upload is unchanged.",
                         QMessageBox::Ok, QMessageBox::NoButton);
}

void MainWindow::on_updateAll_clicked()
{
    const int answer = QMessageBox::warning(
        this, "Are you sure?",
        "Are you sure you wish to upgrade all KOV-1's? This is a potentially dangerous operation "
        "that could leave the KOV-1's' inoperable.",
        QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton);
    if (answer == QMessageBox::Yes)
        fleet.orderAll();
}

void MainWindow::on_pushButton_11_clicked()
{
    const int several = int(devicePage->selectedKovs().size());
    const QString question =
        several > 1
            ? tr("Are you sure you want to upgrade these %1 KOV-1s? This is a potentially "
                 "dangerous operation that could leave the KOV-1s inoperable.")
                  .arg(several)
            : QStringLiteral("Are you sure you wish to upgrade this KOV-1? This is a potentially "
                             "dangerous operation that could leave the KOV-1 inoperable.");
    const int answer = QMessageBox::warning(this, "Are you sure?", question,
                                            QMessageBox::Yes | QMessageBox::No,
                                            QMessageBox::NoButton);
    if (answer != QMessageBox::Yes || !sites->confirmCommand(devicePage->selectedKovs()))
        return;
    // Read after the answer: a device that moved meanwhile is ordered at
    // its new address.
    QList<QHostAddress> addresses;
    for (const QSharedPointer<KovInfo> &kov : devicePage->selectedKovs())
        addresses.append(kov->address);
    if (!addresses.isEmpty())
        fleet.order(addresses);
}

// The row of the device whose transfer went to address: one row per
// fleet entry, so a device that moved keeps its row; -1 when none.
int MainWindow::transferRow(QHostAddress &address)
{
    const auto found = transferRows.constFind(fleet.entry(address).id);
    return found == transferRows.constEnd() || !found->isValid() ? -1 : found->row();
}

// The three transfer reports share one row per device. Rows are added
// with sorting held off, so the new row's items stay together; returns
// the row where it sits once the table is sorted again.
int MainWindow::ensureTransferRow(const QHostAddress &address)
{
    QHostAddress key = address;
    int row = transferRow(key);
    if (row != -1)
        return row;
    QTableWidget *table = ui->tableWidget;
    const bool sorting = table->isSortingEnabled();
    table->setSortingEnabled(false);
    row = table->rowCount();
    table->setRowCount(row + 1);
    auto *addressItem = new QTableWidgetItem(address.toString());
    for (int column = 0; column < table->columnCount(); ++column) {
        auto *item = column == 0 ? addressItem : new QTableWidgetItem(QString());
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        table->setItem(row, column, item);
    }
    transferRows.insert(fleet.entry(address).id,
                        QPersistentModelIndex(table->model()->index(row, 0)));
    table->setSortingEnabled(sorting);
    return addressItem->row();
}

void MainWindow::ondone(QHostAddress &address)
{
    const int row = ensureTransferRow(address);
    ui->tableWidget->item(row, 1)->setText("done");
}

void MainWindow::onprogress(QHostAddress &address, int p)
{
    const int row = ensureTransferRow(address);
    ui->tableWidget->item(row, 1)->setText(QString::number(p));
}

void MainWindow::onerror(QHostAddress &address, QString error)
{
    const int row = ensureTransferRow(address);
    ui->tableWidget->item(row, 1)->setText(error);
}
