#include "sitesession.h"

#include <QDateTime>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QSet>

#include "kovinfo.h"
#include "kovtable.h"

Q_LOGGING_CATEGORY(lcSiteSession, "kov.site.session")

SiteSession::SiteSession(KovTable *table, QObject *parent) : QObject(parent), table(table)
{
    // A burst of replies (one readyRead) is saved once, right after it.
    changeTimer.setSingleShot(true);
    changeTimer.setInterval(0);
    connect(&changeTimer, &QTimer::timeout, this, [this] { save(false); });
    timeTimer.setSingleShot(true);
    timeTimer.setInterval(TimeSaveInterval);
    connect(&timeTimer, &QTimer::timeout, this, [this] { save(false); });
    connect(&file, &SiteFile::changedOnDisk, this, [this] {
        if (conflictReported)
            return;
        conflictReported = true;
        emit conflict();
    });
}

// The table may be gone by now (the window's members go before its
// children): only the file is written.
SiteSession::~SiteSession()
{
    flush();
}

bool SiteSession::open(const QString &path, QString *error)
{
    // What the site open until now heard goes to its own file first; a
    // file that cannot be opened leaves that site open.
    flush();
    if (!file.open(path, error))
        return false;
    working = file.site();
    conflictReported = false;
    failureReported = false;
    syncRows();
    qCDebug(lcSiteSession) << "site" << working.name << "listed with" << working.devices.size()
                           << "devices";
    emit opened();
    emit changed();
    return true;
}

void SiteSession::close()
{
    if (!isOpen())
        return;
    flush();
    file.close();
    working = Site();
    byMac.clear();
    table->removeMissing();
    for (const QSharedPointer<KovInfo> &kov : table->kovs()) {
        kov->inSite = false;
        kov->outdated = false;
        kov->name.clear();
        kov->location.clear();
        kov->notes.clear();
        kov->lastHeard = QDateTime();
    }
    table->setSiteColumns(false);
    table->allChanged();
    emit closed();
    emit changed();
}

Site::Heard SiteSession::recordHeard(Site &site, const KovInfo &kov) const
{
    const QDateTime utc = QDateTime::currentDateTimeUtc().addMSecs(-(table->now() - kov.seen));
    return site.recordHeard(Site::canonicalMac(kov.mac), kov.ip, kov.version, utc);
}

void SiteSession::syncRows()
{
    table->setSiteColumns(true);
    QHash<QString, int> indexOf;
    indexOf.reserve(working.devices.size());
    for (int i = 0; i < working.devices.size(); ++i)
        indexOf.insert(working.devices.at(i).mac, i);
    QList<bool> listed(working.devices.size(), false);
    QList<QSharedPointer<KovInfo>> dropped;
    bool heardChanged = false;
    bool timeChanged = false;
    byMac.clear();
    byMac.reserve(table->kovs().size() + working.devices.size());
    for (const QSharedPointer<KovInfo> &kov : table->kovs()) {
        const QString key = Site::canonicalMac(kov->mac);
        const int i = indexOf.value(key, -1);
        if (i < 0 || listed.at(i)) {
            if (!kov->heard) {
                dropped.append(kov);
                continue;
            }
            kov->inSite = false;
            kov->name.clear();
            kov->location.clear();
            kov->notes.clear();
            kov->outdated = working.isOutdated(kov->version);
            byMac.insert(key, kov);
            continue;
        }
        listed[i] = true;
        const SiteDevice device = working.devices.at(i);
        kov->inSite = true;
        kov->name = device.name;
        kov->location = device.location;
        kov->notes = device.notes;
        if (kov->heard) {
            kov->outdated = working.isOutdated(kov->version);
            const Site::Heard heard = recordHeard(working, *kov);
            heardChanged |= heard == Site::Heard::Changed;
            timeChanged |= heard == Site::Heard::TimeOnly;
            kov->lastHeard = working.devices.at(i).lastSeen;
        } else {
            kov->outdated = false;
            kov->version = device.lastVersion;
            kov->address = QHostAddress(device.lastAddress);
            kov->ip = kov->address.toString();
            kov->lastHeard = device.lastSeen;
        }
        byMac.insert(key, kov);
    }
    for (const QSharedPointer<KovInfo> &kov : std::as_const(dropped))
        table->removeKov(kov);

    QList<QSharedPointer<KovInfo>> missing;
    for (int i = 0; i < working.devices.size(); ++i) {
        if (listed.at(i))
            continue;
        const SiteDevice &device = working.devices.at(i);
        QSharedPointer<KovInfo> kov(new KovInfo);
        kov->mac = device.mac;
        kov->version = device.lastVersion;
        kov->address = QHostAddress(device.lastAddress);
        kov->ip = kov->address.toString();
        kov->inSite = true;
        kov->name = device.name;
        kov->location = device.location;
        kov->notes = device.notes;
        kov->lastHeard = device.lastSeen;
        missing.append(kov);
        byMac.insert(device.mac, kov);
    }
    // Rows listed before get their names; the new ones come with theirs.
    const int listedBefore = table->rowCount();
    table->addMissing(missing);
    table->rowsChanged(0, listedBefore - 1);
    if (heardChanged) {
        changePending = true;
        changeTimer.start();
    } else if (timeChanged) {
        timePending = true;
        if (!timeTimer.isActive())
            timeTimer.start();
    }
}

