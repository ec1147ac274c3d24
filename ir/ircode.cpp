#include "ircode.h"

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
    code->clear();
    code->setFrequency(36000);
    address &= 0x1F;
    command &= 0x3F;

    // Half-bit levels, '1' carrier on. The first start bit's leading off
    // half is not sent.
    QString levels = QString::fromLatin1(toggle ? "10101" : "10110");
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
    code->clear();
    code->setFrequency(38000);
    code->appendOnce(0.009);
    code->appendOnce(0.0045);
    appendNecWord(code, necWord(address));
    appendNecWord(code, necWord(command));
    code->appendOnce(0.0005625);
    code->appendOnce(0.11 - code->onceTotal());

    code->appendRepeat(0.009);
    code->appendRepeat(0.00225);
    code->appendRepeat(0.00056);
    code->appendRepeat(0.1);
    return true;
}

QString IRCode::toCCF() const
{
    const int n = onceList.size() + repeatList.size();
    if (n % 2 != 0) {
        qDebug("Not an even number of pulses.");
        return QString();
    }

    QString text = QString::fromLatin1("0000 ");
    text += word(truncated(4145146.0 / frequency));
    text += QLatin1Char(' ') + word(onceList.size() / 2);
    text += QLatin1Char(' ') + word(repeatList.size() / 2);
    for (double seconds : onceList)
        text += QLatin1Char(' ') + word(truncated(seconds * frequency));
    for (double seconds : repeatList)
        text += QLatin1Char(' ') + word(truncated(seconds * frequency));
    return text.toUpper();
}
