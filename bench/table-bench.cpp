// The device table at scale: addKov and sort with many rows, bare and with
// the window's kind of view attached (offscreen). Prints figures.
//
//   table-bench [ROWS]      (default 10000)
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QHostAddress>
#include <QTableView>

#include <cstdio>

#include "kovtable.h"

namespace {

QString mac(int i)
{
    // Spread over the key space, so that appending is not already sorted.
    const quint32 key = quint32(i) * 2654435761u;
    return QStringLiteral("00:1A:%1:%2:%3:%4")
        .arg(key >> 24, 2, 16, QLatin1Char('0'))
        .arg((key >> 16) & 0xff, 2, 16, QLatin1Char('0'))
        .arg((key >> 8) & 0xff, 2, 16, QLatin1Char('0'))
        .arg(key & 0xff, 2, 16, QLatin1Char('0'))
        .toUpper();
}

QHostAddress address(int i)
{
    return QHostAddress(quint32(0x0a000000u + quint32(i)));
}

double ms(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

void run(int count, QTableView *view)
{
    const char *setting = view ? "with view" : "bare";
    KovTable table;
    if (view)
        view->setModel(&table);
    QList<QString> macs;
    for (int i = 0; i < count; ++i)
        macs.append(mac(i));

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i)
        table.addKov(QStringLiteral("1.7.0"), address(i), macs[i]);
    if (view)
        QCoreApplication::processEvents();
    std::printf("table %s: addKov of %d new rows: %.1f ms (%.2f us a row)\n", setting, count,
                ms(timer), ms(timer) * 1000 / count);

    timer.restart();
    for (int i = 0; i < count; ++i)
        table.addKov(QStringLiteral("1.7.0"), address(i), macs[i]);
    std::printf("table %s: addKov refreshing %d known rows, unchanged: %.1f ms\n", setting, count,
                ms(timer));

    timer.restart();
    for (int i = 0; i < count; ++i)
        table.addKov(QStringLiteral("1.7.1"), address(i), macs[i]);
    if (view)
        QCoreApplication::processEvents();
    std::printf("table %s: addKov updating %d known rows (new version): %.1f ms\n", setting, count,
                ms(timer));

    timer.restart();
    for (int i = 0; i < count; ++i) {
        table.liveCount();
        table.totalCount();
    }
    std::printf("table %s: status counts after each of %d replies: %.1f ms\n", setting, count,
                ms(timer));

    const struct
    {
        int column;
        Qt::SortOrder order;
        const char *name;
    } sorts[] = {
        {0, Qt::AscendingOrder, "MAC ascending"},
        {0, Qt::DescendingOrder, "MAC descending"},
        {1, Qt::AscendingOrder, "IP ascending"},
        {2, Qt::AscendingOrder, "version ascending"},
        {0, Qt::AscendingOrder, "MAC ascending again"},
    };
    for (const auto &sort : sorts) {
        timer.restart();
        if (view)
            view->sortByColumn(sort.column, sort.order);
        else
            table.sort(sort.column, sort.order);
        if (view)
            QCoreApplication::processEvents();
        std::printf("table %s: sort %d rows by %s: %.1f ms\n", setting, count, sort.name,
                    ms(timer));
    }
    if (view)
        view->setModel(nullptr);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                    : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    run(count, nullptr);
    QTableView view;
    view.setSortingEnabled(true);
    view.resize(640, 480);
    view.show();
    run(count, &view);
    return 0;
}
