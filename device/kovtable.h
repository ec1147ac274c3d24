#pragma once

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QSharedPointer>
#include <QTimer>
#include <functional>

#include "kovinfo.h"

// Model of every device heard from during the run, one row per MAC text.
// A device silent for more than 61 s turns red until it answers again.
// While a site is open the table also lists the site's devices not heard
// yet (missing, counted apart from the live and total counts) and shows
// two more columns, Name and Location.
class KovTable : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int LostCheckInterval = 5000;
    static constexpr qint64 LostThreshold = 61000;

    // Milliseconds on a monotonic clock; tests replace it to move time.
    using Clock = std::function<qint64()>;

    explicit KovTable(QObject *parent = nullptr);
    ~KovTable() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    bool addKov(QString version, QHostAddress address, QString mac);
    QSharedPointer<KovInfo> getKov(const QModelIndex &index);
    int liveCount();
    int totalCount();

    // Name and Location after the three columns, while a site is open.
    void setSiteColumns(bool on);
    bool hasSiteColumns() const { return siteColumns; }
    // Site devices not heard in this run, and every device of the site.
    int missingCount() const;
    int siteCount() const;
    // Appends rows for devices not heard yet (heard false), in one insert.
    void addMissing(const QList<QSharedPointer<KovInfo>> &kovs);
    // Drops the rows of devices not heard in this run (a site closed).
    void removeMissing();
    void removeKov(const QSharedPointer<KovInfo> &kov);
    // The row of a record, or -1; and the signal for a record whose fields
    // were changed from outside.
    int rowOf(const QSharedPointer<KovInfo> &kov) const;
    void kovChanged(const QSharedPointer<KovInfo> &kov);
    void allChanged();
    void rowsChanged(int first, int last);
    const QList<QSharedPointer<KovInfo>> &kovs() const { return rows; }

    void setClock(Clock clock);
    // The table clock's present reading, to age a row's `seen`.
    qint64 now() const { return clock(); }

private slots:
    void KovLostTimer();

private:
    QList<QSharedPointer<KovInfo>> rows;
    QTimer lostTimer;
    QElapsedTimer monotonic;
    Clock clock;
    bool siteColumns = false;
};
