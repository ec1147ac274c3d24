#include "ccfparser.h"
#include "ircode.h"

#include <QtTest>

namespace {

const QString rc5Example = QStringLiteral(
    "0000 0073 0000 000D 0020 0020 0040 0020 0020 0020 0020 0020 0020 0020 0020 0020 0020 0020 "
    "0020 0020 0020 0020 0020 0020 0020 0020 0020 0020 0020 1008");
const QString sircExample = QStringLiteral(
    "0000 0067 0000 000D 005F 0017 002F 0017 0017 0017 002F 0017 0017 0017 002F 0017 0017 0017 "
    "0017 0017 002F 0017 0017 0017 0017 0017 0017 0017 0017 0708");

QStringList wordsOf(const QString &ccf)
{
    return ccf.split(QLatin1Char(' '));
}

int wordValue(const QString &word)
{
    bool ok = false;
    const int value = word.toInt(&ok, 16);
    return ok ? value : -1;
}

// Independent decoders: they read the rendered words back into protocol
// fields, so a sweep can check that every code carries what it was asked to.

struct Rc5Fields
{
    bool valid = false;
    bool toggle = false;
    int address = -1;
    int command = -1;
};

Rc5Fields decodeRC5(const QString &ccf)
{
    Rc5Fields f;
    const QStringList w = wordsOf(ccf);
    if (w.size() < 6 || w.last() != QLatin1String("1008"))
        return f;
    // The first start bit's off half is never sent.
    QString halves = QStringLiteral("0");
    QChar level = QLatin1Char('1');
    for (int i = 4; i < w.size() - 1; ++i) {
        if (w.at(i) == QLatin1String("0020"))
            halves += level;
        else if (w.at(i) == QLatin1String("0040"))
            halves += QString(2, level);
        else
            return f;
        level = level == QLatin1Char('1') ? QLatin1Char('0') : QLatin1Char('1');
    }
    // A trailing off half runs into the gap.
    if (halves.size() == 27)
        halves += QLatin1Char('0');
    if (halves.size() != 28)
        return f;
    int bits = 0;
    for (int i = 0; i < 28; i += 2) {
        const QString pair = halves.mid(i, 2);
        if (pair == QLatin1String("01"))
            bits = (bits << 1) | 1;
        else if (pair == QLatin1String("10"))
            bits <<= 1;
        else
            return f;
    }
    if ((bits >> 12) != 0b11)
        return f;
    f.valid = true;
    f.toggle = (bits >> 11) & 1;
    f.address = (bits >> 6) & 0x1F;
    f.command = bits & 0x3F;
    return f;
}

struct Rc6Fields
{
    bool valid = false;
    bool toggle = false;
    int data = -1;
};

Rc6Fields decodeRC6(const QString &ccf)
{
    Rc6Fields f;
    const QStringList w = wordsOf(ccf);
    if (w.size() < 8 || w.at(4) != QLatin1String("005F") || w.at(5) != QLatin1String("001F"))
        return f;
    QString halves;
    QChar level = QLatin1Char('1');
    for (int i = 6; i < w.size() - 1; ++i) {
        const int units = (wordValue(w.at(i)) + 1) / 16; // 000F, 001F, 002F
        if (units < 1 || units > 3 || wordValue(w.at(i)) != 16 * units - 1)
            return f;
        halves += QString(units, level);
        level = level == QLatin1Char('1') ? QLatin1Char('0') : QLatin1Char('1');
    }
    if (w.last() == QLatin1String("0BBB"))
        halves += QLatin1Char('0');
    else if (w.last() != QLatin1String("0BAC"))
        return f;
    if (halves.size() != 44 || !halves.startsWith(QLatin1String("10010101")))
        return f;
    const QString trailer = halves.mid(8, 4);
    if (trailer != QLatin1String("1100") && trailer != QLatin1String("0011"))
        return f;
    int data = 0;
    for (int i = 12; i < 44; i += 2) {
        const QString pair = halves.mid(i, 2);
        if (pair == QLatin1String("10"))
            data = (data << 1) | 1;
        else if (pair == QLatin1String("01"))
            data <<= 1;
        else
            return f;
    }
    f.valid = true;
    f.toggle = trailer == QLatin1String("1100");
    f.data = data;
    return f;
}

struct SircFields
{
    bool valid = false;
    int bits = -1;
    int address = -1;
    int command = -1;
};

SircFields decodeSIRC(const QString &ccf)
{
    SircFields f;
    const QStringList w = wordsOf(ccf);
    if (w.size() < 6 || w.at(4) != QLatin1String("005F") || w.at(5) != QLatin1String("0017")
        || w.last() != QLatin1String("0708"))
        return f;
    const int count = (w.size() - 6) / 2;
    int value = 0;
    for (int bit = 0; bit < count; ++bit) {
        const QString mark = w.at(6 + 2 * bit);
        const QString space = w.at(7 + 2 * bit);
        if (space != (bit == count - 1 ? QLatin1String("0708") : QLatin1String("0017")))
            return f;
        if (mark == QLatin1String("002F"))
            value |= 1 << bit;
        else if (mark != QLatin1String("0017"))
            return f;
    }
    f.valid = true;
    f.bits = count;
    f.command = value & 0x7F;
    f.address = value >> 7;
    return f;
}

struct NecFields
{
    bool valid = false;
    int addressWord = -1;
    int commandWord = -1;
};

NecFields decodeNEC(const QString &ccf)
{
    NecFields f;
    const QStringList w = wordsOf(ccf);
    if (w.size() != 76 || w.at(4) != QLatin1String("0156") || w.at(5) != QLatin1String("00AB"))
        return f;
    int words[2] = {0, 0};
    for (int i = 0; i < 32; ++i) {
        if (w.at(6 + 2 * i) != QLatin1String("0015"))
            return f;
        const QString space = w.at(7 + 2 * i);
        if (space == QLatin1String("0040"))
            words[i / 16] |= 1 << (i % 16);
        else if (space != QLatin1String("0015"))
            return f;
    }
    if (w.at(70) != QLatin1String("0015"))
        return f;
    f.valid = true;
    f.addressWord = words[0];
    f.commandWord = words[1];
    return f;
}

} // namespace

