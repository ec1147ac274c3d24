#include "irdecoder.h"
#include "irprotocoldefinition.h"

#include <QList>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

using Result = IRDecoder::Result;
using Durations = QList<double>; // microseconds; even index a mark, odd a space

constexpr double ProntoUnit = 0.241246; // microseconds per carrier-word unit
constexpr double Tolerance = 0.25;
// A space this long ends any frame: after a failed frame the next try
// starts behind one. Longer than NEC's 4.5 ms leader space at +25 %.
constexpr double FrameGap = 6000;
// Scores of a failed frame: how near it came. A matched leader beats any
// bare bi-phase run; a named near miss beats everything.
constexpr int LeaderScore = 100;
constexpr int NearMissScore = 1000;

bool near(double value, double nominal)
{
    return value >= nominal * (1 - Tolerance) && value <= nominal * (1 + Tolerance);
}

bool carrierNear(double hertz, double nominal)
{
    return std::fabs(hertz - nominal) <= 0.1 * nominal;
}

QString kHz(double hertz)
{
    return QString::number(hertz / 1000, 'f', 1) + QStringLiteral(" kHz");
}

// One attempt to read one protocol's frame at a position.
struct Attempt
{
    bool ok = false;
    int end = 0;    // index behind the frame's lead-out
    int score = -1; // for a failure: how near it came
    QString reason;
    Result result;
    // A hit, as the naming of its family needs it:
    int part = 0;            // 0 the once burst, 1 the repeat burst
    double period = 0;       // microseconds from its first mark to the end of its lead-out
    const char *family = ""; // of the table frame read; "nec" for tryNec's
    bool ditto = false;      // a table repeat frame that carries no function
};

Attempt miss(int score, const QString &reason)
{
    Attempt a;
    a.score = score;
    a.reason = reason;
    return a;
}

Attempt hit(IRDecoder::Protocol protocol, int end)
{
    Attempt a;
    a.ok = true;
    a.end = end;
    a.result.status = IRDecoder::Status::Recognised;
    a.result.protocol = protocol;
    return a;
}

// The frame decoded, but the carrier is too far from the protocol's.
Attempt checkCarrier(Attempt a, const char *name, double hertz, double nominal)
{
    if (!a.ok || carrierNear(hertz, nominal))
        return a;
    return miss(NearMissScore,
                QStringLiteral("%1 timing, but the carrier %2 is not within 10 % of %3")
                    .arg(QLatin1String(name), kHz(hertz), kHz(nominal)));
}

int byteAt(quint32 bits, int index)
{
    return int((bits >> (8 * index)) & 0xFF);
}

