#include "sitecontroller.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QItemSelection>
#include <QItemSelectionModel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>

#include "devicepage.h"
#include "kovdetector.h"
#include "kovtable.h"
#include "kovtableproxy.h"
#include "siteimportdialog.h"
#include "sitedeviceimport.h"
#include "sitepanel.h"
#include "sitesession.h"

namespace {
const QString SiteFilter = QStringLiteral("KOV-1 sites (*.kovsite);;All files (*)");

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}
} // namespace

SiteController::SiteController(Ui::MainWindow *ui, KovTable *table, DevicePage *page,
                               QMainWindow *window)
    : QObject(window),
      ui(ui),
      table(table),
      page(page),
      window(window),
      sites(new SiteSession(table, this)),
      baseTitle(window->windowTitle())
{
    setObjectName("siteController");
    panel = new SitePanel(ui, page, sites, window);
    page->setSiteSession(sites);

    newAction = new QAction(tr("New site…"), window);
    newAction->setObjectName("actionNewSite");
    newAction->setShortcut(QKeySequence::New);
    openAction = new QAction(tr("Open site…"), window);
    openAction->setObjectName("actionOpenSite");
    // Ctrl+O opens a firmware file.
    openAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    recentMenu = new QMenu(tr("Recent sites"), window);
    recentMenu->setObjectName("menuRecentSites");
    closeAction = new QAction(tr("Close site"), window);
    closeAction->setObjectName("actionCloseSite");
    closeAction->setShortcut(QKeySequence::Close);
    importAction = new QAction(tr("Import devices…"), window);
    importAction->setObjectName("actionImportDevices");

    QMenu *fileMenu = ui->menuVeltrane_KOV_1_Toolkit;
    QAction *first = fileMenu->actions().value(0);
    fileMenu->insertAction(first, newAction);
    fileMenu->insertAction(first, openAction);
    fileMenu->insertMenu(first, recentMenu);
    fileMenu->insertAction(first, closeAction);
    fileMenu->insertAction(first, importAction);
    fileMenu->insertSeparator(first);

    editMenu = new QMenu(tr("Edit"), window);
    editMenu->setObjectName("menuEdit");
    outdatedAction = new QAction(tr("Select outdated devices"), window);
    outdatedAction->setObjectName("actionSelectOutdated");
    targetAction = new QAction(tr("Target firmware…"), window);
    targetAction->setObjectName("actionTargetFirmware");
    editMenu->addAction(outdatedAction);
    editMenu->addAction(targetAction);
    ui->menuBar->insertMenu(ui->menuHelp->menuAction(), editMenu);

    connect(newAction, &QAction::triggered, this, &SiteController::newSite);
    connect(openAction, &QAction::triggered, this, &SiteController::chooseSite);
    connect(closeAction, &QAction::triggered, this, &SiteController::closeSite);
    connect(importAction, &QAction::triggered, this, &SiteController::chooseImport);
    connect(outdatedAction, &QAction::triggered, this, &SiteController::selectOutdated);
    connect(targetAction, &QAction::triggered, this, &SiteController::setTarget);
    connect(sites, &SiteSession::changed, this, &SiteController::siteChanged);
    connect(sites, &SiteSession::conflict, this, &SiteController::onConflict);
    connect(sites, &SiteSession::saveFailed, this, &SiteController::onSaveFailed);

    fillRecent();
    siteChanged();
}

// What waits to be saved is written now, while this is whole enough to
// hear of a problem; nothing is asked any more.
SiteController::~SiteController()
{
    disconnect(sites, nullptr, this, nullptr);
    sites->flush();
}

void SiteController::warn(const QString &title, const QString &text)
{
    QMessageBox::warning(window, title, text, QMessageBox::Ok, QMessageBox::NoButton);
}

void SiteController::reopenLast()
{
    const QString last = QSettings().value(LastSiteKey).toString();
    if (!last.isEmpty())
        openSite(last, false);
}

bool SiteController::openSite(const QString &path, bool beacon)
{
    QString error;
    if (!sites->open(path, &error)) {
        // A site that cannot be read is not taken for the open one: the
        // tool goes on without a site.
        sites->close();
        QSettings().remove(LastSiteKey);
        warn(tr("Site not opened"),
             tr("The site %1 could not be opened: %2.").arg(shown(path), error));
        return false;
    }
    rememberSite(sites->path());
    if (beacon) {
        KovDetector::sendBeacon();
        page->probeRememberedRanges();
    }
    return true;
}

void SiteController::closeSite()
{
    sites->close();
    QSettings().remove(LastSiteKey);
}