class tst_IRCode : public QObject
{
    Q_OBJECT

private slots:
    void workedExamples_data();
    void workedExamples();
    void cycleCounts_data();
    void cycleCounts();
    void mergingOperations();
    void onceTotalAndClear();
    void oddCountRendersNothing_data();
    void oddCountRendersNothing();
    void unsetFrequencyRendersZeroWord();
    void rc5StartWords_data();
    void rc5StartWords();
    void rc5IgnoresHighBits_data();
    void rc5IgnoresHighBits();
    void rc6Ending_data();
    void rc6Ending();
    void rc6MergesLikeHalves_data();
    void rc6MergesLikeHalves();
    void sircWidths_data();
    void sircWidths();
    void sircRefusesOtherWidths_data();
    void sircRefusesOtherWidths();
    void sircDropsHighBits_data();
    void sircDropsHighBits();
    void necLayout();
    void necWords_data();
    void necWords();
    void necPadsOnceBurstTo110ms_data();
    void necPadsOnceBurstTo110ms();
    void generatorsStartFromScratch();
    void sweepRC5();
    void sweepRC6();
    void sweepSIRC();
    void sweepNEC();
};

void tst_IRCode::workedExamples_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("expected");

    QTest::newRow("RC5 toggle off, address 0, command 0") << "RC5" << 0 << 0 << 0 << rc5Example;
    QTest::newRow("SIRC 12, address 1, command 21") << "SIRC" << 12 << 1 << 21 << sircExample;
}

void tst_IRCode::workedExamples()
{
    QFETCH(QString, protocol);
    QFETCH(int, bits);
    QFETCH(int, address);
    QFETCH(int, command);
    QFETCH(QString, expected);

    IRCode code;
    if (protocol == QLatin1String("RC5"))
        QVERIFY(IRCode::generateRC5(&code, false, quint8(address), quint8(command)));
    else
        QVERIFY(IRCode::generateSIRC(&code, bits, address, command));
    QCOMPARE(code.toCCF(), expected);
}

