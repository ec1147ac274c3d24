#include "irlibrary.h"

#include "ccfparser.h"
#include "irprotocols.h"
#include "site.h"

void IRLibrary::plan(const Site &site, const IRImport::Result &import, Site *after,
                     IRImport::Result *taken)
{
    *after = site;
    *taken = import;
    taken->codes.clear();
    taken->perProtocol.clear();
    QStringList clashes;
    for (const IRImport::Code &code : import.codes) {
        SiteIrCode entry;
        entry.equipment = code.equipment;
        entry.name = code.name;
        entry.protocol = code.protocol;
        entry.device = code.device;
        entry.subdevice = code.subdevice;
        entry.function = code.function;
        entry.pronto = code.pronto;
        QString error;
        if (!after->addIrCode(entry, &error)) {
            clashes << QStringLiteral("line %1: %2").arg(code.line).arg(error);
            continue;
        }
        taken->codes.append(code);
        ++taken->perProtocol[code.protocol.isEmpty() ? QStringLiteral("pronto") : code.protocol];
    }
    taken->skipped += clashes;
}

bool IRLibrary::fromCcf(const QString &ccf, const QString &equipment, const QString &name,
                        const QList<int> &ports, SiteIrCode *code, QString *error)
{
    quint16 words[Ccf::MaxWords];
    int count = 0;
    const Ccf::Result result = Ccf::parse(ccf, words, count);
    if (result != Ccf::Result::Ok) {
        *error = Ccf::warningText(result);
        return false;
    }
    SiteIrCode c;
    c.equipment = equipment.trimmed();
    c.name = name.trimmed();
    c.ports = ports;
    IRProtocols::Params params;
    if (IRProtocols::fromCcf(ccf, &params)) {
        c.protocol = params.protocol;
        c.device = params.device;
        c.subdevice = params.subdevice;
        c.function = params.function;
    } else {
        c.pronto = ccf;
    }
    *code = c;
    return true;
}

bool IRLibrary::pronto(const SiteIrCode &code, QString *ccf, QString *error)
{
    if (code.protocol.isEmpty()) {
        *ccf = code.pronto;
        return true;
    }
    IRProtocols::Params params;
    params.protocol = code.protocol;
    params.device = code.device;
    params.subdevice = code.subdevice;
    params.function = code.function;
    return IRProtocols::render(params, ccf, error);
}

int IRLibrary::find(const Site &site, const QString &path)
{
    for (int slash = path.indexOf(QLatin1Char('/')); slash >= 0;
         slash = path.indexOf(QLatin1Char('/'), slash + 1)) {
        const int index = site.indexOfCode(path.left(slash), path.mid(slash + 1));
        if (index >= 0)
            return index;
    }
    return -1;
}

QString IRLibrary::describe(const SiteIrCode &code)
{
    if (code.protocol.isEmpty())
        return QStringLiteral("pronto: %1 words").arg(code.pronto.count(QLatin1Char(' ')) + 1);
    QString text = QStringLiteral("%1: device %2").arg(code.protocol).arg(code.device);
    if (code.subdevice >= 0)
        text += QStringLiteral(", subdevice %1").arg(code.subdevice);
    return text + QStringLiteral(", function %1").arg(code.function);
}
