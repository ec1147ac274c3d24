#pragma once

#include <QList>
#include <QObject>
#include <QString>

struct IRProtocolDefinition;

// One infrared command as a carrier frequency and two lists of mark/space
// durations in seconds (the once burst and the repeat burst), built by one
// of the protocol generators and rendered as Pronto CCF text.
class IRCode : public QObject
{
    Q_OBJECT

public:
    explicit IRCode(QObject *parent = nullptr);

    void setFrequency(double hertz);
    void clear();
    void appendOnce(double seconds);
    void appendRepeat(double seconds);
    void addMark(double seconds);
    void addSpace(double seconds);
    void removeLastRepeat(int count);
    double onceTotal() const;
    int repeatCount() const;

    static bool generateRC5(IRCode *code, bool toggle, quint8 address, quint8 command);
    static bool generateRC6(IRCode *code, bool toggle, quint8 address, quint8 command);
    static bool generateSIRC(IRCode *code, int bits, int address, int command);
    static bool generateNEC(IRCode *code, int address, int command);
    // RC5 with the 7-bit command (0-127): bit 6 is sent inverted in the
    // second start bit, so commands 0-63 give generateRC5's code.
    static bool generateRC5Extended(IRCode *code, bool toggle, int address, int command);
    // generateNEC's timing with the second address byte given as it is sent
    // (0 included, which the one-number form cannot say).
    static bool generateNEC(IRCode *code, int device, int subdevice, int function);
    // A protocol of the definition table with its parameters (the ranges
    // already checked, the subdevice already defaulted). Durations are whole
    // periods of the Pronto carrier, rounded to the nearest, and each
    // lead-out brings its frame to the defined period exactly.
    static bool generate(IRCode *code, const IRProtocolDefinition &protocol, int device,
                         int subdevice, int function);

    QString toCCF() const;

private:
    double frequency = 0;
    bool nearest = false; // toCCF rounds instead of truncating (the table protocols)
    QList<double> onceList;
    QList<double> repeatList;
};
