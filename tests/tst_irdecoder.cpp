#include "ircode.h"
#include "irdecoder.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

using Durations = QList<double>; // microseconds, mark first

// Bits in sending order as bi-phase halves ('1' carrier on).
QString biphase(const QString &bits, bool oneRising)
{
    QString halves;
    for (QChar bit : bits)
        halves += (bit == QLatin1Char('1')) == oneRising ? QStringLiteral("01")
                                                         : QStringLiteral("10");
    return halves;
}

QString binary(quint32 value, int width, bool lsbFirst = false)
{
    QString text = QString::number(value, 2).rightJustified(width, QLatin1Char('0')).right(width);
    if (lsbFirst)
        std::reverse(text.begin(), text.end());
    return text;
}

// Half-bit levels of 'half' microseconds, like levels merged, then a gap.
Durations levels(const QString &halves, double half, double gap)
{
    Durations d;
    QChar level = QLatin1Char('1');
    for (QChar h : halves.mid(halves.indexOf(QLatin1Char('1')))) {
        if (!d.isEmpty() && h == level)
            d.last() += half;
        else
            d.append(half);
        level = h;
    }
    if (level == QLatin1Char('0'))
        d.last() += gap;
    else
        d.append(gap);
    return d;
}

Durations rc5(int field, int toggle, int device, int function, double gap = 114000)
{
    const QString bits = QStringLiteral("1%1%2").arg(field).arg(toggle) + binary(device, 5)
                         + binary(function, 6);
    return levels(biphase(bits, true), 889, gap);
}

Durations rc6(int mode, int toggle, quint32 data, int dataBits = 16)
{
    const QString halves = QStringLiteral("11111100")
                           + biphase(QStringLiteral("1") + binary(mode, 3), false)
                           + (toggle ? QStringLiteral("1100") : QStringLiteral("0011"))
                           + biphase(binary(data, dataBits), false);
    return levels(halves, 444, 83000);
}

// Pulse distance (NEC: the space carries the bit) or pulse width (SIRC:
// the mark does), least significant bit first.
Durations pulses(Durations leader, const QString &bits, double unit, bool inSpace, Durations tail)
{
    for (QChar bit : bits) {
        const double wide = bit == QLatin1Char('1') ? (inSpace ? 3 : 2) * unit : unit;
        leader << (inSpace ? unit : wide) << (inSpace ? wide : unit);
    }
    if (tail.isEmpty())
        leader.last() = 25000; // SIRC: the last space is the lead-out
    return leader + tail;
}

Durations nec(int b0, int b1, int b2, int b3, double leaderMark = 9000)
{
    QString bits;
    for (int byte : {b0, b1, b2, b3})
        bits += binary(byte, 8, true);
    return pulses({leaderMark, 4500}, bits, 562.5, true, {562.5, 40000});
}

Durations sirc(int bits, int function, int device)
{
    return pulses({2400, 600}, binary(function, 7, true) + binary(device, bits - 7, true), 600,
                  false, {});
}

const Durations necRepeat{9000, 2250, 562.5, 96000};

QString pronto(double carrier, double skew, const Durations &once, const Durations &repeat = {})
{
    const int frequencyWord = int(4145146.0 / carrier);
    const double cyclesPerUs = 4145146.0 / frequencyWord / 1e6;
    QStringList words{QStringLiteral("0000"), QString::number(frequencyWord, 16),
                      QString::number(once.size() / 2, 16),
                      QString::number(repeat.size() / 2, 16)};
    for (double us : once + repeat)
        words << QString::number(qMax(1, int(us * skew * cyclesPerUs)), 16);
    for (QString &w : words)
        w = w.rightJustified(4, QLatin1Char('0')).toUpper();
    return words.join(QLatin1Char(' '));
}

} // namespace

class tst_IRDecoder : public QObject
{
    Q_OBJECT

private slots:
    void handBuilt_data();
    void handBuilt();
    void generatedCodesDecodeBack();
    void randomWordListsAnswer();
};