// NEC: 9 ms + 4.5 ms leader, 32 bits least significant first (562.5 us
// mark, then 562.5 us for 0 or 1687.5 us for 1), a stop mark. The repeat
// frame is 9 ms + 2.25 ms and a stop mark.
Attempt tryNec(const Durations &d, int i, double hertz)
{
    if (i + 3 >= d.size())
        return {};
    const double mark = d[i], space = d[i + 1];
    if (near(mark, 4500) && near(space, 4500))
        return miss(NearMissScore, QStringLiteral("NEC-like, but the leader is 4.5 ms + 4.5 ms"));
    if (!near(mark, 9000))
        return {};
    if (near(space, 2250)) {
        const double unit = (mark + space) / 20;
        if (!near(d[i + 2], unit) || d[i + 3] < 4 * unit)
            return miss(LeaderScore,
                        QStringLiteral("NEC-like repeat frame without its stop mark"));
        Attempt a = hit(IRDecoder::Protocol::NEC, i + 4);
        a.result.repeat = true;
        return checkCarrier(a, "NEC", hertz, 38000);
    }
    if (!near(space, 4500))
        return miss(LeaderScore / 2,
                    QStringLiteral(
                        "NEC-like, but the leader space is neither 4.5 ms nor 2.25 ms"));

    const double unit = (mark + space) / 24;
    quint32 bits = 0;
    int j = i + 2;
    for (int bit = 0; bit < 32; ++bit, j += 2) {
        if (j + 1 >= d.size() || d[j] < 0.5 * unit || d[j] >= 2 * unit || d[j + 1] < 0.5 * unit
            || d[j + 1] >= 4.5 * unit)
            return miss(LeaderScore + bit,
                        QStringLiteral("NEC-like, but only %1 of 32 bits could be read").arg(bit));
        if (d[j + 1] >= 2 * unit)
            bits |= 1u << bit;
    }
    if (j + 1 >= d.size() || d[j] < 0.5 * unit || d[j] >= 2 * unit || d[j + 1] < 4 * unit)
        return miss(LeaderScore + 32, QStringLiteral("NEC-like, but the stop mark is missing"));
    if (byteAt(bits, 3) != (~byteAt(bits, 2) & 0xFF))
        return miss(NearMissScore, QStringLiteral("NEC-like, function check byte wrong"));

    Attempt a = hit(IRDecoder::Protocol::NEC, j + 2);
    a.result.device = byteAt(bits, 0);
    a.result.function = byteAt(bits, 2);
    if (byteAt(bits, 1) != (~byteAt(bits, 0) & 0xFF))
        a.result.extended = byteAt(bits, 1);
    return checkCarrier(a, "NEC", hertz, 38000);
}

// SIRC: 2.4 ms + 0.6 ms leader, then bits least significant first as a
// 1.2 ms (1) or 0.6 ms (0) mark and a 0.6 ms space; the last space is the
// lead-out. 7 function bits, then 5 device bits (SIRC 15: 8; SIRC 20: 5
// and 8 extended).
Attempt trySirc(const Durations &d, int i, double hertz)
{
    if (i + 1 >= d.size() || !near(d[i], 2400) || !near(d[i + 1], 600))
        return {};
    const double unit = (d[i] + d[i + 1]) / 5;
    quint32 bits = 0;
    int count = 0;
    int j = i + 2;
    for (;; j += 2) {
        if (j + 1 >= d.size() || count == 32 || d[j] < 0.5 * unit || d[j] >= 2.5 * unit)
            return miss(LeaderScore + count,
                        QStringLiteral("SIRC-like, but a bit is broken after %1 bits").arg(count));
        if (d[j] >= 1.5 * unit)
            bits |= 1u << count;
        ++count;
        if (d[j + 1] >= 3 * unit)
            break;
        if (d[j + 1] < 0.5 * unit || d[j + 1] >= 1.5 * unit)
            return miss(LeaderScore + count,
                        QStringLiteral("SIRC-like, but a bit is broken after %1 bits").arg(count));
    }
    if (count != 12 && count != 15 && count != 20)
        return miss(LeaderScore + count,
                    QStringLiteral("SIRC-like, but %1 bits (12, 15 or 20 are read)").arg(count));

    Attempt a = hit(IRDecoder::Protocol::SIRC, j + 2);
    a.result.bits = count;
    a.result.function = int(bits & 0x7F);
    a.result.device = int((bits >> 7) & (count == 15 ? 0xFF : 0x1F));
    if (count == 20)
        a.result.extended = int((bits >> 12) & 0xFF);
    return checkCarrier(a, "SIRC", hertz, 40000);
}

// Reads bi-phase durations from d[j] on into unit levels ('1' carrier on),
// until a space of at least longSpace units or a mark of 'longest' units
// or more. Returns the index of the stopping space, or -1 when the data ends
// or a duration fits no unit count.
int unitLevels(const Durations &d, int j, double unit, double longSpace, int longest,
               QString &levels)
{
    for (; j < d.size(); ++j) {
        const bool mark = j % 2 == 0;
        const double q = d[j] / unit;
        if (!mark && q >= longSpace)
            return j;
        const int n = q < 0.5 ? 0 : std::max(1, int(std::lround(q)));
        if (n < 1 || n > longest)
            return -1;
        levels += QString(n, mark ? QLatin1Char('1') : QLatin1Char('0'));
    }
    return -1;
}

