#include "unicastprobe.h"

#include "kovdetector.h"

UnicastProbe::UnicastProbe(QObject *parent) : QObject(parent)
{
    sliceTimer.setInterval(SliceInterval);
    connect(&sliceTimer, &QTimer::timeout, this, &UnicastProbe::sendSlice);
}

UnicastProbe::~UnicastProbe() = default;

int UnicastProbe::pending() const
{
    int total = 0;
    for (const AddressRange &range : queue)
        total += range.count();
    return total - nextIndex;
}

void UnicastProbe::probe(const QList<AddressRange> &ranges)
{
    const bool wasActive = isActive();
    for (const AddressRange &range : ranges) {
        if (!range.isValid() || range.count() == 0)
            continue;
        // The range being sent counts as queued only if its start is
        // still ahead; otherwise it is sent again in full after the rest.
        const bool queued = queue.indexOf(range, wasActive && nextIndex > 0 ? 1 : 0) >= 0;
        if (!queued)
            queue.append(range);
    }
    if (queue.isEmpty()) {
        emit finished();
        return;
    }
    if (!wasActive) {
        nextIndex = 0;
        sentCount = 0;
        clock.start();
        sendSlice();
        if (isActive())
            sliceTimer.start();
    }
}

void UnicastProbe::cancel()
{
    const bool wasActive = isActive();
    sliceTimer.stop();
    queue.clear();
    nextIndex = 0;
    if (wasActive)
        emit finished();
}

void UnicastProbe::sendSlice()
{
    // Cumulative budget since the probe began: never ahead of MaxRate.
    const qint64 allowed = 1 + clock.elapsed() * MaxRate / 1000;
    while (!queue.isEmpty() && sentCount < allowed) {
        const AddressRange &range = queue.first();
        KovDetector::sendBeaconTo(socket, range.at(nextIndex));
        ++sentCount;
        if (++nextIndex >= range.count()) {
            queue.removeFirst();
            nextIndex = 0;
        }
    }
    if (queue.isEmpty()) {
        sliceTimer.stop();
        emit finished();
    }
}