// Each duration as the generators produce it (merged halves summed the
// same way), rendered at the protocol's carrier. Truncation, not rounding,
// decides several of these words.
void tst_IRCode::cycleCounts_data()
{
    QTest::addColumn<double>("frequency");
    QTest::addColumn<QList<double>>("parts");
    QTest::addColumn<QString>("frequencyWord");
    QTest::addColumn<QString>("cycles");

    using L = QList<double>;
    QTest::newRow("RC5 half bit") << 36000.0 << L{0.000889} << "0073"
                                  << "0020";
    QTest::newRow("RC5 full bit") << 36000.0 << L{0.001778} << "0073"
                                  << "0040";
    QTest::newRow("RC5 gap") << 36000.0 << L{0.114} << "0073"
                             << "1008";
    QTest::newRow("RC6 leader mark") << 36000.0 << L{0.002664} << "0073"
                                     << "005F";
    QTest::newRow("RC6 double unit") << 36000.0 << L{0.000888} << "0073"
                                     << "001F";
    QTest::newRow("RC6 two merged units") << 36000.0 << L{0.000444, 0.000444} << "0073"
                                          << "001F";
    QTest::newRow("RC6 unit") << 36000.0 << L{0.000444} << "0073"
                              << "000F";
    QTest::newRow("RC6 double + unit") << 36000.0 << L{0.000888, 0.000444} << "0073"
                                       << "002F";
    QTest::newRow("RC6 unit + double") << 36000.0 << L{0.000444, 0.000888} << "0073"
                                       << "002F";
    QTest::newRow("RC6 gap") << 36000.0 << L{0.083} << "0073"
                             << "0BAC";
    QTest::newRow("RC6 unit + gap") << 36000.0 << L{0.000444, 0.083} << "0073"
                                    << "0BBB";
    QTest::newRow("SIRC header mark") << 40000.0 << L{0.0024} << "0067"
                                      << "005F";
    QTest::newRow("SIRC one") << 40000.0 << L{0.0012} << "0067"
                              << "002F";
    QTest::newRow("SIRC short half") << 40000.0 << L{0.0006} << "0067"
                                     << "0017";
    QTest::newRow("SIRC gap") << 40000.0 << L{0.045} << "0067"
                              << "0708";
    QTest::newRow("NEC leader mark") << 38000.0 << L{0.009} << "006D"
                                     << "0156";
    QTest::newRow("NEC leader space") << 38000.0 << L{0.0045} << "006D"
                                      << "00AB";
    QTest::newRow("NEC bit mark") << 38000.0 << L{0.0005625} << "006D"
                                  << "0015";
    QTest::newRow("NEC one space") << 38000.0 << L{0.0016875} << "006D"
                                   << "0040";
    QTest::newRow("NEC repeat space") << 38000.0 << L{0.00225} << "006D"
                                      << "0055";
    QTest::newRow("NEC repeat mark") << 38000.0 << L{0.00056} << "006D"
                                     << "0015";
    QTest::newRow("NEC repeat gap") << 38000.0 << L{0.1} << "006D"
                                    << "0ED8";
    QTest::newRow("NEC pad for 0/0") << 38000.0 << L{0.0419375} << "006D"
                                     << "0639";
}

void tst_IRCode::cycleCounts()
{
    QFETCH(double, frequency);
    QFETCH(QList<double>, parts);
    QFETCH(QString, frequencyWord);
    QFETCH(QString, cycles);

    // A lead mark, then the parts merged into one space.
    IRCode code;
    code.setFrequency(frequency);
    code.addMark(0.001);
    for (double part : parts)
        code.addSpace(part);
    QCOMPARE(code.repeatCount(), 2);

    const QStringList w = wordsOf(code.toCCF());
    QCOMPARE(w.size(), 6);
    QCOMPARE(w.at(1), frequencyWord);
    QCOMPARE(w.at(5), cycles);
}

