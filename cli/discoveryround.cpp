#include "discoveryround.h"

#include <QEventLoop>
#include <QRegularExpression>
#include <QTimer>

#include "unicastprobe.h"

DiscoveryRound::DiscoveryRound(QObject *parent) : QObject(parent)
{
    connect(&detector, &KovDetector::detected, &table, &KovTable::addKov);
}

bool DiscoveryRound::isListening() const
{
    return detector.isListening();
}

void DiscoveryRound::run(int waitMs, const std::function<bool()> &enough,
                         const QList<AddressRange> &ranges)
{
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (enough) {
        // Queued, so the table has taken the answer in before we look.
        connect(
            &detector, &KovDetector::detected, &loop,
            [&] {
                if (enough())
                    loop.quit();
            },
            Qt::QueuedConnection);
    }
    // The wait starts once the last unicast beacon is out; the probe may
    // finish at once, inside probe().
    UnicastProbe probe;
    connect(&probe, &UnicastProbe::finished, &deadline, [&] { deadline.start(waitMs); });
    KovDetector::sendBeacon();
    if (ranges.isEmpty())
        deadline.start(waitMs);
    else
        probe.probe(ranges);
    loop.exec();
}

QList<QSharedPointer<KovInfo>> DiscoveryRound::devices()
{
    table.sort(0, Qt::AscendingOrder);
    QList<QSharedPointer<KovInfo>> list;
    for (int row = 0; row < table.rowCount(); ++row)
        list.append(table.getKov(table.index(row, 0)));
    return list;
}

QSharedPointer<KovInfo> DiscoveryRound::findMac(const QString &mac)
{
    const QString wanted = normalMac(mac);
    for (int row = 0; row < table.rowCount(); ++row) {
        QSharedPointer<KovInfo> kov = table.getKov(table.index(row, 0));
        if (kov && !wanted.isEmpty() && normalMac(kov->mac.trimmed()) == wanted)
            return kov;
    }
    return {};
}

QString DiscoveryRound::normalMac(const QString &text)
{
    static const QRegularExpression form(QStringLiteral(
        "^([0-9A-Fa-f]{2})([:-]?)([0-9A-Fa-f]{2})\\2([0-9A-Fa-f]{2})\\2([0-9A-Fa-f]{2})\\2"
        "([0-9A-Fa-f]{2})\\2([0-9A-Fa-f]{2})$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return QString();
    QStringList bytes;
    for (int i : {1, 3, 4, 5, 6, 7})
        bytes.append(match.captured(i).toUpper());
    return bytes.join(QLatin1Char(':'));
}

QString DiscoveryRound::macOf(const QHostAddress &address)
{
    for (int row = 0; row < table.rowCount(); ++row) {
        const QSharedPointer<KovInfo> kov = table.getKov(table.index(row, 0));
        if (kov && kov->address == address)
            return kov->mac;
    }
    return QString();
}
