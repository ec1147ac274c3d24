#pragma once

#include <QList>
#include <QObject>
#include <QString>

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

    QString toCCF() const;

private:
    double frequency = 0;
    QList<double> onceList;
    QList<double> repeatList;
};