// Bi-phase pairs from levels[from] on; one is "01" when oneIsRising.
bool biphase(const QString &levels, int from, int count, bool oneIsRising, quint32 &value)
{
    value = 0;
    for (int k = 0; k < count; ++k) {
        const QStringView pair = QStringView(levels).mid(from + 2 * k, 2);
        const bool rising = pair == QLatin1String("01");
        if (!rising && pair != QLatin1String("10"))
            return false;
        value = (value << 1) | ((rising == oneIsRising) ? 1u : 0u);
    }
    return true;
}

// RC6: 2.664 ms + 0.888 ms leader, then bi-phase in 444 us halves (one is
// on-off): start bit 1, three mode bits, the toggle at double width, and
// for mode 0 a device and a function byte, most significant bit first.
Attempt tryRc6(const Durations &d, int i, double hertz)
{
    if (i + 1 >= d.size() || !near(d[i], 2664) || !near(d[i + 1], 888))
        return {};
    const double unit = (d[i] + d[i + 1]) / 8;
    QString levels;
    const int stop = unitLevels(d, i + 2, unit, 3.5, 3, levels);
    if (stop < 0)
        return miss(LeaderScore + levels.size() / 2,
                    QStringLiteral("RC6-like, but its bi-phase is broken"));
    if (levels.size() % 2 == 1)
        levels += QLatin1Char('0'); // a last off half runs into the lead-out
    quint32 start = 0, mode = 0;
    if (levels.size() < 12 || !biphase(levels, 0, 1, false, start) || start != 1
        || !biphase(levels, 2, 3, false, mode))
        return miss(LeaderScore,
                    QStringLiteral("RC6-like, but its start and mode bits are broken"));
    if (mode != 0)
        return miss(NearMissScore, QStringLiteral("RC6 mode %1: only mode 0 is read").arg(mode));
    const QStringView trailer = QStringView(levels).mid(8, 4);
    const int dataBits = (levels.size() - 12) / 2;
    quint32 data = 0;
    if ((trailer != QLatin1String("1100") && trailer != QLatin1String("0011")) || dataBits != 16
        || !biphase(levels, 12, 16, false, data))
        return miss(LeaderScore + 10,
                    QStringLiteral("RC6-like, but not 16 data bits behind a double-width toggle"));

    Attempt a = hit(IRDecoder::Protocol::RC6, stop + 1);
    a.result.toggle = trailer == QLatin1String("1100") ? 1 : 0;
    a.result.device = int(data >> 8);
    a.result.function = int(data & 0xFF);
    return checkCarrier(a, "RC6", hertz, 36000);
}

// RC5: bi-phase in 889 us halves (one is off-on), no leader; 14 bits, most
// significant first: start bit 1, second start bit (the inverted seventh
// function bit), toggle, 5 device bits, 6 function bits. The first start
// bit's off half is never sent. RC5x stops after the device bits for a
// pause of four halves, then sends 6 subdevice and 6 function bits.
Attempt tryRc5(const Durations &d, int i, double hertz)
{
    constexpr double unit = 889;
    QString levels = QStringLiteral("0");
    const int stop = unitLevels(d, i, unit, 2.75, 2, levels);
    if (levels.size() % 2 == 1)
        levels += QLatin1Char('0');
    if (stop < 0)
        return miss(levels.size() / 2,
                    QStringLiteral("RC5-like, but its bi-phase is broken after %1 bits")
                        .arg(levels.size() / 2 - 1));
    if (levels.size() == 16 && d[stop] / unit < 8 && stop + 1 < d.size()) {
        QString rest;
        const int end = unitLevels(d, stop + 1, unit, 2.75, 2, rest);
        if (end > 0 && rest.size() >= 22 && rest.size() <= 25)
            return miss(NearMissScore,
                        QStringLiteral("RC5x, with a subdevice field: only RC5 is read"));
    }
    quint32 bits = 0;
    if (levels.size() != 28 || !biphase(levels, 0, 14, true, bits))
        return miss(levels.size() / 2,
                    QStringLiteral("RC5-like, but %1 bits instead of 14").arg(levels.size() / 2));

    Attempt a = hit(IRDecoder::Protocol::RC5, stop + 1);
    a.result.toggle = int((bits >> 11) & 1);
    a.result.device = int((bits >> 6) & 0x1F);
    a.result.function = int(bits & 0x3F) | ((bits >> 12) & 1 ? 0 : 0x40);
    return checkCarrier(a, "RC5", hertz, 36000);
}

