#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "irimport.h"

class Site;
struct SiteIrCode;

// The site's IR code library: codes by equipment and name, kept as protocol
// parameters where IRProtocols builds them and as Pronto text otherwise;
// the Pronto text of a parameter code is built when it is sent. Shared by
// the window and kovctl.
class IRLibrary
{
public:
    // What an import does to a site: *after the site with every code the
    // import took that the site does not already name; *taken the import's
    // result with only those codes, counted again, and the clashes added to
    // its skips.
    static void plan(const Site &site, const IRImport::Result &import, Site *after,
                     IRImport::Result *taken);
    // A code from the CCF field's text: its parameters when IRProtocols reads
    // it back word for word, its Pronto text (as "Send IR" takes it)
    // otherwise. False with *error when the text is not a code.
    static bool fromCcf(const QString &ccf, const QString &equipment, const QString &name,
                        const QList<int> &ports, SiteIrCode *code, QString *error);
    // The Pronto text to send.
    static bool pronto(const SiteIrCode &code, QString *ccf, QString *error);
    // The code named "EQUIPMENT/NAME" (either may hold '/'; any case): its
    // index, or -1.
    static int find(const Site &site, const QString &path);
    // "nec1: device 4, function 8" or "pronto: 38 words".
    static QString describe(const SiteIrCode &code);
};
