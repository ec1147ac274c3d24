#include "kovtable.h"

#include <QColor>
#include <algorithm>

namespace {

enum Column {
    MacColumn = 0,
    IpColumn = 1,
    VersionColumn = 2,
    ColumnCount = 3,
    NameColumn = 3,
    LocationColumn = 4,
    SiteColumnCount = 5
};

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
// Names and locations as people read them: case aside, by the locale.
bool nameLess(const Row &a, const Row &b)
{
    return QString::localeAwareCompare(a->name.toCaseFolded(), b->name.toCaseFolded()) < 0;
}
bool nameGreater(const Row &a, const Row &b)
{
    return nameLess(b, a);
}
bool locationLess(const Row &a, const Row &b)
{
    return QString::localeAwareCompare(a->location.toCaseFolded(), b->location.toCaseFolded()) < 0;
}
bool locationGreater(const Row &a, const Row &b)
{
    return locationLess(b, a);
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
    if (parent.isValid())
        return 0;
    return siteColumns ? SiteColumnCount : ColumnCount;
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
        case NameColumn:
            return siteColumns ? QVariant(info.name) : QVariant();
        case LocationColumn:
            return siteColumns ? QVariant(info.location) : QVariant();
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
    case NameColumn:
        return siteColumns ? QVariant(tr("Name")) : QVariant();
    case LocationColumn:
        return siteColumns ? QVariant(tr("Location")) : QVariant();
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
    case NameColumn:
        if (siteColumns)
            lessThan = ascending ? nameLess : nameGreater;
        break;
    case LocationColumn:
        if (siteColumns)
            lessThan = ascending ? locationLess : locationGreater;
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
        if (info.address != address || info.version != version || info.color != Qt::transparent
            || !info.heard) {
            info.color = Qt::transparent;
            info.version = version;
            info.address = address;
            info.ip = address.toString();
            info.heard = true;
            emit dataChanged(index(row, MacColumn), index(row, columnCount() - 1));
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
    return int(std::count_if(rows.cbegin(), rows.cend(), [](const Row &info) {
        return info->heard && info->color == Qt::transparent;
    }));
}

int KovTable::totalCount()
{
    return int(rows.size()) - missingCount();
}

int KovTable::missingCount() const
{
    return int(
        std::count_if(rows.cbegin(), rows.cend(), [](const Row &info) { return !info->heard; }));
}

int KovTable::siteCount() const
{
    return int(
        std::count_if(rows.cbegin(), rows.cend(), [](const Row &info) { return info->inSite; }));
}

void KovTable::setSiteColumns(bool on)
{
    if (on == siteColumns)
        return;
    if (on) {
        beginInsertColumns(QModelIndex(), ColumnCount, SiteColumnCount - 1);
        siteColumns = true;
        endInsertColumns();
    } else {
        beginRemoveColumns(QModelIndex(), ColumnCount, SiteColumnCount - 1);
        siteColumns = false;
        endRemoveColumns();
    }
}

void KovTable::addMissing(const QList<QSharedPointer<KovInfo>> &kovs)
{
    if (kovs.isEmpty())
        return;
    const int first = int(rows.size());
    beginInsertRows(QModelIndex(), first, first + int(kovs.size()) - 1);
    for (const Row &kov : kovs) {
        kov->heard = false;
        kov->color = Qt::transparent;
        rows.append(kov);
    }
    endInsertRows();
}

void KovTable::removeMissing()
{
    if (missingCount() == 0)
        return;
    beginResetModel();
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [](const Row &info) { return !info->heard; }),
               rows.end());
    endResetModel();
}

void KovTable::removeKov(const QSharedPointer<KovInfo> &kov)
{
    const int row = rowOf(kov);
    if (row < 0)
        return;
    beginRemoveRows(QModelIndex(), row, row);
    rows.removeAt(row);
    endRemoveRows();
}

int KovTable::rowOf(const QSharedPointer<KovInfo> &kov) const
{
    return int(rows.indexOf(kov));
}

void KovTable::kovChanged(const QSharedPointer<KovInfo> &kov)
{
    const int row = rowOf(kov);
    if (row >= 0)
        emit dataChanged(index(row, MacColumn), index(row, columnCount() - 1));
}

void KovTable::allChanged()
{
    rowsChanged(0, int(rows.size()) - 1);
}

void KovTable::rowsChanged(int first, int last)
{
    first = std::max(first, 0);
    last = std::min(last, int(rows.size()) - 1);
    if (first <= last)
        emit dataChanged(index(first, MacColumn), index(last, columnCount() - 1));
}

void KovTable::KovLostTimer()
{
    const qint64 now = clock();
    for (int row = 0; row < rows.size(); ++row) {
        KovInfo &info = *rows[row];
        if (info.heard && now - info.seen > LostThreshold && info.color != Qt::red) {
            info.color = Qt::red;
            emit dataChanged(index(row, MacColumn), index(row, columnCount() - 1));
        }
    }
}