// One frame of the definition table to read: every distinct frame of
// every definition except the 9 ms NEC family's, which tryNec reads.
struct TableFrame
{
    int index; // into IRProtocolDefinition::all()
    const IRProtocolDefinition::Frame *frame;
};

bool sameFrame(const IRProtocolDefinition::Frame &a, const IRProtocolDefinition::Frame &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto &x, const auto &y) {
        return x.kind == y.kind && x.value == y.value && x.source == y.source && x.width == y.width
               && x.inverted == y.inverted;
    });
}

const QList<TableFrame> &tableFrames()
{
    static const QList<TableFrame> frames = [] {
        QList<TableFrame> list;
        const QList<IRProtocolDefinition> &all = IRProtocolDefinition::all();
        for (int k = 0; k < all.size(); ++k) {
            if (qstrcmp(all[k].family, "nec") == 0)
                continue;
            QList<const IRProtocolDefinition::Frame *> own{&all[k].intro};
            for (const IRProtocolDefinition::Frame &frame : all[k].repeats)
                own << &frame;
            for (const IRProtocolDefinition::Frame *frame : own) {
                const bool known = frame->isEmpty()
                                   || std::any_of(
                                       list.begin(), list.end(), [&](const TableFrame &t) {
                                           return qstrcmp(all[t.index].family, all[k].family) == 0
                                                  && sameFrame(*t.frame, *frame);
                                       });
                if (!known)
                    list.append({k, frame});
            }
        }
        return list;
    }();
    return frames;
}

