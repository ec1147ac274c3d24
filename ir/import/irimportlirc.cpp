#include "irimportlirc.h"

#include <QList>
#include <QRegularExpression>
#include <QStringList>

#include "irimportsink.h"

namespace {

struct Pair
{
    qint64 pulse = 0;
    qint64 space = 0;
    bool isSet() const { return pulse > 0 || space > 0; }
};

struct KeyCode
{
    int line = 0;
    QString name;
    QList<quint64> values;
};

struct RawCode
{
    int line = 0;
    QString name;
    QList<qint64> durations;
};

struct Remote
{
    int line = 0;
    QString name;
    int bits = 0;
    QStringList flags;
    Pair header, one, zero, pre, post, repeat;
    qint64 plead = 0, ptrail = 0, gap = 0, rc6Mask = 0;
    int preBits = 0, postBits = 0;
    quint64 preData = 0, postData = 0;
    int frequency = 38000;
    QList<KeyCode> codes;
    QList<RawCode> raw;
};

// Marks and spaces in microseconds, neighbours of one level merged; a
// leading space is dropped (nothing is sent before the first mark).
class Levels
{
public:
    void mark(qint64 us) { add(us, true); }
    void space(qint64 us) { add(us, false); }
    qint64 total() const
    {
        qint64 sum = 0;
        for (qint64 d : durations)
            sum += d;
        return sum;
    }
    bool endsInMark() const { return durations.size() % 2 == 1; }
    // Ends the frame: a frame period (CONST_LENGTH) or a gap after it.
    void finish(qint64 gap, bool constLength)
    {
        const qint64 length = total();
        space(constLength && gap > length ? gap - length : gap);
    }
    QList<qint64> durations;

private:
    void add(qint64 us, bool isMark)
    {
        if (us <= 0 || (durations.isEmpty() && !isMark))
            return;
        if (!durations.isEmpty() && endsInMark() == isMark)
            durations.last() += us;
        else
            durations.append(us);
    }
};

bool toNumber(const QString &text, quint64 *value)
{
    bool ok = false;
    *value = text.toULongLong(&ok, 0);
    return ok;
}

quint64 reversed(quint64 value, int bits)
{
    quint64 out = 0;
    for (int i = 0; i < bits; ++i)
        out |= ((value >> i) & 1) << (bits - 1 - i);
    return out;
}

class Renderer
{
public:
    explicit Renderer(const Remote &r) : remote(r) { }

    bool has(const char *flag) const
    {
        return remote.flags.contains(QLatin1String(flag), Qt::CaseInsensitive);
    }

    // Bits of one field, most significant first (REVERSE: least first);
    // bitIndex counts from the first bit of the whole code for rc6_mask.
    void field(Levels &levels, quint64 value, int bits, int &bitIndex) const
    {
        if (has("REVERSE"))
            value = reversed(value, bits);
        const bool rc5 = has("RC5") || has("SHIFT_ENC");
        const bool rc6 = has("RC6");
        const int totalBits = remote.preBits + remote.bits + remote.postBits;
        for (int i = bits - 1; i >= 0; --i, ++bitIndex) {
            const bool bit = (value >> i) & 1;
            const Pair &p = bit ? remote.one : remote.zero;
            // rc6_mask names bits by their place from the end of the code.
            const int fromEnd = totalBits - 1 - bitIndex;
            const int scale = rc6 && fromEnd >= 0 && fromEnd < 64
                                      && (quint64(remote.rc6Mask) >> fromEnd & 1)
                                  ? 2
                                  : 1;
            if (rc5) { // a one is space then mark
                if (bit) {
                    levels.space(p.space * scale);
                    levels.mark(p.pulse * scale);
                } else {
                    levels.mark(p.pulse * scale);
                    levels.space(p.space * scale);
                }
            } else if (rc6) { // a one is mark then space
                if (bit) {
                    levels.mark(p.pulse * scale);
                    levels.space(p.space * scale);
                } else {
                    levels.space(p.space * scale);
                    levels.mark(p.pulse * scale);
                }
            } else {
                levels.mark(p.pulse);
                levels.space(p.space);
            }
        }
    }

