#pragma once

#include <QSharedPointer>
#include <QSortFilterProxyModel>
#include <QStringList>

#include "kovinfo.h"

class KovTable;

// The device list as the window shows it: KovTable's rows kept in the
// order of the sort indicator while replies arrive (dynamic sorting) and
// cut to those whose MAC, IP or version (and, with a site open, name,
// location or notes) holds the filter text, ignoring case. Each row's
// tooltip says when its device last answered; a site device not heard in
// this run is greyed, and a version other than the site's target marked.
class KovTableProxy : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit KovTableProxy(KovTable *table, QObject *parent = nullptr);
    ~KovTableProxy() override;

    void setFilterText(const QString &text);
    QString filterText() const { return filter; }

    // The device of a row of this model, or null.
    QSharedPointer<KovInfo> kovAt(const QModelIndex &index) const;
    QString lastSeen(const KovInfo &info) const;

    // Every shown row, in the shown order, as MAC, IP, Version, State
    // ("live" or "lost"; with a site open also "missing", "outdated" or
    // "new") and Last seen; with a site open then Name, Location, Notes.
    QList<QStringList> shownRows() const;
    static QString state(const KovInfo &info, bool siteOpen);

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // Sorts KovTable's own rows too, so its order (and the reset that
    // clears the selection) stays what a header click has always done.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    KovTable *table;
    QString filter;
};
