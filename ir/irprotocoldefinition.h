#pragma once

#include <QList>
#include <QString>

// One pulse-distance protocol as its IRP definition gives it: carrier,
// time unit, bit order, the mark and space of a 0 and a 1, the parameter
// ranges, and the frames in sending order. IRCode builds codes from these
// definitions and IRDecoder reads frames against the same ones, so the two
// cannot drift apart. The spec's own four generators (RC5, RC6, SIRC, NEC)
// are not in the table: their timing is fixed as the generator dialog
// makes it.
struct IRProtocolDefinition
{
    enum class Source { Constant, Device, Subdevice, Function, Check };

    // A mark or space of so many units, a bit field, or the lead-out that
    // pads the frame to a period counted from its first mark ("^108m").
    struct Item
    {
        enum class Kind { Duration, Bits, Extent };
        Kind kind = Kind::Duration;
        int value = 0; // Duration: units, > 0 a mark; Bits: the constant; Extent: microseconds
        Source source = Source::Constant; // Bits; Check is device ^ subdevice ^ function
        int width = 0;                    // Bits
        bool inverted = false;            // Bits: the complement ("~F:8")
    };
    using Frame = QList<Item>;

    const char *name;   // lower-case, as `kovctl ir gen` takes it
    const char *title;  // as IRDecoder names it ("NECx1")
    const char *family; // definitions that share one frame and differ in their repeats
    double carrier;     // Hz
    double unit;        // microseconds
    bool msbFirst;
    int zeroSpace; // units; every mark of a bit is one unit
    int oneSpace;
    int deviceMax;
    int subdeviceMax;         // -1: no subdevice
    bool subdeviceComplement; // an absent subdevice is 255 - device
    int functionMax;
    Frame intro;          // sent once; may be empty
    QList<Frame> repeats; // sent while the key is held, in this order

    bool hasSubdevice() const { return subdeviceMax >= 0; }

    static const QList<IRProtocolDefinition> &all();
    static const IRProtocolDefinition *find(const QString &name);
};
