#include "devicepage.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QSettings>
#include <QStatusTipEvent>
#include <algorithm>

#include "devicelistcsv.h"
#include "finddevicesdialog.h"
#include "kovtable.h"
#include "kovtableproxy.h"
#include "sitesession.h"

namespace {
// An empty row of the panel's form, between the MAC address and the
// buttons.
constexpr int SelectionCountRow = 7;
} // namespace

DevicePage::DevicePage(Ui::MainWindow *ui, KovTable *table, QMainWindow *window)
    : QObject(window), ui(ui), table(table), window(window), proxy(new KovTableProxy(table, this))
{
    setObjectName("devicePage");
    QTableView *view = ui->tableView;
    view->setModel(proxy);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);

    filterEdit = new QLineEdit(ui->widget_2);
    filterEdit->setObjectName("deviceFilter");
    filterEdit->setPlaceholderText(tr("Filter by MAC, IP or version"));
    filterEdit->setClearButtonEnabled(true);
    ui->verticalLayout->insertWidget(0, filterEdit);

    // The beacon button gets a neighbour: both go in a row of their own.
    findButton = new QPushButton(tr("Find devices at…"), ui->widget_2);
    findButton->setObjectName("findDevicesButton");
    ui->verticalLayout->removeWidget(ui->pushButton_2);
    auto *beaconRow = new QHBoxLayout;
    beaconRow->setObjectName("beaconRow");
    beaconRow->addWidget(ui->pushButton_2, 1);
    beaconRow->addWidget(findButton);
    ui->verticalLayout->addLayout(beaconRow);
    setTabOrderChain({filterEdit, view, ui->pushButton_2, findButton});

    selectionLabel = new QLabel(ui->frame);
    selectionLabel->setObjectName("selectionCount");
    selectionLabel->setWordWrap(true);
    selectionLabel->hide();
    ui->formLayout->setWidget(SelectionCountRow, QFormLayout::SpanningRole, selectionLabel);

    findAction = new QAction(tr("Find devices at…"), window);
    findAction->setObjectName("actionFindDevices");
    exportAction = new QAction(tr("Export device list…"), window);
    exportAction->setObjectName("actionExportDevices");
    QMenu *fileMenu = ui->menuVeltrane_KOV_1_Toolkit;
    fileMenu->insertAction(ui->actionExit, findAction);
    fileMenu->insertAction(ui->actionExit, exportAction);
    fileMenu->insertSeparator(ui->actionExit);
    auto *focusFilter = new QAction(window);
    focusFilter->setShortcut(QKeySequence::Find);
    window->addAction(focusFilter);
    connect(focusFilter, &QAction::triggered, filterEdit, [this] {
        filterEdit->setFocus(Qt::ShortcutFocusReason);
        filterEdit->selectAll();
    });

    connect(findButton, &QPushButton::clicked, this, &DevicePage::openFindDevices);
    connect(findAction, &QAction::triggered, this, &DevicePage::openFindDevices);
    connect(exportAction, &QAction::triggered, this, &DevicePage::openExport);
    connect(filterEdit, &QLineEdit::textChanged, this, [this](const QString &text) {
        proxy->setFilterText(text);
        if (this->table->rowCount() > 0)
            countDevices();
    });

    // Whatever moves the current row or the selection, or changes a shown
    // row, the panel follows.
    QItemSelectionModel *selection = view->selectionModel();
    connect(selection, &QItemSelectionModel::selectionChanged, this, &DevicePage::updatePanel);
    connect(selection, &QItemSelectionModel::currentChanged, this, &DevicePage::updatePanel);
    connect(proxy, &QAbstractItemModel::dataChanged, this, &DevicePage::updatePanel);
    connect(proxy, &QAbstractItemModel::layoutChanged, this, &DevicePage::updatePanel);
    connect(proxy, &QAbstractItemModel::modelReset, this, &DevicePage::updatePanel);
    connect(proxy, &QAbstractItemModel::rowsRemoved, this, &DevicePage::updatePanel);
    connect(proxy, &QAbstractItemModel::rowsInserted, this, &DevicePage::sizeMacColumn);

    window->installEventFilter(this);
}

DevicePage::~DevicePage() = default;

void DevicePage::setTabOrderChain(const QList<QWidget *> &widgets)
{
    for (int i = 1; i < widgets.size(); ++i)
        QWidget::setTabOrder(widgets.at(i - 1), widgets.at(i));
}

QList<QSharedPointer<KovInfo>> DevicePage::selectedKovs() const
{
    QModelIndexList rows = ui->tableView->selectionModel()->selectedRows(0);
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QList<QSharedPointer<KovInfo>> kovs;
    for (const QModelIndex &row : std::as_const(rows)) {
        if (QSharedPointer<KovInfo> kov = proxy->kovAt(row))
            kovs.append(kov);
    }
    return kovs;
}