void SiteController::deviceHeard(const QString &version, const QHostAddress &address,
                                 const QString &mac)
{
    sites->deviceHeard(version, address, mac);
}

void SiteController::newSite()
{
    const QString path = QFileDialog::getSaveFileName(window, tr("New site"),
                                                      QDir::home().filePath("site.kovsite"),
                                                      SiteFilter);
    if (path.isEmpty())
        return;
    bool ok = false;
    const QString name = QInputDialog::getText(window, tr("New site"), tr("Name of the site:"),
                                               QLineEdit::Normal,
                                               QFileInfo(path).completeBaseName(), &ok)
                             .trimmed();
    if (!ok)
        return;
    // The file dialog has already asked about replacing a file; a site
    // file is only ever created new.
    if (QFileInfo::exists(path))
        QFile::remove(path);
    QString error;
    if (!SiteFile::create(path, name, &error)) {
        warn(tr("Site not created"), tr("The site could not be created: %1.").arg(error));
        return;
    }
    openSite(path);
}

void SiteController::chooseSite()
{
    const QString path = QFileDialog::getOpenFileName(window, tr("Open site"), QDir::homePath(),
                                                      SiteFilter);
    if (!path.isEmpty())
        openSite(path);
}

void SiteController::rememberSite(const QString &path)
{
    QSettings settings;
    settings.setValue(LastSiteKey, path);
    QStringList recent = settings.value(RecentSitesKey).toStringList();
    recent.removeAll(path);
    recent.prepend(path);
    while (recent.size() > RecentSitesKept)
        recent.removeLast();
    settings.setValue(RecentSitesKey, recent);
    fillRecent();
}

