#pragma once

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>

#include "irimport.h"
#include "irprotocols.h"

// What the format readers hand their codes to: checks each one, keeps it as
// parameters where IRProtocols builds it, names every skip, and refuses a
// second code of the same name in one equipment (the library would).
class IRImportSink
{
public:
    IRImportSink(const QString &givenEquipment, const QString &fallbackEquipment);

    // The equipment a code goes to: the user's, else the file's own, else the fallback.
    QString equipmentFor(const QString &own) const;

    void addParams(int line, const QString &own, const QString &name, const QString &protocol,
                   int device, int subdevice, int function);
    // Timings in microseconds, marks first. recognise: a code the decoder
    // reads as a protocol IRProtocols builds is kept as its parameters
    // (nominal timings, as a LIRC remote states them); otherwise only a code
    // that renders back word for word is (captures).
    void addTimings(int line, const QString &own, const QString &name, int hertz,
                    const QList<int> &once, const QList<int> &repeat, bool recognise);
    // Pronto text as a list carries it (blanks any width, any case).
    void addPronto(int line, const QString &own, const QString &name, const QString &text);
    // A code in a protocol the tool does not build: counted per spelling.
    void unsupported(int line, const QString &protocol);
    void skip(int line, const QString &reason);
    // The file cannot be read as its format; returns false.
    bool fail(int line, const QString &reason);

    IRImport::Result finish();

private:
    // The code under its parameters when they are known, else as its Pronto text.
    void addParamsOrPronto(int line, const QString &own, const QString &name, bool known,
                           const IRProtocols::Params &params, const QString &ccf);
    void take(IRImport::Code code);

    QString given;
    QString fallback;
    QString failure;
    QList<IRImport::Code> codes;
    QHash<QString, int> names; // equipment + name, folded -> line
    QList<QPair<int, QString>> skips;
    QMap<QString, int> unsupportedCounts; // folded spelling -> count
    QMap<QString, QString> unsupportedSpelling;
    QList<QString> unsupportedOrder;
};