// Reads one table frame at d[i]: a leader (a mark of more than one unit and
// its space) sets the time scale; bit marks are one unit, a bit's space
// says 0 or 1 by the midpoint between the two; the lead-out is any space
// of at least two 1-spaces. Fields read twice (~D after D) must agree,
// constants and the check byte must hold.
Attempt tryTableFrame(const Durations &d, int i, double hertz, const TableFrame &t)
{
    using Item = IRProtocolDefinition::Item;
    using Source = IRProtocolDefinition::Source;
    const IRProtocolDefinition &p = IRProtocolDefinition::all().at(t.index);
    const IRProtocolDefinition::Frame &frame = *t.frame;
    double unit = p.unit;
    int j = i;
    int k = 0;
    if (frame.size() > 1 && frame[0].kind == Item::Kind::Duration && frame[0].value > 1
        && frame[1].kind == Item::Kind::Duration && frame[1].value < 0) {
        if (j + 1 >= d.size() || !near(d[j], frame[0].value * unit)
            || !near(d[j + 1], -frame[1].value * unit))
            return {};
        unit = (d[j] + d[j + 1]) / (frame[0].value - frame[1].value);
        j += 2;
        k = 2;
    }
    const auto isMark = [&](double value) { return value >= 0.5 * unit && value < 2 * unit; };
    const double minLeadOut = 2 * p.oneSpace * unit;
    const double midpoint = (p.zeroSpace + p.oneSpace) / 2.0 * unit;
    quint32 values[5] = {0, 0, 0, 0, 0}; // by Source
    quint32 known[5] = {0, 0, 0, 0, 0};
    quint32 check = 0;
    bool hasCheck = false;
    for (; k < frame.size(); ++k) {
        const Item &item = frame[k];
        if (j >= d.size())
            return {};
        if (item.kind == Item::Kind::Duration && item.value > 0) {
            if (item.value == 1 ? !isMark(d[j]) : !near(d[j], item.value * unit))
                return {};
            ++j;
        } else if (item.kind == Item::Kind::Duration || item.kind == Item::Kind::Extent) {
            const bool last = k + 1 == frame.size();
            if (last ? d[j] < minLeadOut : !near(d[j], -item.value * unit))
                return {};
            ++j;
        } else {
            quint32 value = 0;
            for (int b = 0; b < item.width; ++b, j += 2) {
                if (j + 1 >= d.size() || !isMark(d[j]) || d[j + 1] < 0.5 * p.zeroSpace * unit
                    || d[j + 1] > 1.5 * p.oneSpace * unit)
                    return {};
                const quint32 bit = d[j + 1] >= midpoint ? 1 : 0;
                value |= bit << (p.msbFirst ? item.width - 1 - b : b);
            }
            const quint32 mask = item.width >= 32 ? ~0u : (1u << item.width) - 1;
            if (item.inverted)
                value = ~value & mask;
            const int s = int(item.source);
            if (item.source == Source::Constant) {
                if (value != (quint32(item.value) & mask))
                    return {};
            } else if (item.source == Source::Check) {
                check = value;
                hasCheck = true;
            } else {
                if ((values[s] ^ value) & known[s] & mask)
                    return {};
                values[s] |= value;
                known[s] |= mask;
            }
        }
    }
    const quint32 dev = values[int(Source::Device)], sub = values[int(Source::Subdevice)],
                  fun = values[int(Source::Function)];
    if (hasCheck && check != ((dev ^ sub ^ fun) & 0xFF))
        return {};

    Attempt a = hit(IRDecoder::Protocol(int(IRDecoder::Protocol::NEC1) + t.index), j);
    a.family = p.family;
    a.ditto = !known[int(Source::Function)];
    a.result.device = int(dev);
    a.result.function = int(fun);
    if (p.hasSubdevice() && (!p.subdeviceComplement || sub != (~dev & 0xFF)))
        a.result.extended = int(sub);
    return checkCarrier(a, p.title, hertz, p.carrier);
}

// What a scan of the bursts found.
struct Scan
{
    Result frame; // the first whole frame
    bool found = false;
    int first = -1;       // its index in hits
    QList<Attempt> hits;  // every frame read, in order
    bool repeats = false; // NEC repeat frames were seen
    bool unread = false;  // some stretch fitted no protocol
    Attempt nearest;      // the failure that came nearest
};

void scanPart(const Durations &d, double hertz, int part, Scan &scan)
{
    const auto take = [&](Attempt a, int i) {
        a.part = part;
        a.period = std::accumulate(d.begin() + i, d.begin() + a.end, 0.0);
        if (a.result.repeat) {
            scan.repeats = true;
        } else if (!scan.found && !a.ditto) {
            scan.frame = a.result;
            scan.found = true;
            scan.first = scan.hits.size();
        }
        scan.hits.append(a);
        return a.end;
    };
    int i = 0;
    while (i + 1 < d.size()) {
        bool read = false;
        for (auto attempt : {tryNec, tryRc6, trySirc, tryRc5}) {
            Attempt a = attempt(d, i, hertz);
            if (a.ok) {
                a.family = a.result.protocol == IRDecoder::Protocol::NEC ? "nec" : "";
                i = take(a, i);
                read = true;
                break;
            }
            if (a.score > scan.nearest.score)
                scan.nearest = a;
        }
        for (int t = 0; !read && t < tableFrames().size(); ++t) {
            const Attempt a = tryTableFrame(d, i, hertz, tableFrames().at(t));
            if (a.ok) {
                i = take(a, i);
                read = true;
            } else if (a.score > scan.nearest.score) {
                scan.nearest = a;
            }
        }
        if (read)
            continue;
        // Nothing fits here: go on behind the next frame gap.
        scan.unread = true;
        int j = i + 1;
        while (j < d.size() && d[j] < FrameGap)
            j += 2;
        i = j + 1;
    }
}