    QList<qint64> frame(quint64 code) const
    {
        Levels levels;
        levels.mark(remote.header.pulse);
        levels.space(remote.header.space);
        levels.mark(remote.plead);
        int bitIndex = 0;
        field(levels, remote.preData, remote.preBits, bitIndex);
        levels.mark(remote.pre.pulse);
        levels.space(remote.pre.space);
        field(levels, code, remote.bits, bitIndex);
        levels.mark(remote.post.pulse);
        levels.space(remote.post.space);
        field(levels, remote.postData, remote.postBits, bitIndex);
        levels.mark(remote.ptrail);
        levels.finish(remote.gap, has("CONST_LENGTH"));
        return levels.durations;
    }

    QList<qint64> ditto() const
    {
        Levels levels;
        levels.mark(remote.repeat.pulse);
        levels.space(remote.repeat.space);
        levels.mark(remote.ptrail);
        levels.finish(remote.gap, has("CONST_LENGTH"));
        return levels.durations;
    }

    const Remote &remote;
};

QList<int> toInts(const QList<qint64> &durations, bool *ok)
{
    QList<int> out;
    *ok = true;
    for (qint64 d : durations) {
        if (d <= 0 || d > 10000000) {
            *ok = false;
            return out;
        }
        out.append(int(d));
    }
    return out;
}

const char *const UnknownEncodings[] = {"SPACE_FIRST", "GOLDSTAR", "GRUNDIG", "BO",
                                        "SERIAL",      "XMP",      "RCMM"};

void emitRemote(const Remote &remote, const QString &equipment, IRImportSink *sink)
{
    Q_UNUSED(equipment);
    const QString &own = remote.name;
    const Renderer renderer(remote);
    const int count = remote.codes.size() + remote.raw.size();
    const auto skipAll = [&](const QString &why) {
        sink->skip(remote.line,
                   QStringLiteral("remote \"%1\": %2 %3 %4")
                       .arg(remote.name)
                       .arg(count)
                       .arg(count == 1 ? QStringLiteral("code") : QStringLiteral("codes"))
                       .arg(why));
    };
    if (count == 0) {
        sink->skip(remote.line, QStringLiteral("remote \"%1\": no codes").arg(remote.name));
        return;
    }
    for (const char *encoding : UnknownEncodings) {
        if (renderer.has(encoding)) {
            skipAll(QStringLiteral("in encoding %1: not supported").arg(QLatin1String(encoding)));
            return;
        }
    }
    if (remote.frequency < 10000 || remote.frequency > 500000) {
        skipAll(QStringLiteral("with a carrier of %1 Hz: not sent").arg(remote.frequency));
        return;
    }
    for (const RawCode &raw : remote.raw) {
        QList<qint64> durations = raw.durations;
        if (durations.size() % 2)
            durations.append(remote.gap > 0 ? remote.gap : 100000);
        bool ok = false;
        const QList<int> micros = toInts(durations, &ok);
        if (!ok || durations.isEmpty()) {
            sink->skip(raw.line, QStringLiteral("%1: durations out of range").arg(raw.name));
            continue;
        }
        sink->addTimings(raw.line, own, raw.name, remote.frequency, {}, micros, false);
    }
    if (remote.codes.isEmpty())
        return;
    if (!remote.one.isSet() || !remote.zero.isSet()) {
        skipAll(QStringLiteral("without timings (no one and zero): not rendered"));
        return;
    }
    if (remote.gap <= 0) {
        skipAll(QStringLiteral("without a gap: not rendered"));
        return;
    }
    if (remote.bits <= 0) {
        skipAll(QStringLiteral("without bits: not rendered"));
        return;
    }
    bool dittoOk = true;
    const QList<int> ditto = remote.repeat.isSet() ? toInts(renderer.ditto(), &dittoOk)
                                                   : QList<int>();
    for (const KeyCode &key : remote.codes) {
        if (key.values.size() != 1) {
            sink->skip(key.line, QStringLiteral("%1: a sequence of %2 codes: not supported")
                                     .arg(key.name)
                                     .arg(key.values.size()));
            continue;
        }
        bool ok = dittoOk;
        const QList<int> frame = toInts(renderer.frame(key.values.constFirst()), &ok);
        if (!ok || !dittoOk) {
            sink->skip(key.line, QStringLiteral("%1: durations out of range").arg(key.name));
            continue;
        }
        if (ditto.isEmpty())
            sink->addTimings(key.line, own, key.name, remote.frequency, {}, frame, true);
        else
            sink->addTimings(key.line, own, key.name, remote.frequency, frame, ditto, true);
    }
}

bool setParameter(Remote &remote, const QStringList &tokens, int line, IRImportSink *sink)
{
    const QString key = tokens.constFirst().toLower();
    const QStringList values = tokens.mid(1);
    if (key == QLatin1String("name")) {
        remote.name = values.join(QLatin1Char(' '));
        return true;
    }
    if (key == QLatin1String("flags")) {
        for (const QString &flag :
             values.join(QString()).split(QLatin1Char('|'), Qt::SkipEmptyParts))
            remote.flags << flag.trimmed();
        return true;
    }
    struct Numeric
    {
        const char *name;
        int count;
    };
    static const Numeric numeric[] = {
        {"bits", 1},      {"header", 2},
        {"one", 2},       {"zero", 2},
        {"pre", 2},       {"post", 2},
        {"repeat", 2},    {"plead", 1},
        {"ptrail", 1},    {"gap", 1},
        {"rc6_mask", 1},  {"pre_data_bits", 1},
        {"pre_data", 1},  {"post_data_bits", 1},
        {"post_data", 1}, {"frequency", 1},
    };
    for (const Numeric &n : numeric) {
        if (key != QLatin1String(n.name))
            continue;
        // gap may carry a second value (the gap after a repeat); it is not used.
        if (values.size() < n.count || (values.size() > n.count && key != QLatin1String("gap")))
            return sink->fail(line, QStringLiteral("%1 takes %2 %3")
                                        .arg(key)
                                        .arg(n.count)
                                        .arg(n.count == 1 ? QStringLiteral("number")
                                                          : QStringLiteral("numbers")));
        quint64 v[2] = {0, 0};
        for (int i = 0; i < n.count; ++i) {
            if (!toNumber(values.at(i), &v[i]))
                return sink->fail(
                    line, QStringLiteral("%1: \"%2\" is not a number").arg(key, values.at(i)));
        }
        const bool bitCount = key.endsWith(QLatin1String("bits"));
        if (bitCount && v[0] > 64)
            return sink->fail(line, QStringLiteral("%1 must be 0 to 64").arg(key));
        const bool data = key == QLatin1String("pre_data") || key == QLatin1String("post_data")
                          || key == QLatin1String("rc6_mask");
        if (!data && (v[0] > 100000000 || v[1] > 100000000))
            return sink->fail(line, QStringLiteral("%1: value too large").arg(key));
        const Pair pair{qint64(v[0]), qint64(v[1])};
        if (key == QLatin1String("bits"))
            remote.bits = int(v[0]);
        else if (key == QLatin1String("header"))
            remote.header = pair;
        else if (key == QLatin1String("one"))
            remote.one = pair;
        else if (key == QLatin1String("zero"))
            remote.zero = pair;
        else if (key == QLatin1String("pre"))
            remote.pre = pair;
        else if (key == QLatin1String("post"))
            remote.post = pair;
        else if (key == QLatin1String("repeat"))
            remote.repeat = pair;
        else if (key == QLatin1String("plead"))
            remote.plead = qint64(v[0]);
        else if (key == QLatin1String("ptrail"))
            remote.ptrail = qint64(v[0]);
        else if (key == QLatin1String("gap"))
            remote.gap = qint64(v[0]);
        else if (key == QLatin1String("rc6_mask"))
            remote.rc6Mask = qint64(v[0]);
        else if (key == QLatin1String("pre_data_bits"))
            remote.preBits = int(v[0]);
        else if (key == QLatin1String("pre_data"))
            remote.preData = v[0];
        else if (key == QLatin1String("post_data_bits"))
            remote.postBits = int(v[0]);
        else if (key == QLatin1String("post_data"))
            remote.postData = v[0];
        else if (key == QLatin1String("frequency"))
            remote.frequency = int(v[0]);
        return true;
    }
    return true; // the many other LIRC parameters change nothing sent here
}

} // namespace