void tst_IRCode::mergingOperations()
{
    // At 1024 Hz, k/1024 s is exactly k cycles: no rounding in the way.
    const auto t = [](int cycles) { return cycles / 1024.0; };
    IRCode code;
    code.setFrequency(1024);
    code.addMark(t(1));
    code.addMark(t(2)); // merges: the last entry is a mark
    QCOMPARE(code.repeatCount(), 1);
    code.addSpace(t(3));
    code.addSpace(t(4)); // merges: the last entry is a space
    QCOMPARE(code.repeatCount(), 2);
    code.addMark(t(5));
    code.addSpace(t(6));
    QCOMPARE(code.repeatCount(), 4);
    QCOMPARE(code.toCCF(), QStringLiteral("0000 0FCF 0000 0002 0003 0007 0005 0006"));

    code.removeLastRepeat(1);
    QCOMPARE(code.repeatCount(), 3);
    code.addMark(t(4)); // the mark is last again: merges
    QCOMPARE(code.repeatCount(), 3);
    code.appendRepeat(t(11));
    QCOMPARE(code.toCCF(), QStringLiteral("0000 0FCF 0000 0002 0003 0007 0009 000B"));

    // Removing more than there is leaves an empty list, not a crash.
    code.removeLastRepeat(10);
    QCOMPARE(code.repeatCount(), 0);
    // A space on an empty list has no mark to join: it stands alone.
    code.addSpace(t(2));
    QCOMPARE(code.repeatCount(), 1);
}

void tst_IRCode::onceTotalAndClear()
{
    IRCode code;
    QCOMPARE(code.onceTotal(), 0.0);
    code.appendOnce(0.25);
    code.appendOnce(0.5);
    code.appendRepeat(0.125);
    QCOMPARE(code.onceTotal(), 0.75);
    QCOMPARE(code.repeatCount(), 1); // appendOnce does not touch the repeat list

    code.clear();
    QCOMPARE(code.onceTotal(), 0.0);
    QCOMPARE(code.repeatCount(), 0);
    code.setFrequency(36000);
    QCOMPARE(code.toCCF(), QStringLiteral("0000 0073 0000 0000"));
}

void tst_IRCode::oddCountRendersNothing_data()
{
    QTest::addColumn<int>("once");
    QTest::addColumn<int>("repeat");

    QTest::newRow("one repeat entry") << 0 << 1;
    QTest::newRow("three repeat entries") << 0 << 3;
    QTest::newRow("one once entry") << 1 << 0;
    QTest::newRow("one once, two repeat") << 1 << 2;
}

void tst_IRCode::oddCountRendersNothing()
{
    QFETCH(int, once);
    QFETCH(int, repeat);

    IRCode code;
    code.setFrequency(36000);
    for (int i = 0; i < once; ++i)
        code.appendOnce(0.001);
    for (int i = 0; i < repeat; ++i)
        code.appendRepeat(0.001);

    QTest::ignoreMessage(QtDebugMsg, "Not an even number of pulses.");
    QCOMPARE(code.toCCF(), QString());

    // One more entry in either list makes the count even again; the
    // pairs are counted per list.
    code.appendRepeat(0.002);
    const QStringList w = wordsOf(code.toCCF());
    QCOMPARE(w.size(), 4 + once + repeat + 1);
    QCOMPARE(wordValue(w.at(2)), once / 2);
    QCOMPARE(wordValue(w.at(3)), (repeat + 1) / 2);
}

void tst_IRCode::unsetFrequencyRendersZeroWord()
{
    // Never done by the program; it must still give text, not undefined
    // integers.
    IRCode code;
    code.appendRepeat(0.001);
    code.appendRepeat(0.002);
    QCOMPARE(code.toCCF(), QStringLiteral("0000 0000 0000 0001 0000 0000"));
}

void tst_IRCode::rc5StartWords_data()
{
    QTest::addColumn<bool>("toggle");
    QTest::addColumn<QString>("start");

    QTest::newRow("toggle off") << false << "0000 0073 0000 000D 0020 0020 0040 0020 ";
    QTest::newRow("toggle on") << true << "0000 0073 0000 000D 0020 0020 0020 0020 0040 0020 ";
}

void tst_IRCode::rc5StartWords()
{
    QFETCH(bool, toggle);
    QFETCH(QString, start);

    IRCode code;
    QVERIFY(IRCode::generateRC5(&code, toggle, 0, 0));
    const QString ccf = code.toCCF();
    QVERIFY2(ccf.startsWith(start), qPrintable(ccf));
    QCOMPARE(code.repeatCount(), 26);
    QVERIFY(ccf.endsWith(QLatin1String(" 1008")));
}