bool lasts108ms(const Attempt &a)
{
    return std::fabs(a.period - 108000) <= 0.015 * 108000;
}

// The name of the first whole frame's protocol where its family shares
// the frame: by the frames that follow it and, for the 9 ms NEC family,
// by its lead-out (see the header).
IRDecoder::Protocol familyName(const Scan &scan)
{
    using P = IRDecoder::Protocol;
    const Attempt &main = scan.hits.at(scan.first);
    const QList<Attempt> after = scan.hits.mid(scan.first + 1);
    if (qstrcmp(main.family, "nec") == 0) {
        if (scan.unread || scan.first != 0 || !lasts108ms(main))
            return P::NEC;
        const bool dittos = std::all_of(after.begin(), after.end(), [](const Attempt &a) {
            return a.result.repeat && lasts108ms(a);
        });
        if (dittos && (main.part == 0 || !after.isEmpty()))
            return P::NEC1;
        const bool frames = std::all_of(after.begin(), after.end(), [&](const Attempt &a) {
            return qstrcmp(a.family, "nec") == 0 && !a.result.repeat && lasts108ms(a)
                   && a.result.device == main.result.device
                   && a.result.extended == main.result.extended
                   && a.result.function == main.result.function;
        });
        const bool inRepeat = main.part == 1 || (!after.isEmpty() && after.last().part == 1);
        return frames && inRepeat ? P::NEC2 : P::NEC;
    }
    if (main.result.protocol == P::NECx1 || main.result.protocol == P::NECx2) {
        const bool ditto = !after.isEmpty() && after.first().ditto
                           && qstrcmp(after.first().family, "necx") == 0;
        return ditto ? P::NECx1 : P::NECx2;
    }
    return main.result.protocol;
}

Result malformed(const QString &reason, Ccf::Result ccf = Ccf::Result::Ok)
{
    Result r;
    r.status = IRDecoder::Status::Malformed;
    r.reason = reason;
    r.ccf = ccf;
    return r;
}

Result notRecognised(const QString &reason)
{
    Result r;
    r.status = IRDecoder::Status::NotRecognised;
    r.reason = reason;
    return r;
}

} // namespace

QString IRDecoder::Result::text() const
{
    if (status == Status::Malformed) {
        if (ccf != Ccf::Result::Ok)
            return Ccf::warningText(ccf);
        return QStringLiteral("malformed code: ") + reason;
    }
    if (status == Status::NotRecognised) {
        if (reason.isEmpty())
            return QStringLiteral("not a recognised protocol");
        return QStringLiteral("not a recognised protocol (%1)").arg(reason);
    }
    switch (protocol) {
    case Protocol::RC5:
    case Protocol::RC6:
        return QStringLiteral("%1: device %2, function %3, toggle %4")
            .arg(QLatin1String(protocol == Protocol::RC5 ? "RC5" : "RC6"))
            .arg(device)
            .arg(function)
            .arg(toggle);
    case Protocol::SIRC:
        if (bits == 20)
            return QStringLiteral("SIRC 20: device %1, function %2, extended %3")
                .arg(device)
                .arg(function)
                .arg(extended);
        return QStringLiteral("SIRC %1: device %2, function %3")
            .arg(bits)
            .arg(device)
            .arg(function);
    case Protocol::NEC:
        if (repeat)
            return QStringLiteral("NEC: repeat frames only");
        if (extended >= 0)
            return QStringLiteral("NEC: device %1, subdevice %2, function %3")
                .arg(device)
                .arg(extended)
                .arg(function);
        return QStringLiteral("NEC: device %1, function %2").arg(device).arg(function);
    case Protocol::None:
        break;
    default: {
        const int index = int(protocol) - int(Protocol::NEC1);
        const QList<IRProtocolDefinition> &all = IRProtocolDefinition::all();
        if (index < 0 || index >= all.size())
            break;
        const IRProtocolDefinition &definition = all.at(index);
        QString text = QStringLiteral("%1: device %2")
                           .arg(QLatin1String(definition.title))
                           .arg(device);
        if (extended >= 0)
            text += QStringLiteral(", subdevice %1").arg(extended);
        return text + QStringLiteral(", function %1").arg(function);
    }
    }
    return QString();
}

