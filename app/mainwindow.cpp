#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QSignalBlocker>
#include <QStringList>
#include <QTableWidgetItem>
#include <QUrl>

#include "ccfparser.h"
#include "intelhex.h"
#include "irdecoder.h"
#include "webservice.h"

MainWindow::MainWindow(QWidget *parent)
    : MainWindow(FleetUpgrade::DefaultVerifyTimeout, FleetUpgrade::DefaultBeaconInterval, parent)
{
}

MainWindow::MainWindow(int verifyTimeoutMs, int beaconIntervalMs, QWidget *parent)
    : QMainWindow(parent),
      fleet(&tftpd, verifyTimeoutMs, beaconIntervalMs),
      ui(new Ui::MainWindow),
      webServiceHost(QStringLiteral(KOV_WEBSERVICE_HOST))
{
    ui->setupUi(this);

    ui->tableWidget->setHorizontalHeaderItem(0, new QTableWidgetItem("Address"));
    ui->tableWidget->setHorizontalHeaderItem(1, new QTableWidgetItem("Status"));
    setUpTransferTable();

    ui->tableView->setModel(&kovTable);

    connect(&kovDetector, SIGNAL(detected(QString,QHostAddress,QString)),
            this, SLOT(KovDetected(QString,QHostAddress,QString)));
    connect(ui->tableView, SIGNAL(clicked(QModelIndex)), this, SLOT(KovSelected(QModelIndex)));
    connect(ui->webConfigButton, SIGNAL(clicked()), this, SLOT(WebConfigClicked()));
    connect(ui->actionAbout, SIGNAL(triggered()), this, SLOT(about()));

    ui->statusBar->showMessage(tr("KOV-1 Configuration and Firmware Tool"), 0);

    KovDetector::sendBeacon();

    connect(&tftpd, SIGNAL(done(QHostAddress&)), this, SLOT(ondone(QHostAddress&)));
    connect(&tftpd, SIGNAL(error(QHostAddress&,QString)), this, SLOT(onerror(QHostAddress&,QString)));
    connect(&tftpd, SIGNAL(progress(QHostAddress&,int)), this, SLOT(onprogress(QHostAddress&,int)));
    // Without this a refused bind of port 69 would leave the box ticked
    // over a server that is not listening.
    connect(&tftpd, SIGNAL(error(QString)), this, SLOT(onBindError(QString)));
    showHeldFirmware();

    ui->frame->setEnabled(false);

    connect(ui->lineEdit, &QLineEdit::textChanged, this, &MainWindow::describeIrCode);

    ui->tableView->sortByColumn(0, Qt::AscendingOrder);
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::setWebServiceHostForTesting(const QString &hostAndPort)
{
    webServiceHost = hostAndPort;
}

void MainWindow::KovDetected(QString version, QHostAddress ip, QString mac)
{
    kovTable.addKov(version, ip, mac);
    const QString text = tr("We have %1 live out of a total of %2 KOV-1(s) seen.")
                             .arg(kovTable.liveCount())
                             .arg(kovTable.totalCount());
    ui->statusBar->showMessage(text, 0);
}

QSharedPointer<KovInfo> MainWindow::selectedKov()
{
    QItemSelectionModel *selection = ui->tableView->selectionModel();
    if (!selection || !selection->hasSelection())
        return QSharedPointer<KovInfo>();
    return kovTable.getKov(selection->currentIndex());
}

void MainWindow::KovSelected(QModelIndex modelIndex)
{
    QSharedPointer<KovInfo> kov = kovTable.getKov(modelIndex);
    if (kov.isNull())
        return;
    ui->ipAddress->setText(kov->ip);
    ui->macAddress->setText(kov->mac);
    ui->frame->setEnabled(true);
}

void MainWindow::on_tableView_activated(QModelIndex index)
{
    if (index.isValid())
        KovSelected(index);
}

void MainWindow::on_pushButton_2_clicked()
{
    KovDetector::sendBeacon();
}

void MainWindow::WebConfigClicked()
{
    QSharedPointer<KovInfo> kov = selectedKov();
    if (kov.isNull())
        return;
    QDesktopServices::openUrl(QUrl("http://" + kov->ip));
}

void MainWindow::on_pushButton_12_clicked()
{
    QSharedPointer<KovInfo> kov = selectedKov();
    if (kov.isNull())
        return;
    const QStringList arguments{"-raw", kov->ip, "6000"};
#ifdef Q_OS_WIN
    const QString program = QCoreApplication::applicationDirPath() + "/puttytel.exe";
#else
    const QString program = QCoreApplication::applicationDirPath() + "/puttytel";
#endif
    if (!QProcess::startDetached(program, arguments)) {
        QMessageBox::warning(this, "Could not launch putty", "Could not launch putty. Please reinstall",
                             QMessageBox::Ok, QMessageBox::NoButton);
    }
}

void MainWindow::on_pushButton_10_clicked()
{
    QSharedPointer<KovInfo> kov = selectedKov();
    if (kov.isNull())
        return;
    KovDetector::sendReboot(kov->address);
}

void MainWindow::relayAction(int relay, bool closed)
{
    QSharedPointer<KovInfo> kov = selectedKov();
    if (kov.isNull())
        return;
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
    QMessageBox::information(this, "KOV-1 Tool",
                             "Veltrane KOV-1 Tool 1.0\nCopyright Veltrane, LLC. All rights reserved.",
                             QMessageBox::Ok, QMessageBox::NoButton);
}

void MainWindow::on_pushButton_9_clicked()
{
    QSharedPointer<KovInfo> kov = selectedKov();
    if (kov.isNull())
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
    QString text = error;
    const QString reason = tftpd.bindErrorString();
    if (!reason.isEmpty())
        text += "\n\nThe system said: " + reason;
#ifdef Q_OS_LINUX
    text += "\n\nOn Linux, TFTP port 69 can only be bound by root or by a program given "
            "the capability cap_net_bind_service, for example with "
            "\"setcap cap_net_bind_service=+ep kov-tool\".";
#endif
    QMessageBox::warning(this, "TFTP Server not started", text, QMessageBox::Ok,
                         QMessageBox::NoButton);
}

QUrl MainWindow::webServiceUrl(const QString &query) const
{
    return QUrl("http://" + webServiceHost + "/webservice/kov-1-rev7.php?" + query);
}

void MainWindow::on_pushButton_clicked()
{
    checkVersion();
}

void MainWindow::checkVersion()
{
    versionReply = networkManager.get(QNetworkRequest(webServiceUrl("o=version")));
    connect(versionReply, SIGNAL(finished()), this, SLOT(firmwareVersion()));
}

void MainWindow::firmwareVersion()
{
    // A reply that a newer query has replaced is dropped when it ends; only
    // the held reply, once finished, is read.
    auto *finishedReply = qobject_cast<QNetworkReply *>(sender());
    if (finishedReply && finishedReply != versionReply) {
        finishedReply->deleteLater();
        return;
    }
    if (!versionReply || !versionReply->isFinished())
        return;
    if (versionReply->error() != QNetworkReply::NoError) {
        versionReply->deleteLater();
        versionReply = nullptr;
        return;
    }
    webVersion = QString::fromLatin1(versionReply->readAll());
    versionReply->deleteLater();
    versionReply = nullptr;
    downloadFirmware();
}

void MainWindow::downloadFirmware()
{
    firmwareReply = networkManager.get(QNetworkRequest(webServiceUrl("o=download")));
    connect(firmwareReply, SIGNAL(finished()), this, SLOT(firmware()));
}

void MainWindow::firmware()
{
    auto *finishedReply = qobject_cast<QNetworkReply *>(sender());
    if (finishedReply && finishedReply != firmwareReply) {
        finishedReply->deleteLater();
        return;
    }
    if (!firmwareReply || !firmwareReply->isFinished())
        return;
    if (firmwareReply->error() != QNetworkReply::NoError) {
        firmwareReply->deleteLater();
        firmwareReply = nullptr;
        return;
    }
    const QByteArray body = firmwareReply->readAll();
    firmwareReply->deleteLater();
    firmwareReply = nullptr;

    // A device flashed with a page of HTML or a cut-off image may never
    // boot again, so only a well-formed image replaces the one held.
    QString problem = IntelHex::problem(body);
    if (!problem.isEmpty()) {
        while (problem.endsWith('.'))
            problem.chop(1);
        QMessageBox::warning(this, "Firmware refused",
                             "The downloaded firmware was refused: " + problem
                                 + ". The firmware ready to upload is unchanged.",
                             QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }

    tftpd.addFirmware(FirmwareName, webVersion, body);
    showHeldFirmware();
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
    const int answer = QMessageBox::warning(
        this, "Are you sure?",
        "Are you sure you wish to upgrade this KOV-1? This is a potentially dangerous operation "
        "that could leave the KOV-1 inoperable.",
        QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton);
    if (answer != QMessageBox::Yes)
        return;
    QSharedPointer<KovInfo> kov = selectedKov();
    if (kov.isNull())
        return;
    fleet.order({kov->address});
}

int MainWindow::transferRow(QHostAddress &address)
{
    const QString text = address.toString();
    for (int row = 0; row < ui->tableWidget->rowCount(); ++row) {
        QTableWidgetItem *item = ui->tableWidget->item(row, 0);
        if (item && item->text() == text)
            return row;
    }
    return -1;
}

// The three transfer reports share one row per device address. Rows
// are added with sorting held off, so the new row's items stay together;
// returns the row where it sits once the table is sorted again.
int MainWindow::ensureTransferRow(QTableWidget *table, int row, const QHostAddress &address)
{
    if (row != -1)
        return row;
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
    table->setSortingEnabled(sorting);
    return addressItem->row();
}

void MainWindow::ondone(QHostAddress &address)
{
    const int row = ensureTransferRow(ui->tableWidget, transferRow(address), address);
    ui->tableWidget->item(row, 1)->setText("done");
}

void MainWindow::onprogress(QHostAddress &address, int p)
{
    const int row = ensureTransferRow(ui->tableWidget, transferRow(address), address);
    ui->tableWidget->item(row, 1)->setText(QString::number(p));
}

void MainWindow::onerror(QHostAddress &address, QString error)
{
    const int row = ensureTransferRow(ui->tableWidget, transferRow(address), address);
    ui->tableWidget->item(row, 1)->setText(error);
}