QSharedPointer<KovInfo> DevicePage::currentKov() const
{
    QItemSelectionModel *selection = ui->tableView->selectionModel();
    const QModelIndex current = selection->currentIndex();
    if (current.isValid() && selection->isRowSelected(current.row(), QModelIndex()))
        return proxy->kovAt(current);
    const QList<QSharedPointer<KovInfo>> kovs = selectedKovs();
    return kovs.isEmpty() ? QSharedPointer<KovInfo>() : kovs.first();
}

void DevicePage::updatePanel()
{
    const QSharedPointer<KovInfo> kov = currentKov();
    if (!kov) {
        ui->ipAddress->clear();
        ui->macAddress->clear();
        selectionLabel->hide();
        ui->frame->setEnabled(false);
        return;
    }
    // Unchanged text is left alone, so a reply does not drop what the user
    // has selected in the fields.
    if (ui->ipAddress->text() != kov->ip)
        ui->ipAddress->setText(kov->ip);
    if (ui->macAddress->text() != kov->mac)
        ui->macAddress->setText(kov->mac);
    const int selected = int(ui->tableView->selectionModel()->selectedRows(0).size());
    selectionLabel->setText(tr("%1 devices selected; Web Config and Launch Telnet use the one "
                               "shown")
                                .arg(selected));
    selectionLabel->setVisible(selected > 1);
    ui->frame->setEnabled(true);
}

void DevicePage::showStatus(const QString &text)
{
    statusText = text;
    ui->statusBar->showMessage(text, 0);
}

void DevicePage::countDevices()
{
    QString text = tr("We have %1 live out of a total of %2 KOV-1(s) seen.")
                       .arg(table->liveCount())
                       .arg(table->totalCount());
    if (sites && sites->isOpen())
        text += tr(" %1 of the site's %2 devices missing.")
                    .arg(table->missingCount())
                    .arg(table->siteCount());
    if (!proxy->filterText().isEmpty())
        text += tr(" %1 shown").arg(proxy->rowCount());
    showStatus(text);
}

void DevicePage::setSiteOpen(bool open)
{
    filterEdit->setPlaceholderText(open ? tr("Filter by MAC, IP, version, name, location or notes")
                                        : tr("Filter by MAC, IP or version"));
}

bool DevicePage::eventFilter(QObject *watched, QEvent *event)
{
    // A menu item without a status tip sends an empty one on hover, which
    // would blank the count until the next reply: show the count instead.
    if (watched == window && event->type() == QEvent::StatusTip
        && static_cast<QStatusTipEvent *>(event)->tip().isEmpty()) {
        ui->statusBar->showMessage(statusText, 0);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void DevicePage::sizeMacColumn()
{
    if (macColumnSized)
        return;
    macColumnSized = true;
    // Once, for the first rows: a whole MAC, which the user may resize.
    QHeaderView *header = ui->tableView->horizontalHeader();
    const int before = header->sectionSize(0);
    ui->tableView->resizeColumnToContents(0);
    if (header->sectionSize(0) < before)
        header->resizeSection(0, before);
}

QStringList DevicePage::rememberedRanges() const
{
    if (sites && sites->isOpen())
        return sites->site().ranges;
    return QSettings().value(RangesKey).toStringList();
}

void DevicePage::setRememberedRanges(const QStringList &ranges)
{
    if (sites && sites->isOpen()) {
        sites->setRanges(ranges);
        return;
    }
    QSettings settings;
    if (ranges.isEmpty())
        settings.remove(RangesKey);
    else
        settings.setValue(RangesKey, ranges);
}

void DevicePage::probeRememberedRanges()
{
    QList<AddressRange> ranges;
    const QStringList texts = rememberedRanges();
    for (const QString &text : texts) {
        const AddressRange range = AddressRange::parse(text);
        if (range.isValid())
            ranges.append(range);
    }
    if (!ranges.isEmpty())
        probe.probe(ranges);
}

void DevicePage::findDevicesAt(const AddressRange &range)
{
    if (!range.isValid())
        return;
    QStringList ranges = rememberedRanges();
    if (!ranges.contains(range.text())) {
        ranges.append(range.text());
        setRememberedRanges(ranges);
    }
    probe.probe({range});
}

void DevicePage::openFindDevices()
{
    FindDevicesDialog dialog(rememberedRanges(), window);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    setRememberedRanges(dialog.remembered());
    if (accepted)
        findDevicesAt(dialog.range());
}

bool DevicePage::exportTo(const QString &path, QString *error) const
{
    return DeviceListCsv::save(path, proxy->shownRows(), error, table->hasSiteColumns());
}

void DevicePage::openExport()
{
    const QString path = QFileDialog::getSaveFileName(window, tr("Export device list"),
                                                      QDir::home().filePath("kov-devices.csv"),
                                                      tr("CSV files (*.csv);;All files (*)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!exportTo(path, &error)) {
        QMessageBox::warning(window, tr("Export failed"),
                             tr("The device list could not be saved to %1: %2.")
                                 .arg(QDir::toNativeSeparators(path), error),
                             QMessageBox::Ok, QMessageBox::NoButton);
    }
}
