#include "kovtableproxy.h"

#include <QColor>
#include <QFont>
#include <QLocale>

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
    case 3:
        return info.name;
    case 4:
        return info.location;
    default:
        return info.mac;
    }
}

constexpr int VersionColumn = 2;
constexpr int FirstSiteColumn = 3;

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
    if (!info.heard) {
        if (!info.lastHeard.isValid())
            return tr("missing, never heard");
        return tr("missing, last heard %1")
            .arg(QLocale().toString(info.lastHeard.toLocalTime(), QLocale::ShortFormat));
    }
    return LastSeen::text(table->now() - info.seen, info.color == Qt::red);
}

QString KovTableProxy::state(const KovInfo &info, bool siteOpen)
{
    if (!info.heard)
        return QStringLiteral("missing");
    if (info.color == Qt::red)
        return QStringLiteral("lost");
    if (siteOpen && !info.inSite)
        return QStringLiteral("new");
    if (info.outdated)
        return QStringLiteral("outdated");
    return QStringLiteral("live");
}

QList<QStringList> KovTableProxy::shownRows() const
{
    QList<QStringList> rows;
    rows.reserve(rowCount());
    for (int row = 0; row < rowCount(); ++row) {
        const QSharedPointer<KovInfo> info = kovAt(index(row, 0));
        if (!info)
            continue;
        const bool siteOpen = table->hasSiteColumns();
        QStringList fields{info->mac, info->ip, info->version, state(*info, siteOpen),
                           lastSeen(*info)};
        if (siteOpen)
            fields << info->name << info->location << info->notes;
        rows.append(fields);
    }
    return rows;
}

QVariant KovTableProxy::data(const QModelIndex &index, int role) const
{
    if (role == Qt::ToolTipRole) {
        const QSharedPointer<KovInfo> info = kovAt(index);
        if (!info)
            return QVariant();
        if (info->outdated && info->heard && index.column() == VersionColumn)
            return tr("%1; not the site's target firmware").arg(lastSeen(*info));
        if (index.column() >= FirstSiteColumn && !info->notes.isEmpty())
            return lastSeen(*info) + QLatin1Char('\n') + info->notes;
        return lastSeen(*info);
    }
    if (role == Qt::ForegroundRole || role == Qt::FontRole) {
        const QSharedPointer<KovInfo> info = kovAt(index);
        if (!info || !table->hasSiteColumns())
            return QVariant();
        const bool marked = info->heard && info->outdated && index.column() == VersionColumn;
        if (role == Qt::FontRole) {
            if (!marked)
                return QVariant();
            QFont font;
            font.setBold(true);
            return font;
        }
        if (!info->heard)
            return QColor(Qt::gray);
        return marked ? QVariant(QColor(0xb0, 0x50, 0x00)) : QVariant();
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
           || info->version.contains(filter, Qt::CaseInsensitive)
           || info->name.contains(filter, Qt::CaseInsensitive)
           || info->location.contains(filter, Qt::CaseInsensitive)
           || info->notes.contains(filter, Qt::CaseInsensitive);
}

bool KovTableProxy::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const QSharedPointer<KovInfo> a = table->getKov(left);
    const QSharedPointer<KovInfo> b = table->getKov(right);
    if (!a || !b)
        return QSortFilterProxyModel::lessThan(left, right);
    if (left.column() >= FirstSiteColumn)
        return QString::localeAwareCompare(field(*a, left.column()).toCaseFolded(),
                                           field(*b, right.column()).toCaseFolded())
               < 0;
    // As KovTable sorts: plain text order, case-sensitive.
    return QString::compare(field(*a, left.column()), field(*b, right.column())) < 0;
}
