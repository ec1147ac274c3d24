#include "ircode.h"
#include "irprotocoldefinition.h"

#include <QDebug>

#include <cmath>
#include <limits>

namespace {

// Durations and frequencies are truncated toward zero, never rounded: the
// table values (e.g. 0.0006 s at 40 kHz giving 23 cycles) depend on it.
// Values that no integer can hold (an unset frequency, a huge duration)
// give 0 rather than undefined behaviour.
qlonglong truncated(double value)
{
    const double t = std::trunc(value);
    if (!std::isfinite(t) || t >= 9.0e18 || t <= -9.0e18)
        return 0;
    return static_cast<qlonglong>(t);
}

QString word(qlonglong value)
{
    return QString::fromLatin1("%1").arg(value, 4, 16, QLatin1Char('0'));
}

// The NEC address and command words: an 8-bit value is followed by its
// complement; a larger value is sent as it stands.
int necWord(int value)
{
    if (value <= 255)
        return value | ((~value & 0xFF) << 8);
    return value;
}

void appendNecWord(IRCode *code, int value)
{
    const unsigned bits = static_cast<unsigned>(value);
    for (int i = 0; i < 16; ++i) {
        code->appendOnce(0.0005625);
        code->appendOnce((bits >> i) & 1u ? 0.0016875 : 0.0005625);
    }
}

bool necCode(IRCode *code, int addressWord, int commandWord)
{
    code->clear();
    code->setFrequency(38000);
    code->appendOnce(0.009);
    code->appendOnce(0.0045);
    appendNecWord(code, addressWord);
    appendNecWord(code, commandWord);
    code->appendOnce(0.0005625);
    code->appendOnce(0.11 - code->onceTotal());

    code->appendRepeat(0.009);
    code->appendRepeat(0.00225);
    code->appendRepeat(0.00056);
    code->appendRepeat(0.1);
    return true;
}

void appendSircBits(IRCode *code, int value, int count)
{
    const unsigned bits = static_cast<unsigned>(value);
    for (int i = 0; i < count; ++i) {
        code->appendRepeat((bits >> i) & 1u ? 0.0012 : 0.0006);
        code->appendRepeat(0.0006);
    }
}

} // namespace

IRCode::IRCode(QObject *parent) : QObject(parent) { }

void IRCode::setFrequency(double hertz)
{
    frequency = hertz;
}

void IRCode::clear()
{
    nearest = false;
    onceList.clear();
    repeatList.clear();
}

void IRCode::appendOnce(double seconds)
{
    onceList.append(seconds);
}

void IRCode::appendRepeat(double seconds)
{
    repeatList.append(seconds);
}

void IRCode::addMark(double seconds)
{
    if (repeatList.size() % 2 == 0)
        repeatList.append(seconds);
    else
        repeatList.last() += seconds;
}

void IRCode::addSpace(double seconds)
{
    // An empty list has no mark to follow; start it with the space then,
    // as an odd list would, rather than touching a missing entry.
    if (repeatList.size() % 2 == 1 || repeatList.isEmpty())
        repeatList.append(seconds);
    else
        repeatList.last() += seconds;
}

void IRCode::removeLastRepeat(int count)
{
    for (int i = 0; i < count && !repeatList.isEmpty(); ++i)
        repeatList.removeLast();
}

double IRCode::onceTotal() const
{
    double total = 0;
    for (double seconds : onceList)
        total += seconds;
    return total;
}

int IRCode::repeatCount() const
{
    return repeatList.size();
}

bool IRCode::generateRC5(IRCode *code, bool toggle, quint8 address, quint8 command)
{
    return generateRC5Extended(code, toggle, address & 0x1F, command & 0x3F);
}

bool IRCode::generateRC5Extended(IRCode *code, bool toggle, int address, int command)
{
    code->clear();
    code->setFrequency(36000);
    address &= 0x1F;
    command &= 0x7F;

    // Half-bit levels, '1' carrier on. The first start bit's leading off
    // half is not sent; the second start bit is the inverted command bit 6.
    QString levels = QString::fromLatin1(command & 0x40 ? "110" : "101");
    levels += QLatin1String(toggle ? "01" : "10");
    for (int bit = 4; bit >= 0; --bit)
        levels += QLatin1String((address >> bit) & 1 ? "01" : "10");
    for (int bit = 5; bit >= 0; --bit)
        levels += QLatin1String((command >> bit) & 1 ? "01" : "10");
    levels += QLatin1Char(' ');

    int i = 0;
    while (i < levels.size() - 1) {
        if (levels.at(i + 1) == levels.at(i)) {
            code->appendRepeat(0.001778);
            i += 2;
        } else {
            code->appendRepeat(0.000889);
            i += 1;
        }
    }

    if (code->repeatCount() % 2 == 0)
        code->removeLastRepeat(1);
    code->appendRepeat(0.114);
    return true;
}

