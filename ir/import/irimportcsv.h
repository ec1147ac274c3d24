#pragma once

#include <QByteArray>
#include <QString>

class IRImportSink;

// The parameter CSV of the large public IR database: the header
// functionname,protocol,device,subdevice,function, one code a row,
// subdevice -1 for none. Protocol spellings are taken in any case and
// mapped to the names IRProtocols builds ("NEC", a frame captured without
// its repeat, is sent as nec1; "Sony12" is sirc12).
class IRImportCsv
{
public:
    // The lower-case name IRProtocols builds for a spelling such files use;
    // empty when the tool does not build it.
    static QString protocolFor(const QString &spelling);
    // Whether bytes start with the header.
    static bool looksLike(const QByteArray &bytes);
    static bool read(const QByteArray &bytes, const QString &equipment, IRImportSink *sink);
};
