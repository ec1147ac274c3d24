#pragma once

#include <QString>
#include <QtGlobal>

#include "ccfparser.h"

// Reads a Pronto learned code (format word 0000, the words as the CCF field
// takes them) back into the protocol and parameters that made it: the
// reverse of IRCode's generators, for codes pasted from code lists, other
// tools and learning remotes as well as our own.
//
// Recognised: RC5 (device 0-31, function 0-127, the second start bit being
// the inverted seventh function bit; toggle), RC6 mode 0 (device and
// function 0-255; toggle), SIRC 12, 15 and 20 (device, function, and the 8
// extended bits of SIRC 20), NEC (device, function, and the second address
// byte when it is not the complement of the first) with its repeat frames,
// and the protocols of IRProtocolDefinition (NEC1, NEC2, NECx1, NECx2,
// Samsung32, JVC, Panasonic, Sharp, Denon, RCA), read frame by frame
// against the same definitions IRCode builds them from.
// A frame may stand in the once or in the repeat part; the first whole
// frame found (once part first) is the answer, and a code holding only NEC
// repeat frames is answered as such. Durations may be off by 25 %, the
// carrier by 10 % of the protocol's, the lead-out anything from a short gap
// to a full frame period.
//
// Names within a family that shares one frame:
// - A 9 ms leader frame is "NEC" (the name the tool has always given it,
//   and what `nec` builds) unless the whole code has NEC1's or NEC2's
//   lead-out: every frame lasting 108 ms (within 1.5 %) from its first mark.
//   Then it is NEC1 when only repeat frames (9 ms + 2.25 ms dittos) follow
//   it, or nothing follows it in the once part; NEC2 when the frame itself
//   is what repeats. The tool's own NEC code pads its frame to 110 ms and
//   its ditto lasts 111.7 ms, so it always reads "NEC", as do codes whose
//   timing is off (learned codes, other tools) - which also play as NEC.
// - A 4.5 ms + 4.5 ms leader frame is NECx1 when NECx1's one-bit ditto
//   follows it, NECx2 otherwise; Samsung32 when its fourth byte is not the
//   complement of the third (Samsung32's 16-bit function). A Samsung32 code
//   whose high function byte is that complement is the same signal as an
//   NECx1 code and reads as NECx1.
// - Sharp and Denon frames tell themselves apart by their two last bits.
//
// Not recognised on purpose, with the reason given: RC5x (subdevice field),
// RC6 modes other than 0, NEC whose fourth byte is not the complement of
// the third, and formats other than learned codes (first word not 0000).
//
// Usage:
//     const IRDecoder::Result code = IRDecoder::decode(lineEdit->text());
//     label->setText(code.text());
// decode never throws and never crashes on any input; it is cheap enough to
// run on every key press.
class IRDecoder
{
public:
    enum class Status { Recognised, NotRecognised, Malformed };
    // NEC1 and after: the protocols of IRProtocolDefinition::all(), in its order.
    enum class Protocol {
        None,
        RC5,
        RC6,
        SIRC,
        NEC,
        NEC1,
        NEC2,
        NECx1,
        NECx2,
        Samsung32,
        JVC,
        Panasonic,
        Sharp,
        Denon,
        RCA
    };

    struct Result
    {
        Status status = Status::Malformed;
        Protocol protocol = Protocol::None; // None unless Recognised
        int bits = 0;                       // SIRC: 12, 15 or 20; otherwise 0
        // In the ranges of IRProtocols::ranges; Samsung32's function is 16 bits.
        int device = -1;   // RC5 0-31, RC6 0-255, SIRC 0-31 (SIRC 15: 0-255), NEC 0-255
        int function = -1; // RC5 0-127, RC6 0-255, SIRC 0-127, NEC 0-255
        // SIRC 20: the 8 extended bits. NEC: the second address byte when it
        // is not the complement of the first (the 16-bit address is then
        // device + 256 x extended, as IRCode::generateNEC takes it). The
        // table protocols: the subdevice, when it is not the default
        // 255 - device (Panasonic: always). Otherwise -1.
        int extended = -1;
        int toggle = -1;     // RC5 and RC6: 0 or 1; otherwise -1
        bool repeat = false; // NEC repeat frames only: device and function are -1
        // Why the CCF field would refuse the text (Malformed from the text
        // form of decode only); Ok otherwise.
        Ccf::Result ccf = Ccf::Result::Ok;
        // NotRecognised: what the nearest protocol found wrong (may be
        // empty when nothing came close). Malformed: what is wrong.
        QString reason;

        // One line for a user, as the main window shows it:
        // "NEC: device 4, function 8", "RC5: device 0, function 0, toggle 0",
        // "Panasonic: device 4, subdevice 1, function 8",
        // "not a recognised protocol (NEC-like, function check byte wrong)",
        // the CCF field's warning text, or "malformed code: " and the reason.
        QString text() const;
    };

    // Checks the text exactly as "Send IR" does (Ccf::parse) and decodes it.
    static Result decode(const QString &ccf);
    // Decodes count words; checks their count against the header itself.
    static Result decode(const quint16 *words, int count);
};
