// MainWindow's part in upgrade rounds: the transfer table's Result column
// and progress bars, the summary line, "Retry failed", and serving a
// firmware file the user opens. The round logic itself is FleetUpgrade's.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTableWidgetItem>

#include "intelhex.h"
#include "progressbardelegate.h"
#include "tftppacket.h"

void MainWindow::setUpTransferTable()
{
    QTableWidget *table = ui->tableWidget;
    table->setHorizontalHeaderItem(2, new QTableWidgetItem(tr("Result")));
    table->setItemDelegateForColumn(1, new ProgressBarDelegate(table));
    // Rows stay in the order they came until the user sorts by a column.
    table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table->setSortingEnabled(true);

    fleet.setMacLookup([this](const QHostAddress &address) { return macOf(address); });
    connect(&kovDetector, &KovDetector::detected, &fleet, &FleetUpgrade::deviceDetected);
    connect(&fleet, &FleetUpgrade::entryChanged, this, &MainWindow::showUpgradeEntry);
    connect(&fleet, &FleetUpgrade::summaryChanged, ui->upgradeSummary, &QLabel::setText);
    ui->upgradeSummary->setText(fleet.summary());
    ui->actionOpenFirmware->setShortcut(QKeySequence::Open);
}

QString MainWindow::macOf(const QHostAddress &address)
{
    for (int row = 0; row < kovTable.rowCount(); ++row) {
        const QSharedPointer<KovInfo> kov = kovTable.getKov(kovTable.index(row, 0));
        if (kov && kov->address.isEqual(address, QHostAddress::TolerantConversion))
            return kov->mac;
    }
    return QString();
}

void MainWindow::showHeldFirmware()
{
    const QString version = tftpd.getVersion(FirmwareFileName);
    ui->label_5->setText(VersionLabel + version);
    fleet.setServedVersion(version);
}

void MainWindow::showUpgradeEntry(const QHostAddress &address)
{
    const FleetUpgrade::Entry entry = fleet.entry(address);
    const int row = ensureTransferRow(address);
    // A device that came back elsewhere: its row follows it.
    ui->tableWidget->item(row, 0)->setText(entry.address.toString());
    QTableWidgetItem *status = ui->tableWidget->item(row, 1);
    QTableWidgetItem *result = ui->tableWidget->item(row, 2);
    status->setData(ProgressBarDelegate::ProgressRole, entry.progress);
    result->setText(entry.resultText());
    ui->retryFailedButton->setEnabled(fleet.hasFailed());
}

void MainWindow::on_retryFailedButton_clicked()
{
    fleet.retryFailed();
    ui->retryFailedButton->setEnabled(fleet.hasFailed());
}

void MainWindow::on_openFirmwareButton_clicked()
{
    openFirmwareFile();
}

void MainWindow::on_actionOpenFirmware_triggered()
{
    openFirmwareFile();
}

void MainWindow::openFirmwareFile()
{
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Open firmware file"), QString(),
        tr("Intel HEX firmware (*.hex);;All files (*)"));
    if (path.isEmpty())
        return;
    const QString name = QFileInfo(path).fileName();
    const QString unchanged = QStringLiteral(" The firmware ready to upload is unchanged.");

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        QMessageBox::warning(this, "Firmware not opened",
                             "Could not open " + name + ": " + file.errorString() + "."
                                 + unchanged,
                             QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }
    // Checked as a download is; a file past the limit is not read whole.
    const QByteArray bytes = file.read(Tftp::MaxImageSize);
    QString problem = file.atEnd()
                          ? IntelHex::problem(bytes)
                          : QStringLiteral("file too large to serve by TFTP (%1 bytes, limit %2)")
                                .arg(file.size())
                                .arg(Tftp::MaxImageSize - 1);
    if (!problem.isEmpty()) {
        while (problem.endsWith('.'))
            problem.chop(1);
        QMessageBox::warning(this, "Firmware refused",
                             name + " was refused: " + problem + "." + unchanged, QMessageBox::Ok,
                             QMessageBox::NoButton);
        return;
    }

    static const QRegularExpression versionInName(QStringLiteral("^KOV_rev7_(.+)\\.hex$"));
    const QRegularExpressionMatch match = versionInName.match(name);
    QString version = match.hasMatch() ? match.captured(1).trimmed() : QString();
    if (version.isEmpty()) {
        bool ok = false;
        version = QInputDialog::getText(this, tr("Firmware version"),
                                        tr("Version of the firmware in %1:").arg(name),
                                        QLineEdit::Normal, QString(), &ok)
                      .trimmed();
        if (!ok || version.isEmpty())
            return;
    }
    tftpd.addFirmware(FirmwareFileName, version, bytes);
    showHeldFirmware();
}
