// Device replies at scale, through the tool's own reply socket and table.
//
//   discovery-bench burst N [queued|live]
//       N distinct replies sent to UDP 5998 as fast as a socket can send
//       them: "queued" sends them all before the event loop runs (the
//       window busy while a subnet answers), "live" from a thread while it
//       runs. Prints rows listed / N and the time until the table was
//       complete.
//   discovery-bench serve SECONDS
//       A listening host for other benchmarks: prints "row MAC IP VERSION"
//       for every row added, then "rows N" after SECONDS.
//
// Run it only inside a private network namespace (bench/discovery does).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QObject>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "kovdetector.h"
#include "kovtable.h"

class Listing : public QObject
{
    Q_OBJECT

public:
    explicit Listing(bool print, QObject *parent = nullptr) : QObject(parent), print(print)
    {
        connect(&detector, SIGNAL(detected(QString, QHostAddress, QString)), this,
                SLOT(KovDetected(QString, QHostAddress, QString)));
    }

    KovTable table;
    KovDetector detector;
    QElapsedTimer sinceLastRow;
    qint64 replies = 0;

private slots:
    void KovDetected(QString version, QHostAddress ip, QString mac)
    {
        ++replies;
        if (table.addKov(version, ip, mac)) {
            sinceLastRow.restart();
            if (print) {
                std::printf("row %s %s %s\n", qPrintable(mac), qPrintable(ip.toString()),
                            qPrintable(version));
                std::fflush(stdout);
            }
        }
        // The window reads both counts for its status line at every reply.
        table.liveCount();
        table.totalCount();
    }

private:
    bool print;
};

namespace {

QByteArray reply(int i)
{
    return QStringLiteral("KOV-1,1.7.%1,10.%2.%3.%4,00:1A:2B:%5:%6:%7")
        .arg(i % 10)
        .arg((i >> 16) & 0xff)
        .arg((i >> 8) & 0xff)
        .arg(i & 0xff)
        .arg((i >> 16) & 0xff, 2, 16, QLatin1Char('0'))
        .arg((i >> 8) & 0xff, 2, 16, QLatin1Char('0'))
        .arg(i & 0xff, 2, 16, QLatin1Char('0'))
        .toLatin1();
}

// Plain sends, so that a sending thread shares nothing with Qt.
void sendReplies(int count)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(KovDetector::ReplyPort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < count; ++i) {
        const QByteArray bytes = reply(i);
        ::sendto(fd, bytes.constData(), size_t(bytes.size()), 0,
                 reinterpret_cast<const sockaddr *>(&to), sizeof to);
    }
    ::close(fd);
}

// Datagrams the kernel dropped at the reply socket: the last column of
// its line in /proc/net/udp (local port 5998 is 176E).
long replySocketDrops()
{
    QFile file(QStringLiteral("/proc/net/udp"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    long drops = 0;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 12 && fields[1].endsWith(":176E"))
            drops += fields.last().toLong();
    }
    return drops;
}

int burst(int count, bool live)
{
    Listing listing(false);
    QElapsedTimer clock;
    clock.start();
    listing.sinceLastRow.start();
    std::thread sender;
    if (live)
        sender = std::thread(sendReplies, count);
    else
        sendReplies(count);
    const qint64 sent = live ? -1 : clock.elapsed();

    // Until the table is complete, or nothing new came for a second.
    qint64 complete = -1;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (listing.table.totalCount() == count) {
            complete = clock.nsecsElapsed() / 1000;
            QCoreApplication::quit();
        } else if (listing.sinceLastRow.elapsed() > 1000) {
            QCoreApplication::quit();
        }
    });
    poll.start(0);
    QCoreApplication::exec();
    if (sender.joinable())
        sender.join();

    const int rows = listing.table.totalCount();
    std::printf("discovery burst N=%d (%s): rows listed %d / %d (%.1f %%), replies read %lld, "
                "kernel drops %ld, ",
                count, live ? "live" : "queued", rows, count, 100.0 * rows / count,
                listing.replies, replySocketDrops());
    if (complete >= 0)
        std::printf("table complete after %.2f ms", complete / 1000.0);
    else
        std::printf("table never complete");
    if (sent >= 0)
        std::printf(" (sending took %lld ms)", sent);
    std::printf("\n");
    return rows == count ? 0 : 1;
}

int serve(int seconds)
{
    Listing listing(true);
    listing.sinceLastRow.start();
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    std::printf("listening\n");
    std::fflush(stdout);
    QCoreApplication::exec();
    std::printf("rows %d replies %lld\n", listing.table.totalCount(), listing.replies);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args[1] == QLatin1String("burst"))
        return burst(args[2].toInt(), args.size() > 3 && args[3] == QLatin1String("live"));
    if (args.size() >= 3 && args[1] == QLatin1String("serve"))
        return serve(args[2].toInt());
    std::fprintf(stderr, "usage: %s burst N [queued|live] | serve SECONDS\n", argv[0]);
    return 2;
}

#include "discovery-bench.moc"