void SiteController::fillRecent()
{
    recentMenu->clear();
    const QStringList recent = QSettings().value(RecentSitesKey).toStringList();
    for (int i = 0; i < recent.size(); ++i) {
        const QString path = recent.at(i);
        QAction *action = recentMenu->addAction(
            tr("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName().replace('&', "&&")));
        action->setToolTip(shown(path));
        action->setStatusTip(shown(path));
        connect(action, &QAction::triggered, this, [this, path] { openSite(path); });
    }
    recentMenu->setEnabled(!recent.isEmpty());
}

void SiteController::siteChanged()
{
    const bool open = sites->isOpen();
    window->setWindowTitle(open ? tr("%1 - %2").arg(baseTitle, sites->site().name) : baseTitle);
    closeAction->setEnabled(open);
    importAction->setEnabled(open);
    outdatedAction->setEnabled(open);
    targetAction->setEnabled(open);
    panel->setSiteOpen(open);
    page->setSiteOpen(open);
    // The start-up text stays until a site or a reply gives a count.
    if (open || shownOpen)
        page->countDevices();
    shownOpen = open;
}

void SiteController::onConflict()
{
    if (conflictShown || !sites->isOpen())
        return;
    conflictShown = true;
    QMessageBox box(QMessageBox::Warning, tr("Site changed on disk"),
                    tr("The site file %1 was changed by another program since the tool read "
                       "it. Nothing is written to it until you reload it (dropping the changes "
                       "made here) or save the site under another name.")
                        .arg(shown(sites->path())),
                    QMessageBox::NoButton, window);
    QPushButton *reload = box.addButton(tr("Reload"), QMessageBox::AcceptRole);
    reload->setObjectName("reloadSiteButton");
    QPushButton *saveAs = box.addButton(tr("Save As…"), QMessageBox::ActionRole);
    saveAs->setObjectName("saveSiteAsButton");
    box.addButton(QMessageBox::Cancel);
    box.exec();
    conflictShown = false;
    QString error;
    const QString path = sites->path();
    if (box.clickedButton() == reload) {
        if (!sites->reload(&error)) {
            sites->close();
            QSettings().remove(LastSiteKey);
            warn(tr("Site not opened"),
                 tr("The site %1 could not be read again: %2. No site is open.")
                     .arg(shown(path), error));
        }
    } else if (box.clickedButton() == saveAs) {
        const QString other = QFileDialog::getSaveFileName(window, tr("Save site as"), path,
                                                           SiteFilter);
        if (other.isEmpty())
            return;
        if (sites->saveAs(other, &error)) {
            rememberSite(sites->path());
            siteChanged();
        } else {
            warn(tr("Site not saved"), tr("The site could not be saved: %1.").arg(error));
        }
    }
}

void SiteController::onSaveFailed(const QString &error)
{
    warn(tr("Site not saved"),
         tr("The site %1 could not be saved: %2. The file keeps what it held.")
             .arg(shown(sites->path()), error));
}

bool SiteController::confirmCommand(const QList<QSharedPointer<KovInfo>> &kovs)
{
    QList<QSharedPointer<KovInfo>> missing;
    for (const QSharedPointer<KovInfo> &kov : kovs) {
        if (!kov->heard)
            missing.append(kov);
    }
    if (missing.isEmpty())
        return true;
    QString text;
    if (missing.size() == 1) {
        const KovInfo &kov = *missing.first();
        const QString who = kov.name.isEmpty() ? kov.mac : tr("%1 (%2)").arg(kov.name, kov.mac);
        text = kov.ip.isEmpty()
                   ? tr("%1 has not answered since the tool started, and the site holds no "
                        "address for it. Send the command anyway?")
                         .arg(who)
                   : tr("%1 has not answered since the tool started. Send the command to its "
                        "last address, %2, anyway?")
                         .arg(who, kov.ip);
    } else {
        text = tr("%1 of the %2 devices have not answered since the tool started. Send the "
                  "command to their last addresses anyway?")
                   .arg(missing.size())
                   .arg(kovs.size());
    }
    return QMessageBox::question(window, tr("Device missing"), text,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
           == QMessageBox::Yes;
}

int SiteController::selectOutdated()
{
    if (!sites->isOpen())
        return 0;
    if (sites->site().targetVersion.trimmed().isEmpty()) {
        QMessageBox::information(window, tr("Select outdated devices"),
                                 tr("The site names no target firmware (Edit > Target "
                                    "firmware…)."),
                                 QMessageBox::Ok, QMessageBox::NoButton);
        return 0;
    }
    KovTableProxy *proxy = page->model();
    QItemSelection selection;
    for (const QSharedPointer<KovInfo> &kov : sites->outdated()) {
        const QModelIndex shownRow = proxy->mapFromSource(table->index(table->rowOf(kov), 0));
        if (shownRow.isValid())
            selection.select(shownRow, shownRow);
    }
    QItemSelectionModel *model = ui->tableView->selectionModel();
    if (selection.isEmpty()) {
        model->clearSelection();
        QMessageBox::information(window, tr("Select outdated devices"),
                                 tr("No device shown runs another version than the site's "
                                    "target, %1.")
                                     .arg(sites->site().targetVersion),
                                 QMessageBox::Ok, QMessageBox::NoButton);
        return 0;
    }
    model->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    model->setCurrentIndex(selection.first().topLeft(), QItemSelectionModel::NoUpdate);
    return int(selection.size());
}

void SiteController::setTarget()
{
    if (!sites->isOpen())
        return;
    bool ok = false;
    const QString target = QInputDialog::getText(
                               window, tr("Target firmware"),
                               tr("Firmware version every device of %1 should run (empty: "
                                  "none):")
                                   .arg(sites->site().name),
                               QLineEdit::Normal, sites->site().targetVersion, &ok)
                               .trimmed();
    if (!ok || target == sites->site().targetVersion)
        return;
    Site next = sites->site();
    next.targetVersion = target;
    sites->replaceSite(next);
}

void SiteController::chooseImport()
{
    const QString path = QFileDialog::getOpenFileName(window, tr("Import devices"),
                                                      QDir::homePath(),
                                                      tr("CSV files (*.csv);;All files (*)"));
    if (!path.isEmpty())
        importDevices(path);
}

bool SiteController::importDevices(const QString &path, bool ask)
{
    if (!sites->isOpen())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        warn(tr("Import failed"), tr("Nothing was imported: %1 could not be read: %2.")
                                      .arg(shown(path), file.errorString()));
        return false;
    }
    Site result;
    QList<SiteDeviceImport::Change> changes;
    QString error;
    if (!SiteDeviceImport::plan(sites->site(), file.readAll(), &result, &changes, &error)) {
        warn(tr("Import failed"),
             tr("Nothing was imported from %1: %2.").arg(QFileInfo(path).fileName(), error));
        return false;
    }
    if (changes.isEmpty()) {
        QMessageBox::information(
            window, tr("Import devices"),
            tr("%1 adds and changes nothing.").arg(QFileInfo(path).fileName()), QMessageBox::Ok,
            QMessageBox::NoButton);
        return false;
    }
    if (ask) {
        SiteImportDialog dialog(QFileInfo(path).fileName(), changes, window);
        if (dialog.exec() != QDialog::Accepted)
            return false;
    }
    sites->replaceSite(result);
    return true;
}
