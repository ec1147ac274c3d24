#include "deviceroster.h"

#include <QHostAddress>
#include <QJsonObject>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcRoster, "kov.agent.site")

DeviceRoster::DeviceRoster(QObject *parent) : QObject(parent)
{
    clock.start();
    connect(&stateTimer, &QTimer::timeout, this, &DeviceRoster::refreshStates);
    setLostAfterMs(DefaultLostAfterMs);
    timeOnlyTimer.setSingleShot(true);
    connect(&timeOnlyTimer, &QTimer::timeout, this, &DeviceRoster::save);
    changedTimer.setSingleShot(true);
    connect(&changedTimer, &QTimer::timeout, this, &DeviceRoster::save);
    connect(&siteFile, &SiteFile::changedOnDisk, this, &DeviceRoster::reloadFromDisk);
    // The file reports one change until it is read: a file caught half
    // written is read again until it parses.
    reloadRetryTimer.setSingleShot(true);
    reloadRetryTimer.setInterval(1000);
    connect(&reloadRetryTimer, &QTimer::timeout, this, &DeviceRoster::reloadFromDisk);
}

DeviceRoster::~DeviceRoster() = default;

bool DeviceRoster::openSite(const QString &path, QString *error)
{
    if (!siteFile.open(path, error))
        return false;
    rebuild();
    return true;
}

void DeviceRoster::setLostAfterMs(int ms)
{
    lostMs = qMax(1, ms);
    // Fine enough that a device turns lost close to its time, for the MQTT
    // availability; a scrape works the states out to the moment anyway.
    stateTimer.start(qBound(100, lostMs / 10, 5000));
}

void DeviceRoster::heard(const QString &version, const QHostAddress &ip, const QString &mac)
{
    QString key = Site::canonicalMac(mac);
    if (key.isEmpty())
        key = mac;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    auto it = known.find(key);
    if (it == known.end()) {
        it = known.insert(key, AgentDevice());
        it->mac = key;
    }
    const bool news = it->heardMs < 0 || it->ip != ip.toString() || it->version != version;
    it->ip = ip.toString();
    it->version = version;
    it->lastSeen = now;
    it->heardMs = clock.elapsed();
    refreshStates();
    if (news)
        emit deviceChanged(key);

    if (!siteFile.isOpen())
        return;
    Site copy = siteFile.site();
    switch (copy.recordHeard(key, it->ip, version, now)) {
    case Site::Heard::Changed:
        if (!changedTimer.isActive())
            changedTimer.start(ChangedSaveMs);
        break;
    case Site::Heard::TimeOnly:
        timeOnlyPending = true;
        if (!timeOnlyTimer.isActive())
            timeOnlyTimer.start(TimeOnlySaveMs);
        break;
    case Site::Heard::NotInSite:
    case Site::Heard::Unchanged:
        break;
    }
}

const QMap<QString, AgentDevice> &DeviceRoster::devices()
{
    refreshStates();
    return known;
}

const AgentDevice *DeviceRoster::device(const QString &mac)
{
    refreshStates();
    const auto it = known.constFind(Site::canonicalMac(mac));
    return it == known.constEnd() ? nullptr : &*it;
}

QJsonArray DeviceRoster::toJson()
{
    QJsonArray array;
    for (const AgentDevice &d : devices()) {
        array.append(QJsonObject{
            {"mac", d.mac},
            {"name", d.name},
            {"location", d.location},
            {"notes", d.notes},
            {"state", AgentDevice::stateName(d.state)},
            {"ip", d.ip},
            {"version", d.version},
            {"lastSeen", d.lastSeen.isValid()
                             ? QJsonValue(d.lastSeen.toUTC().toString(Qt::ISODate))
                             : QJsonValue(QJsonValue::Null)},
        });
    }
    return array;
}

void DeviceRoster::flush()
{
    if (timeOnlyPending || changedTimer.isActive())
        save();
}

