#include "ircodelibrarypanel.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "irimportdialog.h"
#include "irlibrary.h"
#include "saveircodedialog.h"
#include "sitesession.h"

namespace {

// The code's index in the site's list, kept on its tree item.
constexpr int IndexRole = Qt::UserRole;

}

IRCodeLibraryPanel::IRCodeLibraryPanel(Ui::MainWindow *ui, SiteSession *session, QWidget *window)
    : QWidget(window), ui(ui), session(session), window(window)
{
    setObjectName("irCodeLibraryPanel");
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *label = new QLabel(tr("Site codes"), this);
    label->setObjectName("irCodeTreeLabel");
    codeTree = new QTreeWidget(this);
    codeTree->setObjectName("irCodeTree");
    codeTree->setColumnCount(2);
    codeTree->setHeaderLabels({tr("Code"), tr("Protocol")});
    codeTree->setMaximumHeight(140);
    label->setBuddy(codeTree);
    saveButton = new QPushButton(tr("Save code…"), this);
    saveButton->setObjectName("saveIrCodeButton");
    layout->addWidget(label);
    layout->addWidget(codeTree);
    layout->addWidget(saveButton, 0, Qt::AlignRight);

    // Between "Repeats" and "CCF" in the IR panel's grid.
    if (auto *grid = qobject_cast<QGridLayout *>(ui->pushButton_9->parentWidget()->layout()))
        grid->addWidget(this, 34, 0, 1, 2);

    importAction = new QAction(tr("Import IR codes…"), window);
    importAction->setObjectName("actionImportIrCodes");
    QMenu *fileMenu = ui->menuVeltrane_KOV_1_Toolkit;
    const QList<QAction *> actions = fileMenu->actions();
    QAction *before = actions.value(0);
    for (int i = 0; i < actions.size(); ++i) {
        if (actions.at(i)->objectName() == QLatin1String("actionImportDevices"))
            before = actions.value(i + 1);
    }
    fileMenu->insertAction(before, importAction);

    connect(codeTree, &QTreeWidget::itemActivated, this, &IRCodeLibraryPanel::pick);
    connect(codeTree, &QTreeWidget::currentItemChanged, this, &IRCodeLibraryPanel::pick);
    connect(saveButton, &QPushButton::clicked, this, &IRCodeLibraryPanel::saveCode);
    connect(importAction, &QAction::triggered, this, &IRCodeLibraryPanel::chooseImport);
    connect(session, &SiteSession::opened, this, &IRCodeLibraryPanel::refill);
    connect(session, &SiteSession::closed, this, &IRCodeLibraryPanel::refill);
    connect(session, &SiteSession::changed, this, &IRCodeLibraryPanel::refill);
    refill();
}

void IRCodeLibraryPanel::refill()
{
    const bool open = session->isOpen();
    setVisible(open);
    importAction->setEnabled(open);
    QString current;
    if (QTreeWidgetItem *item = codeTree->currentItem())
        current = item->data(0, IndexRole).toString();
    const QSignalBlocker blocker(codeTree);
    codeTree->clear();
    if (!open)
        return;
    const Site &site = session->site();
    for (const QString &equipment : site.equipment()) {
        auto *group = new QTreeWidgetItem(codeTree, {equipment});
        group->setFlags(Qt::ItemIsEnabled);
        for (int i = 0; i < site.irCodes.size(); ++i) {
            const SiteIrCode &code = site.irCodes.at(i);
            if (code.equipment.compare(equipment, Qt::CaseInsensitive))
                continue;
            auto *item = new QTreeWidgetItem(group,
                                             {code.name, code.protocol.isEmpty() ? tr("Pronto")
                                                                                 : code.protocol});
            item->setData(0, IndexRole, code.equipment + QLatin1Char('/') + code.name);
            item->setToolTip(0, IRLibrary::describe(code));
            if (item->data(0, IndexRole).toString() == current)
                codeTree->setCurrentItem(item);
        }
    }
    codeTree->expandAll();
    codeTree->resizeColumnToContents(0);
}

void IRCodeLibraryPanel::pick(QTreeWidgetItem *item)
{
    if (!item || !session->isOpen())
        return;
    const int index = IRLibrary::find(session->site(), item->data(0, IndexRole).toString());
    if (index < 0)
        return;
    const SiteIrCode &code = session->site().irCodes.at(index);
    QString ccf, error;
    if (!IRLibrary::pronto(code, &ccf, &error)) {
        QMessageBox::warning(window, tr("IR code"), error);
        return;
    }
    ui->lineEdit->setText(ccf);
    if (!code.ports.isEmpty()) {
        QCheckBox *boxes[] = {ui->checkBox, ui->checkBox_2, ui->checkBox_3, ui->checkBox_4};
        for (int port = 1; port <= 4; ++port)
            boxes[port - 1]->setChecked(code.ports.contains(port));
    }
}

QList<int> IRCodeLibraryPanel::tickedPorts() const
{
    QList<int> ports;
    const QCheckBox *boxes[] = {ui->checkBox, ui->checkBox_2, ui->checkBox_3, ui->checkBox_4};
    for (int port = 1; port <= 4; ++port) {
        if (boxes[port - 1]->isChecked())
            ports << port;
    }
    return ports;
}

void IRCodeLibraryPanel::saveCode()
{
    if (!session->isOpen())
        return;
    SiteIrCode code;
    QString error;
    if (!IRLibrary::fromCcf(ui->lineEdit->text(), QString(), QString(), {}, &code, &error)) {
        QMessageBox::warning(window, tr("Save code"), error);
        return;
    }
    QString equipment;
    if (QTreeWidgetItem *item = codeTree->currentItem())
        equipment = (item->parent() ? item->parent() : item)->text(0);
    SaveIrCodeDialog dialog(session->site(), code, equipment, tickedPorts(), window);
    if (dialog.exec() != QDialog::Accepted)
        return;
    session->replaceSite(dialog.result());
}

void IRCodeLibraryPanel::chooseImport()
{
    const QString path = QFileDialog::getOpenFileName(
        window, tr("Import IR codes"), QString(),
        tr("IR code files (*.csv *.conf *.lircd *.ir *.txt);;All files (*)"));
    if (!path.isEmpty())
        importCodes(path);
}

bool IRCodeLibraryPanel::importCodes(const QString &path, bool ask)
{
    if (!session->isOpen())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        QMessageBox::warning(window, tr("Import IR codes"),
                             tr("%1: %2").arg(path, file.errorString()));
        return false;
    }
    IRImportDialog dialog(session->site(), file.readAll(), path, window);
    if (!dialog.isReadable()) {
        QMessageBox::warning(window, tr("Import IR codes"), dialog.errorText());
        return false;
    }
    if (ask && dialog.exec() != QDialog::Accepted)
        return false;
    if (dialog.takenCount() == 0)
        return false;
    session->replaceSite(dialog.result());
    return true;
}
