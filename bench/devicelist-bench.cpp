// The window's device list at scale: with ROWS devices listed (sorted,
// dynamic sorting on), the time per keystroke in the filter field and per
// arriving reply, and the time to send the beacon to a /20 by unicast
// with the longest stall of the event loop meanwhile. Prints figures.
//
//   devicelist-bench [ROWS]      (default 10000)
#include <QApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTableView>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <cstdio>
#include <numeric>

#include "mainwindow.h"
#include "unicastprobe.h"

namespace {

QString mac(int i)
{
    // Spread over the key space, so that arrivals are not already in order.
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
    return QHostAddress(quint32(0x0a100000u + quint32(i)));
}

double ms(qint64 ns)
{
    return ns / 1e6;
}

void print(const char *what, QList<qint64> times)
{
    if (times.isEmpty())
        return;
    std::sort(times.begin(), times.end());
    const double mean = ms(std::accumulate(times.begin(), times.end(), qint64(0))) / times.size();
    std::printf("%s: %lld samples, mean %.2f ms, median %.2f ms, max %.2f ms\n", what,
                static_cast<long long>(times.size()), mean, ms(times.at(times.size() / 2)),
                ms(times.last()));
}

// One reply as the window handles it, then the events it caused (the
// proxy's re-sort, the view's update, a paint).
qint64 reply(MainWindow &window, const QString &version, int i)
{
    QElapsedTimer timer;
    timer.start();
    QMetaObject::invokeMethod(&window, "KovDetected", Q_ARG(QString, version),
                              Q_ARG(QHostAddress, address(i)), Q_ARG(QString, mac(i)));
    QCoreApplication::processEvents();
    return timer.nsecsElapsed();
}

qint64 keystroke(QLineEdit *edit, Qt::Key key, const QString &text)
{
    QElapsedTimer timer;
    timer.start();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(edit, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(edit, &release);
    QCoreApplication::processEvents();
    return timer.nsecsElapsed();
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                    : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;

    MainWindow window;
    window.show();
    auto *view = window.findChild<QTableView *>("tableView");
    auto *filter = window.findChild<QLineEdit *>("deviceFilter");
    if (!view || !filter) {
        std::fprintf(stderr, "no device list in the window\n");
        return 1;
    }
    QCoreApplication::processEvents();

    QElapsedTimer total;
    total.start();
    QList<qint64> arrivals;
    for (int i = 0; i < count; ++i) {
        const qint64 t = reply(window, QStringLiteral("1.7.0"), i);
        if (i >= count - 1000)
            arrivals.append(t);
    }
    std::printf("devicelist: %d devices listed through the window in %.0f ms\n", count,
                ms(total.nsecsElapsed()));
    print("devicelist: new device arriving (last 1,000 of them), sorted by MAC", arrivals);

    // A burst, as one readyRead delivers it: replies back to back, then
    // one pass of the event loop.
    QElapsedTimer burst;
    burst.start();
    for (int i = count; i < count + 1000; ++i)
        QMetaObject::invokeMethod(&window, "KovDetected", Q_ARG(QString, QStringLiteral("1.7.0")),
                                  Q_ARG(QHostAddress, address(i)), Q_ARG(QString, mac(i)));
    QCoreApplication::processEvents();
    std::printf("devicelist: burst of 1,000 new devices onto %d: %.1f ms (%.3f ms a reply)\n",
                count, ms(burst.nsecsElapsed()), ms(burst.nsecsElapsed()) / 1000);

    QList<qint64> refreshes;
    for (int i = 0; i < 1000; ++i)
        refreshes.append(reply(window, QStringLiteral("1.7.0"), (i * 7) % count));
    print("devicelist: known device answering again, unchanged", refreshes);

    view->sortByColumn(2, Qt::AscendingOrder);
    QCoreApplication::processEvents();
    QList<qint64> moves;
    for (int i = 0; i < 1000; ++i)
        moves.append(reply(window, QStringLiteral("1.8.%1").arg(i % 10), (i * 7) % count));
    print("devicelist: known device with a new version, sorted by version (row moves)", moves);
    view->sortByColumn(0, Qt::AscendingOrder);

    // Typing "00:1a:3f" into the filter, one key at a time, then erasing it.
    filter->setFocus();
    const int listed = view->model()->rowCount();
    QList<qint64> typing;
    const QString typed = QStringLiteral("00:1a:3f");
    for (const QChar c : typed)
        typing.append(keystroke(filter, Qt::Key(c.toUpper().unicode()), QString(c)));
    const int shown = view->model()->rowCount();
    QList<qint64> erasing;
    for (int i = 0; i < typed.size(); ++i)
        erasing.append(keystroke(filter, Qt::Key_Backspace, QString()));
    print("devicelist: keystroke typing into the filter", typing);
    print("devicelist: keystroke erasing the filter", erasing);
    std::printf("devicelist: \"%s\" shows %d of %d rows; erased, %d\n", qPrintable(typed), shown,
                listed, view->model()->rowCount());

    QList<qint64> filteredArrivals;
    filter->setText(QStringLiteral("1a:3"));
    QCoreApplication::processEvents();
    for (int i = 0; i < 500; ++i)
        filteredArrivals.append(reply(window, QStringLiteral("1.7.1"), (i * 13) % count));
    print("devicelist: known device with a new version while filtered", filteredArrivals);
    filter->clear();

    // A /20 by unicast, paced, with a timer measuring its own lateness.
    QUdpSocket devices;
    devices.bind(QHostAddress::AnyIPv4, 5999);
    qint64 received = 0;
    QObject::connect(&devices, &QUdpSocket::readyRead, [&] {
        while (devices.hasPendingDatagrams()) {
            devices.readDatagram(nullptr, 0);
            ++received;
        }
    });
    UnicastProbe probe;
    QTimer tick;
    tick.setInterval(5);
    QElapsedTimer sinceTick;
    qint64 stall = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        stall = std::max(stall, sinceTick.nsecsElapsed());
        sinceTick.restart();
    });
    const AddressRange block = AddressRange::parse(QStringLiteral("10.16.0.0/20"));
    QElapsedTimer probeTime;
    bool done = false;
    QObject::connect(&probe, &UnicastProbe::finished, [&] { done = true; });
    probeTime.start();
    sinceTick.start();
    tick.start();
    probe.probe({block});
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double sent = ms(probeTime.nsecsElapsed());
    tick.stop();
    QElapsedTimer drain;
    drain.start();
    while (received < block.count() && drain.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    std::printf("devicelist: /20 probe, %d beacons: sent in %.0f ms (%.0f a second), %lld "
                "received locally, longest event-loop stall %.1f ms (5 ms timer)\n",
                block.count(), sent, block.count() / (sent / 1000),
                static_cast<long long>(received), ms(stall - 5000000));
    return 0;
}
