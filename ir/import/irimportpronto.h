#pragma once

#include <QByteArray>
#include <QString>

class IRImportSink;

// Plain lists of Pronto text, one code a line, either alone ("Code 3" by
// its place in the list) or as "name: code" or "name,code". Blank lines and
// lines starting with # are not codes. Learned codes (0000) and the RC5 and
// RC6 short forms (5000, 6000) are taken.
class IRImportPronto
{
public:
    static bool read(const QByteArray &bytes, const QString &equipment, IRImportSink *sink);
};
