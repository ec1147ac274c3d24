#include "irimportsink.h"

#include <QRegularExpression>

#include "ccfparser.h"
#include "irdecoder.h"
#include "irprotocols.h"
#include "prontotimings.h"

IRImportSink::IRImportSink(const QString &givenEquipment, const QString &fallbackEquipment)
    : given(givenEquipment.trimmed()), fallback(fallbackEquipment.trimmed())
{
    if (fallback.isEmpty())
        fallback = QStringLiteral("Imported");
}

QString IRImportSink::equipmentFor(const QString &own) const
{
    if (!given.isEmpty())
        return given;
    const QString trimmed = own.trimmed();
    return trimmed.isEmpty() ? fallback : trimmed;
}

void IRImportSink::addParams(int line, const QString &own, const QString &name,
                             const QString &protocol, int device, int subdevice, int function)
{
    IRProtocols::Params params;
    params.protocol = protocol;
    params.device = device;
    params.subdevice = subdevice;
    params.function = function;
    QString ccf, error;
    if (!IRProtocols::render(params, &ccf, &error)) {
        skip(line, QStringLiteral("%1: %2").arg(protocol, error));
        return;
    }
    IRImport::Code code;
    code.equipment = equipmentFor(own);
    code.name = name;
    code.protocol = protocol;
    code.device = device;
    code.subdevice = subdevice;
    code.function = function;
    code.line = line;
    take(code);
}

void IRImportSink::addTimings(int line, const QString &own, const QString &name, int hertz,
                              const QList<int> &once, const QList<int> &repeat, bool recognise)
{
    QString ccf, error;
    if (!ProntoTimings::render(hertz, once, repeat, &ccf, &error)) {
        skip(line, error);
        return;
    }
    IRProtocols::Params params;
    const bool known = recognise ? IRProtocols::fromResult(IRDecoder::decode(ccf), &params)
                                 : IRProtocols::fromCcf(ccf, &params);
    addParamsOrPronto(line, own, name, known, params, ccf);
}

void IRImportSink::addPronto(int line, const QString &own, const QString &name,
                             const QString &text)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QString ccf = text.trimmed().replace(blanks, QStringLiteral(" ")).toUpper();
    quint16 words[Ccf::MaxWords];
    int count = 0;
    if (Ccf::parse(ccf, words, count) != Ccf::Result::Ok) {
        skip(line, QStringLiteral("not a Pronto code"));
        return;
    }
    // The short forms carry the parameters themselves.
    if ((words[0] == 0x5000 || words[0] == 0x6000) && count == 6) {
        addParams(line, own, name,
                  words[0] == 0x5000 ? QStringLiteral("rc5") : QStringLiteral("rc6"), words[4], -1,
                  words[5]);
        return;
    }
    if (words[0] != 0x0000) {
        const QString format = QStringLiteral("%1").arg(words[0], 4, 16, QLatin1Char('0'));
        skip(line, QStringLiteral("Pronto format %1: not supported").arg(format.toUpper()));
        return;
    }
    IRProtocols::Params params;
    addParamsOrPronto(line, own, name, IRProtocols::fromCcf(ccf, &params), params, ccf);
}

void IRImportSink::addParamsOrPronto(int line, const QString &own, const QString &name, bool known,
                                     const IRProtocols::Params &params, const QString &ccf)
{
    if (known) {
        addParams(line, own, name, params.protocol, params.device, params.subdevice,
                  params.function);
        return;
    }
    IRImport::Code code;
    code.equipment = equipmentFor(own);
    code.name = name;
    code.pronto = ccf;
    code.line = line;
    take(code);
}

void IRImportSink::take(IRImport::Code code)
{
    code.name = code.name.trimmed();
    if (code.name.isEmpty()) {
        skip(code.line, QStringLiteral("the code has no name"));
        return;
    }
    const QString key = code.equipment.toCaseFolded() + QLatin1Char('\n')
                        + code.name.toCaseFolded();
    const auto first = names.constFind(key);
    if (first != names.constEnd()) {
        skip(code.line, QStringLiteral("\"%1\" is already in \"%2\" (line %3)")
                            .arg(code.name, code.equipment)
                            .arg(*first));
        return;
    }
    names.insert(key, code.line);
    codes.append(code);
}

void IRImportSink::unsupported(int line, const QString &protocol)
{
    Q_UNUSED(line);
    const QString key = protocol.toCaseFolded();
    if (!unsupportedCounts.contains(key)) {
        unsupportedOrder.append(key);
        unsupportedSpelling.insert(key, protocol);
    }
    ++unsupportedCounts[key];
}

void IRImportSink::skip(int line, const QString &reason)
{
    skips.append({line, reason});
}

bool IRImportSink::fail(int line, const QString &reason)
{
    if (failure.isEmpty())
        failure = QStringLiteral("line %1: %2").arg(line).arg(reason);
    return false;
}

IRImport::Result IRImportSink::finish()
{
    IRImport::Result result;
    if (!failure.isEmpty()) {
        result.error = failure;
        return result;
    }
    result.ok = true;
    result.codes = codes;
    for (const IRImport::Code &code : codes)
        ++result.perProtocol[code.protocol.isEmpty() ? QStringLiteral("pronto") : code.protocol];
    for (const QString &key : unsupportedOrder) {
        const int count = unsupportedCounts.value(key);
        const QString protocol = unsupportedSpelling.value(key);
        result.skipped
            << (count == 1 ? QStringLiteral("1 code in protocol %1: not supported").arg(protocol)
                           : QStringLiteral("%1 codes in protocol %2: not supported")
                                 .arg(count)
                                 .arg(protocol));
    }
    std::stable_sort(skips.begin(), skips.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    for (const auto &s : skips)
        result.skipped << QStringLiteral("line %1: %2").arg(s.first).arg(s.second);
    return result;
}
