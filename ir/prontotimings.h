#pragma once

#include <QList>
#include <QString>

// Renders mark/space durations in microseconds (marks at even indexes) as a
// Pronto learned code: format word 0000, the frequency word (4145146 / Hz,
// truncated), the pair counts of the once and repeat parts, then each
// duration in carrier cycles (truncated, at least 1). For timings read from
// files (LIRC remotes, raw captures) rather than built by IRCode.
namespace ProntoTimings {
// False with *error when a part has an odd count, a duration is not
// positive, the carrier is outside 10 kHz to 500 kHz, a cycle count does not
// fit in a word, or the code would be longer than the CCF field takes.
bool render(int hertz, const QList<int> &onceMicros, const QList<int> &repeatMicros, QString *ccf,
            QString *error);
}
