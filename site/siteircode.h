#pragma once

#include <QList>
#include <QString>

// An IR code kept with the site, under the equipment it drives: either a
// protocol with its parameters or, for a code no protocol describes, its
// Pronto text.
struct SiteIrCode
{
    QString equipment;  // "Lobby TV"
    QString name;       // "Power"; unique within its equipment, case-insensitively
    QString protocol;   // lower-case name as `kovctl ir gen` takes it ("nec1", "rc5", ...);
                        // empty for a code kept as Pronto text only
    int device = -1;    // -1: none
    int subdevice = -1; // -1: none (the protocol's default)
    int function = -1;
    QString pronto;   // the Pronto text when protocol is empty; otherwise empty
    QList<int> ports; // IR ports 1..4 the code is saved for; empty: not said

    bool operator==(const SiteIrCode &other) const
    {
        return equipment == other.equipment && name == other.name && protocol == other.protocol
               && device == other.device && subdevice == other.subdevice
               && function == other.function && pronto == other.pronto && ports == other.ports;
    }
    bool operator!=(const SiteIrCode &other) const { return !(*this == other); }
};