bool IRImportLirc::looksLike(const QByteArray &bytes)
{
    static const QRegularExpression begin(QStringLiteral("^\\s*begin\\s+remote\\b"),
                                          QRegularExpression::MultilineOption
                                              | QRegularExpression::CaseInsensitiveOption);
    return begin.match(QString::fromUtf8(bytes.left(65536))).hasMatch();
}

bool IRImportLirc::read(const QByteArray &bytes, const QString &equipment, IRImportSink *sink)
{
    enum class State { Outside, InRemote, InCodes, InRaw };
    State state = State::Outside;
    Remote remote;
    QList<Remote> remotes;
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    int lineNumber = 0;
    for (const QString &rawLine : lines) {
        ++lineNumber;
        QString text = rawLine;
        const int hash = text.indexOf(QLatin1Char('#'));
        if (hash >= 0)
            text.truncate(hash);
        const QStringList tokens = text.split(blanks, Qt::SkipEmptyParts);
        if (tokens.isEmpty())
            continue;
        const QString first = tokens.constFirst().toLower();
        const QString second = tokens.size() > 1 ? tokens.at(1).toLower() : QString();
        const bool begin = first == QLatin1String("begin");
        const bool end = first == QLatin1String("end");
        switch (state) {
        case State::Outside:
            if (begin && second == QLatin1String("remote") && tokens.size() == 2) {
                remote = Remote();
                remote.line = lineNumber;
                state = State::InRemote;
                break;
            }
            return sink->fail(lineNumber, QStringLiteral("\"%1\" outside a begin remote block")
                                              .arg(text.trimmed()));
        case State::InRemote:
            if (begin && second == QLatin1String("codes") && tokens.size() == 2)
                state = State::InCodes;
            else if (begin && second == QLatin1String("raw_codes") && tokens.size() == 2)
                state = State::InRaw;
            else if (end && second == QLatin1String("remote") && tokens.size() == 2) {
                if (remote.name.isEmpty())
                    remote.name = QStringLiteral("remote on line %1").arg(remote.line);
                remotes.append(remote);
                state = State::Outside;
            } else if (begin || end)
                return sink->fail(lineNumber, QStringLiteral("unexpected \"%1\" in a remote")
                                                  .arg(text.trimmed()));
            else if (!setParameter(remote, tokens, lineNumber, sink))
                return false;
            break;
        case State::InCodes:
            if (end && second == QLatin1String("codes") && tokens.size() == 2) {
                state = State::InRemote;
                break;
            }
            if (tokens.size() < 2)
                return sink->fail(lineNumber,
                                  QStringLiteral("\"%1\" has no code").arg(tokens.constFirst()));
            {
                KeyCode key;
                key.line = lineNumber;
                key.name = tokens.constFirst();
                for (int i = 1; i < tokens.size(); ++i) {
                    quint64 value = 0;
                    if (!toNumber(tokens.at(i), &value))
                        return sink->fail(
                            lineNumber, QStringLiteral("\"%1\" is not a code").arg(tokens.at(i)));
                    key.values.append(value);
                }
                remote.codes.append(key);
            }
            break;
        case State::InRaw:
            if (end && second == QLatin1String("raw_codes") && tokens.size() == 2) {
                state = State::InRemote;
                break;
            }
            if (first == QLatin1String("name")) {
                RawCode raw;
                raw.line = lineNumber;
                raw.name = tokens.mid(1).join(QLatin1Char(' '));
                remote.raw.append(raw);
                break;
            }
            if (remote.raw.isEmpty())
                return sink->fail(lineNumber, QStringLiteral("durations before a name line"));
            for (const QString &token : tokens) {
                bool ok = false;
                const qint64 us = token.toLongLong(&ok, 10);
                if (!ok || us < 0)
                    return sink->fail(lineNumber,
                                      QStringLiteral("\"%1\" is not a duration").arg(token));
                if (remote.raw.last().durations.size() > 1000)
                    return sink->fail(lineNumber, QStringLiteral("more than 1000 durations"));
                remote.raw.last().durations.append(us);
            }
            break;
        }
    }
    if (state != State::Outside)
        return sink->fail(remote.line, QStringLiteral("the remote begun here is not ended"));
    if (remotes.isEmpty())
        return sink->fail(1, QStringLiteral("no begin remote block"));
    for (const Remote &r : remotes)
        emitRemote(r, equipment, sink);
    return true;
}
