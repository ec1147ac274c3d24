#include "kovtable.h"

#include <QColor>
#include <algorithm>

namespace {

enum Column { MacColumn = 0, IpColumn = 1, VersionColumn = 2, ColumnCount = 3 };

using Row = QSharedPointer<KovInfo>;

bool macLess(const Row &a, const Row &b)
{
    return QString::compare(a->mac, b->mac) < 0;
}
bool macGreater(const Row &a, const Row &b)
{
    return QString::compare(a->mac, b->mac) > 0;
}
bool ipLess(const Row &a, const Row &b)
{
    return QString::compare(a->ip, b->ip) < 0;
}
bool ipGreater(const Row &a, const Row &b)
{
    return QString::compare(a->ip, b->ip) > 0;
}
bool versionLess(const Row &a, const Row &b)
{
    return QString::compare(a->version, b->version) < 0;
}
bool versionGreater(const Row &a, const Row &b)
{
    return QString::compare(a->version, b->version) > 0;
}

} // namespace

KovTable::KovTable(QObject *parent) : QAbstractTableModel(parent)
{
    monotonic.start();
    clock = [this] { return monotonic.elapsed(); };
    lostTimer.setInterval(LostCheckInterval);
    lostTimer.setSingleShot(false);
    connect(&lostTimer, &QTimer::timeout, this, &KovTable::KovLostTimer);
    lostTimer.start();
}

KovTable::~KovTable()
{
    lostTimer.stop();
}

void KovTable::setClock(Clock newClock)
{
    if (newClock)
        clock = std::move(newClock);
    else
        clock = [this] { return monotonic.elapsed(); };
}

// A table has no children: a valid parent has no rows or columns of its own,
// or views and the model checker would take every row for a subtree.
int KovTable::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows.size());
}

int KovTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant KovTable::data(const QModelIndex &index, int role) const
{
    if (index.row() < 0 || index.row() >= rows.size())
        return QVariant();
    const KovInfo &info = *rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case MacColumn:
            return info.mac;
        case IpColumn:
            return info.ip;
        case VersionColumn:
            return info.version;
        default:
            return QVariant();
        }
    case Qt::BackgroundRole:
        return QColor(info.color);
    default:
        return QVariant();
    }
}

QVariant KovTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case MacColumn:
        return tr("MAC");
    case IpColumn:
        return tr("IP");
    case VersionColumn:
        return tr("Version");
    default:
        return QVariant();
    }
}

void KovTable::sort(int column, Qt::SortOrder order)
{
    beginResetModel();
    bool (*lessThan)(const Row &, const Row &) = nullptr;
    const bool ascending = order == Qt::AscendingOrder;
    switch (column) {
    case MacColumn:
        lessThan = ascending ? macLess : macGreater;
        break;
    case IpColumn:
        lessThan = ascending ? ipLess : ipGreater;
        break;
    case VersionColumn:
        lessThan = ascending ? versionLess : versionGreater;
        break;
    default:
        break;
    }
    if (lessThan && !rows.isEmpty())
        std::sort(rows.begin(), rows.end(), lessThan);
    endResetModel();
}

bool KovTable::addKov(QString version, QHostAddress address, QString mac)
{
    const qint64 now = clock();
    for (int row = 0; row < rows.size(); ++row) {
        KovInfo &info = *rows[row];
        if (info.mac != mac)
            continue;
        info.seen = now;
        if (info.address != address || info.version != version || info.color != Qt::transparent) {
            info.color = Qt::transparent;
            info.version = version;
            info.address = address;
            info.ip = address.toString();
            emit dataChanged(index(row, MacColumn), index(row, VersionColumn));
        }
        return false;
    }

    const int row = int(rows.size());
    beginInsertRows(QModelIndex(), row, row);
    QSharedPointer<KovInfo> info(new KovInfo);
    info->version = version;
    info->ip = address.toString();
    info->mac = mac;
    info->seen = now;
    info->address = address;
    info->color = Qt::transparent;
    rows.append(info);
    endInsertRows();
    return true;
}

QSharedPointer<KovInfo> KovTable::getKov(const QModelIndex &index)
{
    if (index.row() < 0 || index.row() >= rows.size())
        return QSharedPointer<KovInfo>();
    return rows.at(index.row());
}

int KovTable::liveCount()
{
    return int(std::count_if(rows.cbegin(), rows.cend(),
                             [](const Row &info) { return info->color == Qt::transparent; }));
}

int KovTable::totalCount()
{
    return int(rows.size());
}

void KovTable::KovLostTimer()
{
    const qint64 now = clock();
    for (int row = 0; row < rows.size(); ++row) {
        KovInfo &info = *rows[row];
        if (now - info.seen > LostThreshold && info.color != Qt::red) {
            info.color = Qt::red;
            emit dataChanged(index(row, MacColumn), index(row, VersionColumn));
        }
    }
}
