#include "kovtableproxy.h"

#include "kovtable.h"
#include "lastseen.h"

namespace {

const QString &field(const KovInfo &info, int column)
{
    switch (column) {
    case 1:
        return info.ip;
    case 2:
        return info.version;
    default:
        return info.mac;
    }
}

} // namespace

KovTableProxy::KovTableProxy(KovTable *table, QObject *parent)
    : QSortFilterProxyModel(parent), table(table)
{
    setDynamicSortFilter(true);
    setSourceModel(table);
}

KovTableProxy::~KovTableProxy() = default;

void KovTableProxy::setFilterText(const QString &text)
{
    if (text == filter)
        return;
    filter = text;
    invalidateFilter();
}

QSharedPointer<KovInfo> KovTableProxy::kovAt(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return QSharedPointer<KovInfo>();
    return table->getKov(mapToSource(index));
}

QString KovTableProxy::lastSeen(const KovInfo &info) const
{
    return LastSeen::text(table->now() - info.seen, info.color == Qt::red);
}

QList<QStringList> KovTableProxy::shownRows() const
{
    QList<QStringList> rows;
    rows.reserve(rowCount());
    for (int row = 0; row < rowCount(); ++row) {
        const QSharedPointer<KovInfo> info = kovAt(index(row, 0));
        if (!info)
            continue;
        rows.append({info->mac, info->ip, info->version,
                     info->color == Qt::red ? QStringLiteral("lost") : QStringLiteral("live"),
                     lastSeen(*info)});
    }
    return rows;
}

QVariant KovTableProxy::data(const QModelIndex &index, int role) const
{
    if (role == Qt::ToolTipRole) {
        const QSharedPointer<KovInfo> info = kovAt(index);
        return info ? QVariant(lastSeen(*info)) : QVariant();
    }
    return QSortFilterProxyModel::data(index, role);
}

void KovTableProxy::sort(int column, Qt::SortOrder order)
{
    table->sort(column, order);
    QSortFilterProxyModel::sort(column, order);
}

bool KovTableProxy::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    if (filter.isEmpty() || sourceParent.isValid())
        return !sourceParent.isValid();
    const QSharedPointer<KovInfo> info = table->getKov(table->index(sourceRow, 0));
    if (!info)
        return false;
    return info->mac.contains(filter, Qt::CaseInsensitive)
           || info->ip.contains(filter, Qt::CaseInsensitive)
           || info->version.contains(filter, Qt::CaseInsensitive);
}

bool KovTableProxy::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const QSharedPointer<KovInfo> a = table->getKov(left);
    const QSharedPointer<KovInfo> b = table->getKov(right);
    if (!a || !b)
        return QSortFilterProxyModel::lessThan(left, right);
    // As KovTable sorts: plain text order, case-sensitive.
    return QString::compare(field(*a, left.column()), field(*b, right.column())) < 0;
}
