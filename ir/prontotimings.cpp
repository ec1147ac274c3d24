#include "prontotimings.h"

#include "ccfparser.h"

bool ProntoTimings::render(int hertz, const QList<int> &onceMicros, const QList<int> &repeatMicros,
                           QString *ccf, QString *error)
{
    if (hertz < 10000 || hertz > 500000) {
        *error = QStringLiteral("carrier of %1 Hz is outside 10 kHz to 500 kHz").arg(hertz);
        return false;
    }
    if (onceMicros.size() % 2 || repeatMicros.size() % 2) {
        *error = QStringLiteral("marks and spaces do not pair up");
        return false;
    }
    if (4 + onceMicros.size() + repeatMicros.size() > Ccf::MaxWords) {
        *error = QStringLiteral("%1 durations are more than a code holds (%2)")
                     .arg(onceMicros.size() + repeatMicros.size())
                     .arg(Ccf::MaxWords - 4);
        return false;
    }
    const auto word = [](qint64 value) {
        return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
    };
    QStringList words{word(0), word(qint64(4145146.0 / hertz)), word(onceMicros.size() / 2),
                      word(repeatMicros.size() / 2)};
    for (const QList<int> *part : {&onceMicros, &repeatMicros}) {
        for (int micros : *part) {
            if (micros <= 0) {
                *error = QStringLiteral("a duration of %1 us").arg(micros);
                return false;
            }
            const qint64 cycles = qMax<qint64>(1, qint64(double(micros) * hertz / 1e6));
            if (cycles > 0xFFFF) {
                *error = QStringLiteral("a duration of %1 us is too long for a code").arg(micros);
                return false;
            }
            words << word(cycles);
        }
    }
    *ccf = words.join(QLatin1Char(' '));
    return true;
}
