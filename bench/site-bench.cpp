// A site of many devices in the tool's window (offscreen): the time to
// open it and list every device as missing, per keystroke in the filter
// field, and for one save after a name edit and after a reply that moved
// a device. Prints figures.
//
//   site-bench [DEVICES] [RUNS]      (default 5000 and 5)
#include <QApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "mainwindow.h"
#include "site.h"
#include "sitecontroller.h"
#include "sitefile.h"
#include "sitejson.h"
#include "sitesession.h"

namespace {

QString mac(int i)
{
    return QStringLiteral("00:1E:C0:%1:%2:%3")
        .arg((i >> 16) & 0xff, 2, 16, QLatin1Char('0'))
        .arg((i >> 8) & 0xff, 2, 16, QLatin1Char('0'))
        .arg(i & 0xff, 2, 16, QLatin1Char('0'))
        .toUpper();
}

QString address(int i)
{
    return QHostAddress(quint32(0x0a200000u + quint32(i))).toString();
}

double ms(qint64 ns)
{
    return ns / 1e6;
}

// The GUI thread's own CPU time: on a busy machine wall time also holds the
// time other programs had the CPU.
qint64 cpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

struct Sample
{
    qint64 wall = 0;
    qint64 cpu = 0;
};

// Times what runs in the GUI thread from construction to take().
class Stopwatch
{
public:
    Stopwatch() : cpu(cpuNs()) { timer.start(); }
    Sample take() const { return {timer.nsecsElapsed(), cpuNs() - cpu}; }

private:
    QElapsedTimer timer;
    qint64 cpu;
};

void print(const char *what, const QList<Sample> &samples)
{
    QList<qint64> wall, cpu;
    for (const Sample &s : samples) {
        wall.append(s.wall);
        cpu.append(s.cpu);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf("%s: %lld runs, wall min %.1f / median %.1f / max %.1f ms; GUI thread CPU min "
                "%.1f / median %.1f / max %.1f ms\n",
                what, static_cast<long long>(wall.size()), ms(wall.first()),
                ms(wall.at(wall.size() / 2)), ms(wall.last()), ms(cpu.first()),
                ms(cpu.at(cpu.size() / 2)), ms(cpu.last()));
}

Sample keystroke(QLineEdit *edit, Qt::Key key, const QString &text)
{
    const Stopwatch timer;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(edit, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(edit, &release);
    QCoreApplication::processEvents();
    return timer.take();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 5000;
    const int runs = std::max(1, argc > 2 ? QByteArray(argv[2]).toInt() : 5);

    QTemporaryDir dir;
    const QString path = dir.filePath("big.kovsite");
    Site site;
    site.name = "Bench";
    site.targetVersion = "1.7.0";
    for (int i = 0; i < count; ++i) {
        SiteDevice device;
        device.mac = mac(i);
        device.name = QStringLiteral("Room %1 TV").arg(i);
        device.location = QStringLiteral("Floor %1").arg(i / 100);
        device.notes = QStringLiteral("rack %1, behind the screen").arg(i % 17);
        device.lastAddress = address(i);
        device.lastVersion = i % 3 ? "1.7.0" : "1.6.2";
        device.lastSeen = QDateTime(QDate(2026, 12, 1), QTime(9, 0), Qt::UTC).addSecs(i);
        site.devices.append(device);
    }
    const QByteArray bytes = SiteJson::serialise(site);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    file.close();
    std::printf("site: %d devices, file of %lld bytes\n", count,
                static_cast<long long>(bytes.size()));

    MainWindow window;
    window.show();
    auto *sites = window.findChild<SiteController *>("siteController");
    auto *view = window.findChild<QTableView *>("tableView");
    auto *filter = window.findChild<QLineEdit *>("deviceFilter");
    if (!sites || !view || !filter) {
        std::fprintf(stderr, "no site controller or device list in the window\n");
        return 1;
    }
    QCoreApplication::processEvents();

    QList<Sample> opens;
    for (int run = 0; run < runs; ++run) {
        sites->closeSite();
        QCoreApplication::processEvents();
        const Stopwatch timer;
        if (!sites->openSite(path, false)) {
            std::fprintf(stderr, "site not opened\n");
            return 1;
        }
        QCoreApplication::processEvents();
        opens.append(timer.take());
    }
    std::printf("site: %d rows listed, %d of them missing\n", view->model()->rowCount(),
                sites->session()->site().devices.size() == count ? count : -1);
    print("site: open and list every device as missing", opens);

    // "room 12" typed into the filter, one key at a time, then erased.
    filter->setFocus();
    QList<Sample> typing;
    QList<Sample> erasing;
    const QString typed = QStringLiteral("room 12");
    for (int run = 0; run < runs; ++run) {
        for (const QChar c : typed)
            typing.append(keystroke(filter, Qt::Key(c.toUpper().unicode()), QString(c)));
        for (int i = 0; i < typed.size(); ++i)
            erasing.append(keystroke(filter, Qt::Key_Backspace, QString()));
    }
    print("site: keystroke typing into the filter", typing);
    print("site: keystroke erasing the filter", erasing);

    SiteSession *session = sites->session();
    QList<Sample> edits;
    for (int run = 0; run < runs; ++run) {
        const Stopwatch timer;
        QString error;
        if (!session->setFields(mac(run * 7), QStringLiteral("Renamed %1").arg(run), "Lobby",
                                QString(), &error)) {
            std::fprintf(stderr, "edit refused: %s\n", qPrintable(error));
            return 1;
        }
        QCoreApplication::processEvents();
        edits.append(timer.take());
    }
    print("site: name edit, saved at once", edits);

    QList<Sample> moves;
    for (int run = 0; run < runs; ++run) {
        const Stopwatch timer;
        QMetaObject::invokeMethod(&window, "KovDetected", Q_ARG(QString, "1.7.0"),
                                  Q_ARG(QHostAddress, QHostAddress(address(count + run))),
                                  Q_ARG(QString, mac(run * 11)));
        QCoreApplication::processEvents();
        moves.append(timer.take());
    }
    print("site: reply from a device at a new address, saved at once", moves);
    sites->closeSite();
    return 0;
}
