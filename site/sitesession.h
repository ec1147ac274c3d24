#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "sitefile.h"

class KovTable;
class QHostAddress;
struct KovInfo;

// The open site as the device list shows it: every device of the site is a
// row of the KovTable from the start (missing until it answers), with its
// name, location and notes; what the devices say is written back to the
// file. A change of address or version, a name edit or an import is saved
// at once (a burst of replies in one save); a reply that only moves a
// device's time is saved at most once a minute, and on close.
class SiteSession : public QObject
{
    Q_OBJECT

public:
    static constexpr int TimeSaveInterval = 60000; // ms

    explicit SiteSession(KovTable *table, QObject *parent = nullptr);
    ~SiteSession() override;

    bool open(const QString &path, QString *error);
    void close();
    bool isOpen() const { return file.isOpen(); }
    QString path() const { return file.path(); }
    const Site &site() const { return file.site(); }
    SiteFile &siteFile() { return file; }

    // A reply, after KovTable::addKov has listed it.
    void deviceHeard(const QString &version, const QHostAddress &address, const QString &mac);
    // The installer's texts of the device with that MAC (any spelling),
    // adding it to the site when it is not there. false with *error when
    // the site refuses them (a name another device uses, ...).
    bool setFields(const QString &mac, const QString &name, const QString &location,
                   const QString &notes, QString *error);
    // Takes site (an import's result, new ranges, a new target) as the
    // site and saves it.
    void replaceSite(const Site &site);
    void setRanges(const QStringList &ranges);

    bool reload(QString *error);
    bool saveAs(const QString &path, QString *error);
    // Writes times heard since the last save, if any.
    void flush();

    // The heard devices on another version than the site's target.
    QList<QSharedPointer<KovInfo>> outdated() const;
    QSharedPointer<KovInfo> kovOf(const QString &mac) const;

signals:
    void opened();
    void closed();
    // The rows or the site changed (names, missing devices, target).
    void changed();
    // The file on disk is no longer what was read or written here: nothing
    // is written until the user reloads it or saves under another name.
    void conflict();
    void saveFailed(const QString &error);

private:
    // askAgain: a change the user made, who hears of a conflict or a
    // failure again; replies repeat neither.
    void save(bool askAgain);
    void syncRows();
    Site::Heard recordHeard(Site &site, const KovInfo &kov) const;

    KovTable *table;
    SiteFile file;
    // Every listed device by its canonical MAC.
    QHash<QString, QSharedPointer<KovInfo>> byMac;
    Site working; // the site as it stands, ahead of the file by what waits to be saved
    bool changePending = false;
    bool timePending = false;
    bool conflictReported = false;
    bool failureReported = false;
    QTimer changeTimer;
    QTimer timeTimer;
};