void tst_IRCode::rc5IgnoresHighBits_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("sameAddress");
    QTest::addColumn<int>("sameCommand");

    QTest::newRow("address 33 is 1") << 33 << 5 << 1 << 5;
    QTest::newRow("address 255 is 31") << 255 << 5 << 31 << 5;
    QTest::newRow("command 64 is 0") << 2 << 64 << 2 << 0;
    QTest::newRow("command 255 is 63") << 2 << 255 << 2 << 63;
}

void tst_IRCode::rc5IgnoresHighBits()
{
    QFETCH(int, address);
    QFETCH(int, command);
    QFETCH(int, sameAddress);
    QFETCH(int, sameCommand);

    IRCode code;
    IRCode same;
    IRCode::generateRC5(&code, false, quint8(address), quint8(command));
    IRCode::generateRC5(&same, false, quint8(sameAddress), quint8(sameCommand));
    QCOMPARE(code.toCCF(), same.toCCF());
    const Rc5Fields f = decodeRC5(code.toCCF());
    QVERIFY(f.valid);
    QCOMPARE(f.address, sameAddress);
    QCOMPARE(f.command, sameCommand);
}

void tst_IRCode::rc6Ending_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("ending");

    // A final one (mark, space) leaves a space to merge with the gap; a
    // final zero (space, mark) ends with a mark and the gap follows it.
    QTest::newRow("bits 0 1") << 0x01 << "000F 001F 0BBB";
    QTest::newRow("bits 1 1") << 0x03 << "000F 000F 0BBB";
    QTest::newRow("bits 1 0") << 0x02 << "001F 000F 0BAC";
    QTest::newRow("bits 0 0") << 0x00 << "000F 000F 0BAC";
}

void tst_IRCode::rc6Ending()
{
    QFETCH(int, command);
    QFETCH(QString, ending);

    IRCode code;
    QVERIFY(IRCode::generateRC6(&code, false, 0, quint8(command)));
    const QStringList w = wordsOf(code.toCCF());
    QCOMPARE(w.mid(w.size() - 3).join(QLatin1Char(' ')), ending);
}

void tst_IRCode::rc6MergesLikeHalves_data()
{
    QTest::addColumn<bool>("toggle");
    QTest::addColumn<int>("data");
    QTest::addColumn<QString>("expected");

    // Leader 005F 001F; start bit mark 000F whose space joins the first
    // mode bit's space (001F); then the mode bits' halves.
    const QString head = QStringLiteral("005F 001F 000F 001F 000F 000F 000F 000F 000F");
    // Toggle off: trailer space 2u stands alone after the last mode mark,
    // trailer mark 2u, then sixteen zeros (space u, mark u) and the gap.
    QTest::newRow("toggle off, all zeros")
        << false << 0x0000
        << QStringLiteral("0000 0073 0000 0016 ") + head + QStringLiteral(" 001F 001F")
               + QStringLiteral(" 000F 000F").repeated(16) + QStringLiteral(" 0BAC");
    // Toggle on: the last mode mark and the trailer mark merge (002F),
    // trailer space 2u, sixteen ones (mark u, space u); the last space
    // merges with the gap.
    QTest::newRow("toggle on, all ones")
        << true << 0xFFFF
        << QStringLiteral("0000 0073 0000 0015 005F 001F 000F 001F 000F 000F 000F 000F 002F 001F")
               + QStringLiteral(" 000F 000F").repeated(15) + QStringLiteral(" 000F 0BBB");
}

void tst_IRCode::rc6MergesLikeHalves()
{
    QFETCH(bool, toggle);
    QFETCH(int, data);
    QFETCH(QString, expected);

    IRCode code;
    QVERIFY(IRCode::generateRC6(&code, toggle, quint8(data >> 8), quint8(data)));
    QCOMPARE(code.toCCF(), expected);
}