void SiteSession::deviceHeard(const QString &version, const QHostAddress &address,
                              const QString &mac)
{
    if (!isOpen())
        return;
    const QString key = Site::canonicalMac(mac);
    if (key.isEmpty())
        return;
    QSharedPointer<KovInfo> kov = byMac.value(key);
    if (!kov || kov->mac != mac) {
        // A device first heard since the site opened, or a site device
        // that spells its MAC otherwise than the file: addKov gave it a row
        // of its own, which takes over the site's.
        QSharedPointer<KovInfo> row;
        for (const QSharedPointer<KovInfo> &candidate : table->kovs()) {
            if (candidate->mac == mac) {
                row = candidate;
                break;
            }
        }
        if (!row)
            return;
        if (kov && kov != row) {
            row->inSite = kov->inSite;
            row->name = kov->name;
            row->location = kov->location;
            row->notes = kov->notes;
            if (!kov->heard)
                table->removeKov(kov);
        }
        byMac.insert(key, row);
        kov = row;
    }
    const bool outdated = working.isOutdated(version);
    const bool marked = kov->outdated != outdated;
    kov->outdated = outdated;
    switch (
        working.recordHeard(key, address.toString(), version, QDateTime::currentDateTimeUtc())) {
    case Site::Heard::Changed:
        changePending = true;
        changeTimer.start();
        break;
    case Site::Heard::TimeOnly:
        timePending = true;
        if (!timeTimer.isActive())
            timeTimer.start();
        break;
    default:
        break;
    }
    if (marked)
        table->kovChanged(kov);
}

bool SiteSession::setFields(const QString &mac, const QString &name, const QString &location,
                            const QString &notes, QString *error)
{
    if (!isOpen()) {
        if (error)
            *error = tr("no site is open");
        return false;
    }
    const QString key = Site::canonicalMac(mac);
    Site next = working;
    if (!next.setDeviceFields(key.isEmpty() ? mac : key, name, location, notes, error))
        return false;
    const QSharedPointer<KovInfo> kov = byMac.value(key);
    if (kov) {
        if (kov->heard)
            recordHeard(next, *kov);
        const SiteDevice &device = next.devices.at(next.indexOfMac(key));
        kov->inSite = true;
        kov->name = device.name;
        kov->location = device.location;
        kov->notes = device.notes;
        table->kovChanged(kov);
    }
    working = next;
    save(true);
    emit changed();
    return true;
}

void SiteSession::replaceSite(const Site &site)
{
    if (!isOpen())
        return;
    working = site;
    syncRows();
    save(true);
    emit changed();
}

void SiteSession::setRanges(const QStringList &ranges)
{
    if (!isOpen() || working.ranges == ranges)
        return;
    working.ranges = ranges;
    save(true);
}

bool SiteSession::reload(QString *error)
{
    if (!file.reload(error))
        return false;
    working = file.site();
    changePending = timePending = false;
    conflictReported = false;
    failureReported = false;
    syncRows();
    emit changed();
    return true;
}

bool SiteSession::saveAs(const QString &path, QString *error)
{
    if (!isOpen())
        return false;
    // The file holds what was last offered to it; hand it the rest first.
    if (working != file.site())
        file.save(working, nullptr);
    if (!file.saveAs(path, error))
        return false;
    changePending = timePending = false;
    changeTimer.stop();
    timeTimer.stop();
    conflictReported = false;
    failureReported = false;
    return true;
}

void SiteSession::flush()
{
    if (isOpen() && (changePending || timePending))
        save(false);
}

void SiteSession::save(bool askAgain)
{
    changePending = timePending = false;
    changeTimer.stop();
    timeTimer.stop();
    QString error;
    switch (file.save(working, &error)) {
    case SiteFile::SaveResult::Saved:
        conflictReported = false;
        failureReported = false;
        break;
    case SiteFile::SaveResult::ChangedOnDisk:
        if (!conflictReported || askAgain) {
            conflictReported = true;
            emit conflict();
        }
        break;
    case SiteFile::SaveResult::Failed:
        qCWarning(lcSiteSession) << "site not saved:" << error;
        if (!failureReported || askAgain) {
            failureReported = true;
            emit saveFailed(error);
        }
        break;
    }
}

QList<QSharedPointer<KovInfo>> SiteSession::outdated() const
{
    QList<QSharedPointer<KovInfo>> kovs;
    for (const QSharedPointer<KovInfo> &kov : table->kovs()) {
        if (kov->heard && kov->outdated && kov->color == Qt::transparent)
            kovs.append(kov);
    }
    return kovs;
}

QSharedPointer<KovInfo> SiteSession::kovOf(const QString &mac) const
{
    return byMac.value(Site::canonicalMac(mac));
}