// Builds the map again from the site, keeping what this run heard.
void DeviceRoster::rebuild()
{
    QMap<QString, AgentDevice> next;
    const Site &s = siteFile.site();
    for (const SiteDevice &sd : s.devices) {
        AgentDevice d;
        const auto old = known.constFind(sd.mac);
        if (old != known.constEnd() && old->heardMs >= 0) {
            d = *old;
        } else {
            d.mac = sd.mac;
            d.ip = sd.lastAddress;
            d.version = sd.lastVersion;
            d.lastSeen = sd.lastSeen;
        }
        d.name = sd.name;
        d.location = sd.location;
        d.notes = sd.notes;
        d.inSite = true;
        next.insert(d.mac, d);
    }
    for (const AgentDevice &old : std::as_const(known)) {
        if (old.heardMs >= 0 && !next.contains(old.mac)) {
            AgentDevice d = old;
            d.inSite = false;
            d.name.clear();
            d.location.clear();
            d.notes.clear();
            next.insert(d.mac, d);
        }
    }
    known = next;
    refreshStates();
}

void DeviceRoster::refreshStates()
{
    const qint64 now = clock.elapsed();
    QStringList changed;
    for (AgentDevice &d : known) {
        AgentDevice::State state = AgentDevice::State::Missing;
        if (d.heardMs >= 0) {
            if (now - d.heardMs > lostMs)
                state = AgentDevice::State::Lost;
            else if (!d.inSite)
                state = AgentDevice::State::New;
            else if (siteFile.site().isOutdated(d.version))
                state = AgentDevice::State::Outdated;
            else
                state = AgentDevice::State::Live;
        }
        if (state != d.state) {
            d.state = state;
            changed.append(d.mac);
        }
    }
    for (const QString &mac : std::as_const(changed))
        emit deviceChanged(mac);
}

void DeviceRoster::save()
{
    changedTimer.stop();
    timeOnlyTimer.stop();
    timeOnlyPending = false;
    if (!siteFile.isOpen())
        return;
    Site copy = siteFile.site();
    applyHeard(&copy);
    QString error;
    switch (siteFile.save(copy, &error)) {
    case SiteFile::SaveResult::Saved:
        break;
    case SiteFile::SaveResult::ChangedOnDisk:
        qCInfo(lcRoster, "%s changed on disk; reading it again", qPrintable(siteFile.path()));
        reloadFromDisk();
        break;
    case SiteFile::SaveResult::Failed:
        qCWarning(lcRoster, "cannot save %s: %s", qPrintable(siteFile.path()), qPrintable(error));
        break;
    }
}

void DeviceRoster::reloadFromDisk()
{
    QString error;
    if (!siteFile.reload(&error)) {
        // Half-written by an editor, or removed: keep the last good one.
        if (!reloadFailing)
            qCWarning(lcRoster, "cannot read %s again: %s", qPrintable(siteFile.path()),
                      qPrintable(error));
        reloadFailing = true;
        reloadRetryTimer.start();
        return;
    }
    reloadFailing = false;
    reloadRetryTimer.stop();
    qCInfo(lcRoster, "read %s again", qPrintable(siteFile.path()));
    rebuild();
    emit siteReloaded();
    Site copy = siteFile.site();
    bool changed = false;
    bool timeOnly = false;
    for (const AgentDevice &d : std::as_const(known)) {
        if (d.heardMs < 0)
            continue;
        const Site::Heard h = copy.recordHeard(d.mac, d.ip, d.version, d.lastSeen);
        changed = changed || h == Site::Heard::Changed;
        timeOnly = timeOnly || h == Site::Heard::TimeOnly;
    }
    if (changed) {
        save();
    } else if (timeOnly) {
        timeOnlyPending = true;
        if (!timeOnlyTimer.isActive())
            timeOnlyTimer.start(TimeOnlySaveMs);
    }
}

void DeviceRoster::applyHeard(Site *site) const
{
    for (const AgentDevice &d : known) {
        if (d.heardMs >= 0)
            site->recordHeard(d.mac, d.ip, d.version, d.lastSeen);
    }
}