void tst_IRCode::sircWidths_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("pairs");

    QTest::newRow("12 bits") << 12 << 13;
    QTest::newRow("15 bits") << 15 << 16;
    QTest::newRow("20 bits") << 20 << 21;
}

void tst_IRCode::sircWidths()
{
    QFETCH(int, bits);
    QFETCH(int, pairs);

    IRCode code;
    QVERIFY(IRCode::generateSIRC(&code, bits, 0x1FFF, 0x7F));
    QCOMPARE(code.repeatCount(), 2 * pairs);
    const QString ccf = code.toCCF();
    const QStringList w = wordsOf(ccf);
    QCOMPARE(w.size(), 4 + 2 * pairs);
    QCOMPARE(wordValue(w.at(2)), 0);
    QCOMPARE(wordValue(w.at(3)), pairs);
    // Every bit is a one here: all marks but the header are 002F.
    QCOMPARE(ccf.count(QLatin1String("002F")), bits);
    const SircFields f = decodeSIRC(ccf);
    QVERIFY(f.valid);
    QCOMPARE(f.bits, bits);
    QCOMPARE(f.address, (1 << (bits - 7)) - 1);
    QCOMPARE(f.command, 0x7F);
}

void tst_IRCode::sircRefusesOtherWidths_data()
{
    QTest::addColumn<int>("bits");

    for (int bits : {-12, 0, 7, 11, 13, 14, 16, 19, 21, 24, 32})
        QTest::newRow(qPrintable(QStringLiteral("%1 bits").arg(bits))) << bits;
}

void tst_IRCode::sircRefusesOtherWidths()
{
    QFETCH(int, bits);

    IRCode code;
    IRCode::generateRC5(&code, true, 7, 9);
    const QString before = code.toCCF();
    const int repeatsBefore = code.repeatCount();

    QVERIFY(!IRCode::generateSIRC(&code, bits, 1, 21));
    QCOMPARE(code.repeatCount(), repeatsBefore);
    QCOMPARE(code.toCCF(), before); // frequency unchanged too
}

void tst_IRCode::sircDropsHighBits_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("sameAddress");
    QTest::addColumn<int>("sameCommand");

    QTest::newRow("12 bits, address 32 is 0") << 12 << 32 << 0 << 0 << 0;
    QTest::newRow("12 bits, address 8191 is 31") << 12 << 8191 << 3 << 31 << 3;
    QTest::newRow("15 bits, address 256 is 0") << 15 << 256 << 3 << 0 << 3;
    QTest::newRow("15 bits, address 257 is 1") << 15 << 257 << 3 << 1 << 3;
    QTest::newRow("20 bits, address 8192 is 0") << 20 << 8192 << 3 << 0 << 3;
    QTest::newRow("20 bits, address 8191 kept") << 20 << 8191 << 3 << 8191 << 3;
    QTest::newRow("command 128 is 0") << 12 << 1 << 128 << 1 << 0;
    QTest::newRow("command 255 is 127") << 20 << 1 << 255 << 1 << 127;
}

void tst_IRCode::sircDropsHighBits()
{
    QFETCH(int, bits);
    QFETCH(int, address);
    QFETCH(int, command);
    QFETCH(int, sameAddress);
    QFETCH(int, sameCommand);

    IRCode code;
    IRCode same;
    QVERIFY(IRCode::generateSIRC(&code, bits, address, command));
    QVERIFY(IRCode::generateSIRC(&same, bits, sameAddress, sameCommand));
    QCOMPARE(code.toCCF(), same.toCCF());
    const SircFields f = decodeSIRC(code.toCCF());
    QVERIFY(f.valid);
    QCOMPARE(f.address, sameAddress);
    QCOMPARE(f.command, sameCommand);
}

void tst_IRCode::necLayout()
{
    IRCode code;
    QVERIFY(IRCode::generateNEC(&code, 0, 0));
    QCOMPARE(code.repeatCount(), 4);
    const QStringList w = wordsOf(code.toCCF());
    QCOMPARE(w.size(), 76);
    QCOMPARE(w.mid(0, 4).join(QLatin1Char(' ')), QStringLiteral("0000 006D 0022 0002"));
    QCOMPARE(w.at(70), QStringLiteral("0015")); // stop mark
    QCOMPARE(w.at(71), QStringLiteral("0639")); // pad to 110 ms
    QCOMPARE(w.mid(72).join(QLatin1Char(' ')), QStringLiteral("0156 0055 0015 0ED8"));
}