IRDecoder::Result IRDecoder::decode(const QString &ccf)
{
    quint16 words[Ccf::MaxWords];
    int count = 0;
    const Ccf::Result check = Ccf::parse(ccf, words, count);
    switch (check) {
    case Ccf::Result::Ok:
        return decode(words, count);
    case Ccf::Result::InvalidValue: {
        const QStringList tokens = ccf.split(QLatin1Char(' '));
        for (int i = 0; i < tokens.size(); ++i) {
            bool ok = false;
            tokens.at(i).toInt(&ok, 16);
            if (!ok)
                return malformed(QStringLiteral("word %1 (\"%2\") is not hexadecimal")
                                     .arg(i + 1)
                                     .arg(tokens.at(i).left(16)),
                                 check);
        }
        break;
    }
    case Ccf::Result::InvalidString:
        return malformed(decode(words, count).reason, check);
    case Ccf::Result::TooMany:
        return malformed(QStringLiteral("%1 words, more than %2").arg(count).arg(Ccf::MaxWords),
                         check);
    case Ccf::Result::TooFew:
    case Ccf::Result::NoOutput:
        break;
    }
    return malformed(QStringLiteral("fewer than 4 words"), check);
}

IRDecoder::Result IRDecoder::decode(const quint16 *words, int count)
{
    if (count < 4)
        return malformed(QStringLiteral("fewer than 4 words"));
    if (count % 2 == 1)
        return malformed(QStringLiteral("an odd number of words (%1)").arg(count));
    const int once = words[2], repeat = words[3];
    const int expected = 4 + 2 * (once + repeat);
    if (expected != count)
        return malformed(
            QStringLiteral("%1 words, but its header says %2").arg(count).arg(expected));
    if (words[1] == 0)
        return malformed(QStringLiteral("the carrier word is 0"));
    if (words[0] != 0)
        return notRecognised(
            QStringLiteral("not a learned code: the first word is %1, not 0000")
                .arg(QString::number(words[0], 16).rightJustified(4, QLatin1Char('0')).toUpper()));
    if (once + repeat == 0)
        return notRecognised(QStringLiteral("no durations"));

    const double period = words[1] * ProntoUnit;
    const double hertz = 1e6 / period;
    Durations onceBurst, repeatBurst;
    for (int i = 0; i < 2 * once; ++i)
        onceBurst.append(words[4 + i] * period);
    for (int i = 0; i < 2 * repeat; ++i)
        repeatBurst.append(words[4 + 2 * once + i] * period);

    Scan scan;
    scanPart(onceBurst, hertz, 0, scan);
    scanPart(repeatBurst, hertz, 1, scan);
    if (scan.found) {
        Result r = scan.frame;
        r.protocol = familyName(scan);
        return r;
    }
    // Repeat frames stand for NEC only when they are all there is: beside
    // a NEC frame with a wrong check byte, say, or in noise, they prove
    // nothing.
    if (scan.repeats && !scan.unread) {
        Result r;
        r.status = Status::Recognised;
        r.protocol = Protocol::NEC;
        r.repeat = true;
        return r;
    }
    // A short run of bi-phase halves is no evidence of anything.
    return notRecognised(scan.nearest.score >= 8 ? scan.nearest.reason : QString());
}
