#pragma once

#include <QStyledItemDelegate>

// Paints a cell as a progress bar while its item holds a percentage in
// ProgressRole (0..100); any other cell, or -1 there, is painted as usual.
// The transfer table's Status column uses it while a transfer runs.
class ProgressBarDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    static constexpr int ProgressRole = Qt::UserRole + 1;

    explicit ProgressBarDelegate(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
};