void tst_IRCode::necWords_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("addressWord");
    QTest::addColumn<int>("commandWord");

    QTest::newRow("0/0 with complements") << 0 << 0 << 0xFF00 << 0xFF00;
    QTest::newRow("255/1 with complements") << 255 << 1 << 0x00FF << 0xFE01;
    QTest::newRow("address 300 as 16 bits") << 300 << 5 << 0x012C << 0xFA05;
    QTest::newRow("address 256, command 300") << 256 << 300 << 0x0100 << 0x012C;
    QTest::newRow("16-bit extremes") << 0xFFFF << 0x8000 << 0xFFFF << 0x8000;
    QTest::newRow("above 16 bits keeps the low 16") << 0x11234 << 7 << 0x1234 << 0xF807;
}

void tst_IRCode::necWords()
{
    QFETCH(int, address);
    QFETCH(int, command);
    QFETCH(int, addressWord);
    QFETCH(int, commandWord);

    IRCode code;
    QVERIFY(IRCode::generateNEC(&code, address, command));
    const NecFields f = decodeNEC(code.toCCF());
    QVERIFY(f.valid);
    QCOMPARE(f.addressWord, addressWord);
    QCOMPARE(f.commandWord, commandWord);
}

void tst_IRCode::necPadsOnceBurstTo110ms_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("command");

    QTest::newRow("0/0") << 0 << 0;
    QTest::newRow("255/255") << 255 << 255;
    QTest::newRow("16-bit all ones") << 0xFFFF << 0xFFFF;
    QTest::newRow("16-bit all zeros") << 0x100 << 0x100;
}

void tst_IRCode::necPadsOnceBurstTo110ms()
{
    QFETCH(int, address);
    QFETCH(int, command);

    IRCode code;
    IRCode::generateNEC(&code, address, command);
    QVERIFY(qAbs(code.onceTotal() - 0.11) < 1e-12);

    // Rendered: 68 truncated counts add up to just under 110 ms of carrier.
    const QStringList w = wordsOf(code.toCCF());
    int cycles = 0;
    for (int i = 4; i < 72; ++i)
        cycles += wordValue(w.at(i));
    QVERIFY2(cycles <= 4180 && cycles > 4180 - 68, qPrintable(QString::number(cycles)));
}

void tst_IRCode::generatorsStartFromScratch()
{
    IRCode code;
    IRCode::generateNEC(&code, 1, 2);
    IRCode::generateRC5(&code, false, 0, 0);
    QCOMPARE(code.onceTotal(), 0.0);
    QCOMPARE(code.toCCF(), rc5Example);

    IRCode::generateRC6(&code, true, 1, 2);
    const QString rc6 = code.toCCF();
    IRCode::generateSIRC(&code, 12, 1, 21);
    QCOMPARE(code.toCCF(), sircExample);

    IRCode fresh;
    IRCode::generateRC6(&fresh, true, 1, 2);
    QCOMPARE(rc6, fresh.toCCF());
}

namespace {

// What every generated code must satisfy to be sent: it passes the CCF
// check, fits the word buffer, and no cycle count spills over four digits.
bool sendable(const QString &ccf, int maxWords, QByteArray *why)
{
    quint16 words[Ccf::MaxWords];
    int count = 0;
    const Ccf::Result result = Ccf::parse(ccf, words, count);
    if (result != Ccf::Result::Ok) {
        *why = "refused by the CCF check: " + ccf.toLatin1();
        return false;
    }
    if (count > maxWords) {
        *why = QByteArray::number(count) + " words: " + ccf.toLatin1();
        return false;
    }
    for (const QString &w : wordsOf(ccf)) {
        if (w.size() != 4 || wordValue(w) > 0x1008) {
            *why = "word " + w.toLatin1() + " in " + ccf.toLatin1();
            return false;
        }
    }
    return true;
}

} // namespace

