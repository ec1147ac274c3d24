#include "irprotocoldefinition.h"

namespace {

using Item = IRProtocolDefinition::Item;
using Frame = IRProtocolDefinition::Frame;
using Source = IRProtocolDefinition::Source;

Item units(int value)
{
    return {Item::Kind::Duration, value};
}

Item bits(Source source, int width, bool inverted = false)
{
    return {Item::Kind::Bits, 0, source, width, inverted};
}

Item constant(int value, int width)
{
    return {Item::Kind::Bits, value, Source::Constant, width};
}

Item periodMs(double ms)
{
    return {Item::Kind::Extent, int(ms * 1000 + 0.5)};
}

constexpr Source D = Source::Device;
constexpr Source S = Source::Subdevice;
constexpr Source F = Source::Function;

QList<IRProtocolDefinition> build()
{
    const Frame nec{units(16),  units(-8),        bits(D, 8), bits(S, 8),
                    bits(F, 8), bits(F, 8, true), units(1),   periodMs(108)};
    const Frame necDitto{units(16), units(-4), units(1), periodMs(108)};
    const Frame necx{units(8),   units(-8),        bits(D, 8), bits(S, 8),
                     bits(F, 8), bits(F, 8, true), units(1),   periodMs(108)};
    const Frame necxDitto{units(8), units(-8), bits(D, 1, true), units(1), periodMs(108)};
    const Frame samsung{units(8),    units(-8), bits(D, 8),   bits(S, 8),
                        bits(F, 16), units(1),  periodMs(108)};
    const auto sharpDenon = [](int plain, int inverted) {
        return QList<Frame>{{bits(D, 5), bits(F, 8, true), constant(inverted, 2), units(1),
                             periodMs(67)},
                            {bits(D, 5), bits(F, 8), constant(plain, 2), units(1), periodMs(67)}};
    };
    const QList<Frame> sharp = sharpDenon(1, 2);
    const QList<Frame> denon = sharpDenon(0, 3);

    // clang-format off
    return {
        // NEC1 {38.4k,564}<1,-1|1,-3>(16,-8,D:8,S:8,F:8,~F:8,1,^108m,(16,-4,1,^108m)*)
        //      [D:0..255,S:0..255=255-D,F:0..255]
        {"nec1", "NEC1", "nec", 38400, 564, false, 1, 3, 255, 255, true, 255, nec, {necDitto}},
        // NEC2 {38.4k,564}<1,-1|1,-3>(16,-8,D:8,S:8,F:8,~F:8,1,^108m)*
        //      [D:0..255,S:0..255=255-D,F:0..255]
        {"nec2", "NEC2", "nec", 38400, 564, false, 1, 3, 255, 255, true, 255, {}, {nec}},
        // NECx1 {38.4k,564}<1,-1|1,-3>(8,-8,D:8,S:8,F:8,~F:8,1,^108m,(8,-8,~D:1,1,^108m)*)
        //       [D:0..255,S:0..255=255-D,F:0..255]
        {"necx1", "NECx1", "necx", 38400, 564, false, 1, 3, 255, 255, true, 255, necx, {necxDitto}},
        // NECx2 {38.4k,564}<1,-1|1,-3>(8,-8,D:8,S:8,F:8,~F:8,1,^108m)*
        //       [D:0..255,S:0..255=255-D,F:0..255]
        {"necx2", "NECx2", "necx", 38400, 564, false, 1, 3, 255, 255, true, 255, {}, {necx}},
        // Samsung32 = NECx1-f16: {38.4k,564}<1,-1|1,-3>(8,-8,D:8,S:8,F:16,1,^108m,
        //       (8,-8,~D:1,1,^108m)*) [D:0..255,S:0..255=255-D,F:0..65535]; the function's
        //       low byte is the IRP's F, its high byte E
        {"samsung32", "Samsung32", "necx", 38400, 564, false, 1, 3, 255, 255, true, 65535,
         samsung, {necxDitto}},
        // JVC {37.9k,527,33%}<1,-1|1,-3>(16,-8,D:8,F:8,1,^59.08m,(D:8,F:8,1,^46.42m)*)
        //     [D:0..255,F:0..255]
        {"jvc", "JVC", "jvc", 37900, 527, false, 1, 3, 255, -1, false, 255,
         {units(16), units(-8), bits(D, 8), bits(F, 8), units(1), periodMs(59.08)},
         {{bits(D, 8), bits(F, 8), units(1), periodMs(46.42)}}},
        // Panasonic (Kaseikyo, maker code 2/32) {37k,432}<1,-1|1,-3>(8,-4,2:8,32:8,D:8,S:8,F:8,
        //     (D^S^F):8,1,-173)* [D:0..255,S:0..255,F:0..255]
        {"panasonic", "Panasonic", "kaseikyo", 37000, 432, false, 1, 3, 255, 255, false, 255, {},
         {{units(8), units(-4), constant(2, 8), constant(32, 8), bits(D, 8), bits(S, 8),
           bits(F, 8), bits(Source::Check, 8), units(1), units(-173)}}},
        // Sharp {38k,264}<1,-3|1,-7>(D:5,F:8,1:2,1,^67m,(D:5,~F:8,2:2,1,^67m,D:5,F:8,1:2,1,^67m)*)
        //       [D:0..31,F:0..255]
        {"sharp", "Sharp", "sharp", 38000, 264, false, 3, 7, 31, -1, false, 255, sharp.at(1),
         sharp},
        // Denon {38k,264}<1,-3|1,-7>(D:5,F:8,0:2,1,^67m,(D:5,~F:8,3:2,1,^67m,D:5,F:8,0:2,1,^67m)*)
        //       [D:0..31,F:0..255]
        {"denon", "Denon", "denon", 38000, 264, false, 3, 7, 31, -1, false, 255, denon.at(1),
         denon},
        // RCA {58k,460,msb}<1,-2|1,-4>(8,-8,D:4,F:8,~D:4,~F:8,1,-16)* [D:0..15,F:0..255]
        {"rca", "RCA", "rca", 58000, 460, true, 2, 4, 15, -1, false, 255, {},
         {{units(8), units(-8), bits(D, 4), bits(F, 8), bits(D, 4, true), bits(F, 8, true),
           units(1), units(-16)}}},
    };
    // clang-format on
}

} // namespace

const QList<IRProtocolDefinition> &IRProtocolDefinition::all()
{
    static const QList<IRProtocolDefinition> definitions = build();
    return definitions;
}

const IRProtocolDefinition *IRProtocolDefinition::find(const QString &name)
{
    for (const IRProtocolDefinition &definition : all()) {
        if (name == QLatin1String(definition.name))
            return &definition;
    }
    return nullptr;
}
