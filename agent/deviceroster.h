#pragma once

#include <QElapsedTimer>
#include <QJsonArray>
#include <QMap>
#include <QObject>
#include <QTimer>

#include "agentdevice.h"
#include "site.h"
#include "sitefile.h"

class QHostAddress;

// Every device the agent knows, keyed by MAC: the open site's devices and
// whatever else answered. Keeps each one's state (live, lost after
// lostAfterMs of silence, missing for a site device not heard this run,
// outdated, new) and writes what it heard back to the site file as the
// window does: at once when an address or version changed, at most once a
// minute when only the time moved. When someone else changes the file it
// is read again and what this run heard is applied on top, so their edits
// are never overwritten.
class DeviceRoster : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultLostAfterMs = 61000;
    static constexpr int TimeOnlySaveMs = 60000;
    // A change is saved this soon: replies to one beacon come in a burst,
    // and a site of a thousand devices is written once for it, not a
    // thousand times.
    static constexpr int ChangedSaveMs = 200;

    explicit DeviceRoster(QObject *parent = nullptr);
    ~DeviceRoster() override;

    // Without a site the roster holds only devices that answered.
    bool openSite(const QString &path, QString *error);
    bool hasSite() const { return siteFile.isOpen(); }
    const Site &site() const { return siteFile.site(); }

    void setLostAfterMs(int ms);
    int lostAfterMs() const { return lostMs; }

    void heard(const QString &version, const QHostAddress &ip, const QString &mac);

    // States brought up to this moment.
    const QMap<QString, AgentDevice> &devices();
    const AgentDevice *device(const QString &mac);
    // The devices in the shape of kovctl site list --format json.
    QJsonArray toJson();

    // Writes a pending time-only change (on exit).
    void flush();

signals:
    // A device appeared, changed address, version, state or site texts.
    void deviceChanged(const QString &mac);
    // The site was read again: its texts, devices or IR codes may differ.
    void siteReloaded();

private:
    void rebuild();
    void refreshStates();
    void save();
    void reloadFromDisk();
    void applyHeard(Site *site) const;

    SiteFile siteFile;
    QMap<QString, AgentDevice> known;
    QElapsedTimer clock;
    QTimer stateTimer;
    QTimer timeOnlyTimer;
    QTimer changedTimer;
    QTimer reloadRetryTimer;
    int lostMs = DefaultLostAfterMs;
    bool timeOnlyPending = false;
    bool reloadFailing = false;
};