void tst_IRCode::sweepRC5()
{
    // Every address and command, and the bits above them once over.
    QByteArray why;
    IRCode code;
    for (int toggle = 0; toggle < 2; ++toggle) {
        for (int address = 0; address < 64; ++address) {
            for (int command = 0; command < 128; ++command) {
                QVERIFY(IRCode::generateRC5(&code, toggle, quint8(address), quint8(command)));
                const QString ccf = code.toCCF();
                QVERIFY2(sendable(ccf, 48, &why), why.constData());
                const Rc5Fields f = decodeRC5(ccf);
                QVERIFY2(f.valid, qPrintable(ccf));
                QCOMPARE(f.toggle, bool(toggle));
                QCOMPARE(f.address, address & 0x1F);
                QCOMPARE(f.command, command & 0x3F);
            }
        }
    }
}

void tst_IRCode::sweepRC6()
{
    // Every address against a spread of commands, and every command
    // against a spread of addresses.
    const QList<int> spread = {0x00, 0x01, 0x02, 0x03, 0x10, 0x33, 0x55, 0x5A,
                               0x7F, 0x80, 0xA5, 0xAA, 0xCC, 0xFC, 0xFE, 0xFF};
    QList<QPair<int, int>> grid;
    for (int any = 0; any < 256; ++any) {
        for (int some : spread)
            grid << qMakePair(any, some) << qMakePair(some, any);
    }
    QByteArray why;
    IRCode code;
    for (int toggle = 0; toggle < 2; ++toggle) {
        for (const auto &[address, command] : grid) {
            QVERIFY(IRCode::generateRC6(&code, toggle, quint8(address), quint8(command)));
            const QString ccf = code.toCCF();
            QVERIFY2(sendable(ccf, 48, &why), why.constData());
            const Rc6Fields f = decodeRC6(ccf);
            QVERIFY2(f.valid, qPrintable(ccf));
            QCOMPARE(f.toggle, bool(toggle));
            QCOMPARE(f.data, (address << 8) | command);
        }
    }
}

void tst_IRCode::sweepSIRC()
{
    QByteArray why;
    IRCode code;
    QList<int> addresses;
    for (int a = 0; a < 8192; a += 61)
        addresses << a;
    addresses << 31 << 32 << 255 << 256 << 8191 << 8192 << 65535;
    QList<int> commands;
    for (int c = 0; c < 128; c += 3)
        commands << c;
    commands << 127 << 128 << 255;
    for (int bits : {12, 15, 20}) {
        for (int address : addresses) {
            for (int command : commands) {
                QVERIFY(IRCode::generateSIRC(&code, bits, address, command));
                const QString ccf = code.toCCF();
                QVERIFY2(sendable(ccf, 48, &why), why.constData());
                const SircFields f = decodeSIRC(ccf);
                QVERIFY2(f.valid, qPrintable(ccf));
                QCOMPARE(f.bits, bits);
                QCOMPARE(f.address, address & ((1 << (bits - 7)) - 1));
                QCOMPARE(f.command, command & 0x7F);
            }
        }
    }
}

void tst_IRCode::sweepNEC()
{
    QByteArray why;
    IRCode code;
    QList<int> values;
    for (int v = 0; v < 512; ++v)
        values << v;
    values << 0x1234 << 0x7FFF << 0x8000 << 0xFFFE << 0xFFFF << 0x10000 << 0x12345;
    const auto expectedWord = [](int v) {
        return v <= 255 ? (v | ((~v & 0xFF) << 8)) : (v & 0xFFFF);
    };
    for (int address : values) {
        for (int command : {0, 1, 0x55, 0xAA, 0xFF, 0x100, 300, 0xFFFF}) {
            QVERIFY(IRCode::generateNEC(&code, address, command));
            const QString ccf = code.toCCF();
            QVERIFY2(sendable(ccf, 76, &why), why.constData());
            const NecFields f = decodeNEC(ccf);
            QVERIFY2(f.valid, qPrintable(ccf));
            QCOMPARE(f.addressWord, expectedWord(address));
            QCOMPARE(f.commandWord, expectedWord(command));
        }
    }
}

QTEST_GUILESS_MAIN(tst_IRCode)
#include "tst_ircode.moc"
