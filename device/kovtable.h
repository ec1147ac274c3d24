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
};