void tst_IRDecoder::handBuilt_data()
{
    QTest::addColumn<QString>("ccf");
    QTest::addColumn<QString>("text");
    auto row = [](const char *name, const QString &ccf, const QString &text) {
        QTest::newRow(name) << ccf << text;
    };
    const QString no = QStringLiteral("not a recognised protocol (%1)");

    row("rc5 36k", pronto(36000, 1, {}, rc5(1, 0, 0, 0)), "RC5: device 0, function 0, toggle 0");
    row("rc5 38k -20%, short gap", pronto(38000, 0.8, {}, rc5(1, 1, 5, 35, 4000)),
        "RC5: device 5, function 35, toggle 1");
    row("rc5 function 100 +20%", pronto(36000, 1.2, rc5(0, 1, 31, 36)),
        "RC5: device 31, function 100, toggle 1");
    row("rc5 two frames", pronto(36000, 1, {}, rc5(1, 0, 7, 63, 20000) + rc5(1, 0, 7, 63)),
        "RC5: device 7, function 63, toggle 0");
    row("rc5 at 40k", pronto(40000, 1, {}, rc5(1, 0, 0, 0)),
        no.arg("RC5 timing, but the carrier 40.2 kHz is not within 10 % of 36.0 kHz"));
    const QString rc5x = biphase(QStringLiteral("110") + binary(9, 5), true)
                         + QStringLiteral("0000") + biphase(binary(3, 6) + binary(17, 6), true);
    row("rc5x", pronto(36000, 1, {}, levels(rc5x, 889, 90000)),
        no.arg("RC5x, with a subdevice field: only RC5 is read"));
    row("rc6 -20%", pronto(36000, 0.8, {}, rc6(0, 1, 0x0408)),
        "RC6: device 4, function 8, toggle 1");
    row("rc6 38k +20%", pronto(38000, 1.2, rc6(0, 0, 0xFF01)),
        "RC6: device 255, function 1, toggle 0");
    row("rc6 mode 6", pronto(36000, 1, {}, rc6(6, 0, 0x800F0426u, 32)),
        no.arg("RC6 mode 6: only mode 0 is read"));
    row("sirc12 +20%", pronto(40000, 1.2, {}, sirc(12, 21, 1)), "SIRC 12: device 1, function 21");
    row("sirc15 38k -20%", pronto(38000, 0.8, {}, sirc(15, 127, 200)),
        "SIRC 15: device 200, function 127");
    row("sirc20 36k", pronto(36000, 1, sirc(20, 100, 3 | 200 << 5)),
        "SIRC 20: device 3, function 100, extended 200");
    row("nec -20%, repeats", pronto(38000, 0.8, nec(4, 251, 8, 247), necRepeat),
        "NEC: device 4, function 8");
    row("nec extended 40k +20%", pronto(40000, 1.2, {}, necRepeat + nec(4, 200, 8, 247)),
        "NEC: device 4, subdevice 200, function 8");
    // A 108 ms frame and dittos is NEC1's lead-out; the whole frame repeated, NEC2's.
    row("nec1: 108 ms frame and ditto", pronto(38000, 1, nec(4, 251, 8, 247), necRepeat),
        "NEC1: device 4, function 8");
    row("nec2: 108 ms frame repeated", pronto(38000, 1, {}, nec(4, 251, 8, 247)),
        "NEC2: device 4, function 8");
    row("nec: 108 ms frame, a ditto of 111.7 ms",
        pronto(38000, 1, nec(4, 251, 8, 247), {9000, 2250, 560, 99900}),
        "NEC: device 4, function 8");
    row("nec repeats only 36k", pronto(36000, 1, {}, necRepeat + necRepeat),
        "NEC: repeat frames only");
    row("4.5 ms leader: necx2 (a Samsung TV's shape)", pronto(38000, 1, nec(7, 7, 2, 253, 4500)),
        "NECx2: device 7, subdevice 7, function 2");
    row("nec check byte", pronto(38000, 1, nec(4, 251, 8, 8), necRepeat),
        no.arg("NEC-like, function check byte wrong"));
    row("not learned", "0100 0073 0000 0001 0020 0020",
        no.arg("not a learned code: the first word is 0100, not 0000"));
    row("noise", "0000 0073 0000 0002 0005 0300 0009 0300", "not a recognised protocol");
    row("odd words", "0000 0073 0000 0001 0020", "Invalid CCF string.");
    row("shorter than header", "0000 0073 0000 0003 0020 0020", "Invalid CCF string.");
    row("zero carrier", "0000 0000 0000 0001 0020 0020", "malformed code: the carrier word is 0");
    row("not hex", "0000 0073 0000 0001 0020 zz",
        "An invalid value was encountered in the CCF string");
}

