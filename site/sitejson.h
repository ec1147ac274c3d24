#pragma once

#include <QByteArray>
#include <QString>

class Site;

// The site file's text: JSON, written for people to read and for scripts.
class SiteJson
{
public:
    // false with *error, *site untouched: "line L, column C: <reason>" for
    // text that is not JSON; "not a KOV-1 site file" (format marker missing
    // or other); "site format version N is newer than this tool reads (1)";
    // "device N: "xyz" is not a MAC address"; "device N: MAC ... is listed
    // twice"; "device N: the name "X" is used twice"; codes likewise
    // ("IR code N: ...").
    static bool parse(const QByteArray &bytes, Site *site, QString *error);
    // Indented JSON, stable order, UTF-8, ends in \n.
    static QByteArray serialise(const Site &site);
};