bool IRCode::generateRC6(IRCode *code, bool toggle, quint8 address, quint8 command)
{
    const double u = 0.000444;
    code->clear();
    code->setFrequency(36000);
    const int data = ((address & 0xFF) << 8) + (command & 0xFF);

    code->appendRepeat(0.002664);
    code->appendRepeat(0.000888);

    code->addMark(u);
    code->addSpace(u);

    for (int i = 0; i < 3; ++i) {
        code->addSpace(u);
        code->addMark(u);
    }

    if (toggle) {
        code->addMark(0.000888);
        code->addSpace(0.000888);
    } else {
        code->addSpace(0.000888);
        code->addMark(0.000888);
    }

    for (int bit = 15; bit >= 0; --bit) {
        if ((data >> bit) & 1) {
            code->addMark(u);
            code->addSpace(u);
        } else {
            code->addSpace(u);
            code->addMark(u);
        }
    }

    code->addSpace(0.083);
    return true;
}

bool IRCode::generateSIRC(IRCode *code, int bits, int address, int command)
{
    if (bits != 12 && bits != 15 && bits != 20)
        return false;

    code->clear();
    code->setFrequency(40000);
    code->appendRepeat(0.0024);
    code->appendRepeat(0.0006);
    appendSircBits(code, command & 0x7F, 7);
    appendSircBits(code, address, bits - 7);
    code->removeLastRepeat(1);
    code->appendRepeat(0.045);
    return true;
}

bool IRCode::generateNEC(IRCode *code, int address, int command)
{
    return necCode(code, necWord(address), necWord(command));
}

bool IRCode::generateNEC(IRCode *code, int device, int subdevice, int function)
{
    return necCode(code, (device & 0xFF) | (subdevice & 0xFF) << 8, necWord(function & 0xFF));
}

bool IRCode::generate(IRCode *code, const IRProtocolDefinition &protocol, int device,
                      int subdevice, int function)
{
    using Item = IRProtocolDefinition::Item;
    using Source = IRProtocolDefinition::Source;
    const double carrierWord = std::round(4145146.0 / protocol.carrier);
    const double period = carrierWord * 0.241246e-6; // seconds per Pronto cycle
    code->clear();
    code->nearest = true;
    code->setFrequency(1 / period);

    const auto cycles = [&](double units) {
        return qlonglong(std::llround(units * protocol.unit * 1e-6 / period));
    };
    const auto valueOf = [&](const Item &item) {
        switch (item.source) {
        case Source::Constant:
            return item.value;
        case Source::Device:
            return device;
        case Source::Subdevice:
            return subdevice;
        case Source::Function:
            return function;
        case Source::Check:
            return device ^ subdevice ^ function;
        }
        return 0;
    };
    const auto render = [&](const QList<IRProtocolDefinition::Frame> &frames,
                            QList<double> &list) {
        QList<qlonglong> n; // cycles; even index a mark
        qlonglong total = 0;
        const auto add = [&](bool mark, qlonglong count) {
            if (!n.isEmpty() && (n.size() % 2 == 1) == mark)
                n.last() += count;
            else
                n.append(count);
            total += count;
        };
        for (const IRProtocolDefinition::Frame &frame : frames) {
            const qlonglong start = total;
            for (const Item &item : frame) {
                switch (item.kind) {
                case Item::Kind::Duration:
                    add(item.value > 0, cycles(std::abs(item.value)));
                    break;
                case Item::Kind::Bits: {
                    const unsigned value = unsigned(item.inverted ? ~valueOf(item)
                                                                  : valueOf(item));
                    for (int k = 0; k < item.width; ++k) {
                        const int bit = protocol.msbFirst ? item.width - 1 - k : k;
                        add(true, cycles(1));
                        add(false,
                            cycles((value >> bit) & 1u ? protocol.oneSpace : protocol.zeroSpace));
                    }
                    break;
                }
                case Item::Kind::Extent:
                    add(false, std::max<qlonglong>(1, std::llround(item.value * 1e-6 / period)
                                                          - (total - start)));
                    break;
                }
            }
        }
        for (qlonglong count : n)
            list.append(count * period);
    };
    if (!protocol.intro.isEmpty())
        render({protocol.intro}, code->onceList);
    render(protocol.repeats, code->repeatList);
    return true;
}

QString IRCode::toCCF() const
{
    const int n = onceList.size() + repeatList.size();
    if (n % 2 != 0) {
        qDebug("Not an even number of pulses.");
        return QString();
    }

    // The table protocols' durations are whole cycles already: rounding
    // only undoes floating-point error.
    const auto cycles = [this](double value) {
        return nearest ? truncated(std::round(value)) : truncated(value);
    };
    QString text = QString::fromLatin1("0000 ");
    text += word(cycles(4145146.0 / frequency));
    text += QLatin1Char(' ') + word(onceList.size() / 2);
    text += QLatin1Char(' ') + word(repeatList.size() / 2);
    for (double seconds : onceList)
        text += QLatin1Char(' ') + word(cycles(seconds * frequency));
    for (double seconds : repeatList)
        text += QLatin1Char(' ') + word(cycles(seconds * frequency));
    return text.toUpper();
}
