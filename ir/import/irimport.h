#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// Reads IR codes from the files integrators get them in: the parameter CSV
// of the large public database (functionname,protocol,device,subdevice,
// function), LIRC lircd.conf remotes, the universal-remote .ir signal files
// and plain lists of Pronto text. A code whose protocol IRProtocols builds
// is kept as its parameters; any other is kept as Pronto text, rendered
// from its timings where the file gives timings. What a file holds that
// cannot be taken is named in skipped, never dropped silently; a file that
// cannot be read as its format takes nothing and names the line.
class IRImport
{
public:
    enum class Format { Auto, Csv, Lirc, Flipper, Pronto };
    struct Code
    {
        QString equipment;
        QString name;
        QString protocol; // as IRProtocols::Params; empty for Pronto text
        int device = -1, subdevice = -1, function = -1;
        QString pronto; // when protocol is empty
        int line = 0;   // where the code stands in the file
    };
    struct Result
    {
        bool ok = false;
        QString error; // "line 40: ..." when the file is malformed: nothing taken
        QList<Code> codes;
        QMap<QString, int> perProtocol; // codes taken per protocol name ("pronto" for timings)
        QStringList
            skipped; // "12 codes in protocol Aiwa: not supported", "line 40: not a Pronto code"
    };

    static bool parseFormat(const QString &name, Format *format); // auto|csv|lirc|flipper|pronto
    // The format of a file read with Auto: by its first lines, then by the
    // file name's suffix; Pronto when nothing else fits.
    static Format detect(const QByteArray &bytes, const QString &fileName);
    static QString formatName(Format format);
    // equipment: given by the user; empty takes the file's own (LIRC remote
    // name, the .ir file's, ...) or fileName's base name.
    static Result read(const QByteArray &bytes, Format format, const QString &fileName,
                       const QString &equipment);
    // "12 codes: nec1 10, rc5 2" for a summary line.
    static QString countsText(const Result &result);
};