void tst_IRDecoder::handBuilt()
{
    QFETCH(QString, ccf);
    QFETCH(QString, text);

    const IRDecoder::Result result = IRDecoder::decode(ccf);
    QCOMPARE(result.text(), text);
    using S = IRDecoder::Status;
    const bool
        recognised = QRegularExpression(
                         "^(RC5|RC6|SIRC \\d+|NEC\\w*|Samsung32|JVC|Panasonic|Sharp|Denon|RCA): ")
                         .match(text)
                         .hasMatch();
    QCOMPARE(result.status, recognised                 ? S::Recognised
                            : text.startsWith("not a") ? S::NotRecognised
                                                       : S::Malformed);
    QCOMPARE(result.reason.isEmpty(), recognised || text == "not a recognised protocol");
}

void tst_IRDecoder::generatedCodesDecodeBack()
{
    using P = IRDecoder::Protocol;
    IRCode code;
    auto reads = [&code](P protocol, int device, int function, int extended, int toggle,
                         int bits = 0) {
        const IRDecoder::Result r = IRDecoder::decode(code.toCCF());
        const bool ok = r.status == IRDecoder::Status::Recognised && r.protocol == protocol
                        && r.bits == bits && r.device == device && r.function == function
                        && r.extended == extended && r.toggle == toggle;
        if (!ok)
            qWarning() << code.toCCF() << r.text();
        return ok && !r.repeat;
    };
    for (int toggle = 0; toggle < 2; ++toggle)
        for (int device = 0; device < 32; ++device)
            for (int function = 0; function < 64; ++function) {
                IRCode::generateRC5(&code, toggle, quint8(device), quint8(function));
                QVERIFY(reads(P::RC5, device, function, -1, toggle));
            }
    for (int device = 0; device < 256; device += 5)
        for (int function = 0; function < 256; function += 3) {
            IRCode::generateRC6(&code, function % 2, quint8(device), quint8(function));
            QVERIFY(reads(P::RC6, device, function, -1, function % 2));
            IRCode::generateNEC(&code, device, function);
            QVERIFY(reads(P::NEC, device, function, -1, -1));
            const int subdevice = device ^ 0x5B; // never 0 here, never the complement
            IRCode::generateNEC(&code, device | subdevice << 8, function);
            QVERIFY(reads(P::NEC, device, function, subdevice, -1));
        }
    for (int address = 0; address < 8192; address += 37)
        for (int function = 0; function < 128; function += 9) {
            IRCode::generateSIRC(&code, 12, address, function);
            QVERIFY(reads(P::SIRC, address & 0x1F, function, -1, -1, 12));
            IRCode::generateSIRC(&code, 15, address, function);
            QVERIFY(reads(P::SIRC, address & 0xFF, function, -1, -1, 15));
            IRCode::generateSIRC(&code, 20, address, function);
            QVERIFY(reads(P::SIRC, address & 0x1F, function, address >> 5, -1, 20));
        }
}

void tst_IRDecoder::randomWordListsAnswer()
{
    // Half the lists carry a well-formed learned-code header over durations
    // near the protocols' own, so the answers come from deep in the frame
    // readers rather than from the first checks.
    QRandomGenerator random(14);
    const quint16 typical[] = {0x15, 0x17,  0x20, 0x2F,   0x40, 0x5F,
                               0xAB, 0x156, 0x55, 0x1008, 0x0F};
    quint16 words[302];
    int recognised = 0;
    for (int run = 0; run < 20000; ++run) {
        int count = int(random.bounded(302));
        for (int i = 0; i < count; ++i)
            words[i] = run % 2 ? quint16(random.bounded(65536)) : typical[random.bounded(11)];
        if (run % 2 == 0 && count >= 4) {
            count &= ~1;
            words[0] = 0;
            words[1] = quint16(0x67 + random.bounded(12));
            words[2] = quint16(random.bounded((count - 2) / 2));
            words[3] = quint16((count - 4) / 2 - words[2]);
        }
        const IRDecoder::Result result = IRDecoder::decode(words, count);
        QVERIFY(!result.text().isEmpty());
        QCOMPARE(result.status == IRDecoder::Status::Recognised,
                 result.protocol != IRDecoder::Protocol::None);
        if (result.status == IRDecoder::Status::Malformed)
            QVERIFY(!result.reason.isEmpty());
        recognised += result.status == IRDecoder::Status::Recognised;
    }
    qInfo("%d of 20000 random word lists read as a protocol", recognised);
}

QTEST_GUILESS_MAIN(tst_IRDecoder)
#include "tst_irdecoder.moc"
