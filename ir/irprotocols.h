#pragma once

#include <QString>
#include <QStringList>

#include "irdecoder.h"

// Every protocol the tool builds, by the lower-case name `kovctl ir gen`
// takes and the site's code library stores: the four the generator dialog
// makes (RC5 with the 7-bit function, RC6 mode 0, SIRC 12/15/20, NEC) and
// the pulse-distance protocols of IRProtocolDefinition. render checks the
// ranges and builds the Pronto text; fromCcf finds the parameters of a
// code that render would build word for word.
class IRProtocols
{
public:
    struct Params
    {
        QString protocol; // lower-case name, as names() gives them
        int device = -1;
        int subdevice =
            -1; // -1: the protocol's default (NEC family: 255 - device; none elsewhere)
        int function = -1;
    };

    // "rc5", "rc6", "sirc12", "sirc15", "sirc20", "nec", "nec1", "nec2", "necx1",
    // "necx2", "samsung32", "jvc", "panasonic", "sharp", "denon", "rca".
    static QStringList names();
    // sirc20 (its 8 extended bits), the NEC family and panasonic.
    static bool hasSubdevice(const QString &protocol);
    // The ranges as render checks them; subdeviceMax -1 when there is none.
    static bool ranges(const QString &protocol, int *deviceMax, int *subdeviceMax,
                       int *functionMax);
    // Checks the ranges and builds the Pronto text: false with *error naming
    // the range, e.g. "device must be 0 to 31". The toggle of RC5 and RC6 is 0.
    static bool render(const Params &params, QString *ccf, QString *error);
    // The parameters of a code IRDecoder recognised, when render() builds that
    // protocol and rendering them gives back exactly the same words; false
    // otherwise.
    static bool fromCcf(const QString &ccf, Params *params);
    // The parameters a recognised decoder result names (its toggle aside);
    // false for a result that names none (not recognised, NEC repeat frames).
    static bool fromResult(const IRDecoder::Result &result, Params *params);
};
