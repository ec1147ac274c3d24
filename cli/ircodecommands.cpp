// kovctl ir import and ir list: the site's IR code library from the
// command line.
#include "commands.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include "clisite.h"
#include "commandline.h"
#include "console.h"
#include "devicelistcsv.h"
#include "exitcode.h"
#include "irimport.h"
#include "irlibrary.h"
#include "sitefile.h"

namespace {

QString portsText(const QList<int> &ports)
{
    QStringList parts;
    for (int port : ports)
        parts << QString::number(port);
    return parts.join(QLatin1Char(','));
}

QString number(int value)
{
    return value < 0 ? QString() : QString::number(value);
}

void printTable(const QList<SiteIrCode> &codes)
{
    QList<QStringList> lines{{QStringLiteral("Equipment"), QStringLiteral("Name"),
                              QStringLiteral("Code"), QStringLiteral("Ports")}};
    for (const SiteIrCode &code : codes)
        lines.append({Console::printable(code.equipment), Console::printable(code.name),
                      Console::printable(IRLibrary::describe(code)), portsText(code.ports)});
    Console::table(lines);
}

void printJson(const QList<SiteIrCode> &codes)
{
    QJsonArray array;
    for (const SiteIrCode &code : codes) {
        QJsonObject object{{QStringLiteral("equipment"), code.equipment},
                           {QStringLiteral("name"), code.name}};
        if (code.protocol.isEmpty()) {
            object.insert(QStringLiteral("pronto"), code.pronto);
        } else {
            object.insert(QStringLiteral("protocol"), code.protocol);
            object.insert(QStringLiteral("device"), code.device);
            if (code.subdevice >= 0)
                object.insert(QStringLiteral("subdevice"), code.subdevice);
            object.insert(QStringLiteral("function"), code.function);
        }
        QJsonArray ports;
        for (int port : code.ports)
            ports.append(port);
        if (!ports.isEmpty())
            object.insert(QStringLiteral("ports"), ports);
        array.append(object);
    }
    Console::json(array);
}

void printCsv(const QList<SiteIrCode> &codes)
{
    QByteArray csv = DeviceListCsv::record(
        {QStringLiteral("equipment"), QStringLiteral("name"), QStringLiteral("protocol"),
         QStringLiteral("device"), QStringLiteral("subdevice"), QStringLiteral("function"),
         QStringLiteral("pronto"), QStringLiteral("ports")});
    for (const SiteIrCode &code : codes)
        csv += DeviceListCsv::record({code.equipment, code.name, code.protocol,
                                      number(code.device), number(code.subdevice),
                                      number(code.function), code.pronto, portsText(code.ports)});
    Console::raw(QString::fromUtf8(csv));
}

} // namespace

int irImportCommand(const QStringList &arguments)
{
    CommandLine line(
        QStringLiteral("ir import"),
        QStringLiteral("--site SITE ir import FILE [--equipment NAME] "
                       "[--format auto|csv|lirc|flipper|pronto] [--dry-run]"),
        QStringLiteral(
            "Reads the IR codes of FILE into the site's code library and prints how many\n"
            "it takes per protocol and every code it skips, with why. Codes in a protocol\n"
            "the tool builds are kept as their parameters, others as Pronto text. They go\n"
            "under NAME, or the file's own equipment name (a LIRC remote's name), or the\n"
            "file's base name. A code whose name the equipment already has is skipped. A\n"
            "file that cannot be read as its format changes nothing: the line is named\n"
            "and the status is 2."));
    const QCommandLineOption equipmentOption(QStringLiteral("equipment"),
                                             QStringLiteral("The equipment the codes go under."),
                                             QStringLiteral("NAME"));
    const QCommandLineOption formatOption(
        QStringLiteral("format"),
        QStringLiteral("auto (default: by the file's first lines, then its suffix), csv (the\n"
                       "parameter CSV functionname,protocol,device,subdevice,function), lirc\n"
                       "(lircd.conf), flipper (.ir signal files) or pronto (one code a line,\n"
                       "optionally \"name: code\" or \"name,code\")."),
        QStringLiteral("FORMAT"), QStringLiteral("auto"));
    const QCommandLineOption dryRunOption(QStringLiteral("dry-run"),
                                          QStringLiteral(
                                              "Print what would be taken; write nothing."));
    line.addOption(equipmentOption);
    line.addOption(formatOption);
    line.addOption(dryRunOption);
    int status = ExitCode::Ok;
    if (!line.parse(arguments, &status))
        return status;
    if (line.positionalArguments().size() != 1)
        return line.fail(QStringLiteral("name one file of IR codes"));
    IRImport::Format format = IRImport::Format::Auto;
    if (!IRImport::parseFormat(line.value(formatOption), &format))
        return line.fail(QStringLiteral("--format must be auto, csv, lirc, flipper or pronto, "
                                        "not \"%1\"")
                             .arg(line.value(formatOption)));
    SiteFile file;
    QString error;
    if (!CliSite::open(&file, &error))
        return line.fail(error);
    const QString path = line.positionalArguments().constFirst();
    QFile input(path);
    if (!input.open(QIODevice::ReadOnly))
        return line.fail(QStringLiteral("%1: %2").arg(path, input.errorString()));
    const QByteArray bytes = input.readAll();
    if (format == IRImport::Format::Auto)
        format = IRImport::detect(bytes, path);
    const IRImport::Result result = IRImport::read(bytes, format, path,
                                                   line.value(equipmentOption));
    if (!result.ok)
        return line.fail(Console::printable(
            QStringLiteral("%1: %2; nothing imported").arg(path, result.error)));

    Site after;
    IRImport::Result taken;
    IRLibrary::plan(file.site(), result, &after, &taken);
    for (auto it = taken.perProtocol.constBegin(); it != taken.perProtocol.constEnd(); ++it)
        Console::out(QStringLiteral("%1: %2 %3")
                         .arg(it.key())
                         .arg(it.value())
                         .arg(it.value() == 1 ? QStringLiteral("code") : QStringLiteral("codes")));
    for (const QString &skip : taken.skipped)
        Console::out(Console::printable(QStringLiteral("skipped: ") + skip));
    const QString summary = QStringLiteral("%1 (%2) into %3")
                                .arg(IRImport::countsText(taken), IRImport::formatName(format),
                                     file.path());
    if (line.isSet(dryRunOption)) {
        Console::out(Console::printable(summary + QStringLiteral(" (dry run: nothing written)")));
        return ExitCode::Ok;
    }
    if (!taken.codes.isEmpty() && file.save(after, &error) != SiteFile::SaveResult::Saved)
        return line.fail(QStringLiteral("%1: nothing written: %2").arg(file.path(), error));
    Console::out(Console::printable(summary));
    return ExitCode::Ok;
}

int irListCommand(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("ir list"),
                     QStringLiteral("--site SITE ir list [--format table|json|csv]"),
                     QStringLiteral(
                         "Lists the site's IR codes by equipment, in the file's order."));
    const QCommandLineOption formatOption(QStringLiteral("format"),
                                          QStringLiteral("table, json or csv (default table)."),
                                          QStringLiteral("FORMAT"), QStringLiteral("table"));
    line.addOption(formatOption);
    line.setNotes(QStringLiteral(
        "Formats:\n"
        "  table  columns Equipment, Name, Code (protocol and parameters, or the\n"
        "         number of Pronto words) and Ports\n"
        "  json   an array of objects as the site file holds them: equipment, name,\n"
        "         then protocol, device, subdevice (when there is one) and function,\n"
        "         or pronto; ports when saved with the code\n"
        "  csv    the header \"equipment,name,protocol,device,subdevice,function,pronto,\n"
        "         ports\"; empty fields for what a code does not have"));
    int status = ExitCode::Ok;
    if (!line.parse(arguments, &status))
        return status;
    if (!line.positionalArguments().isEmpty())
        return line.fail(QStringLiteral("ir list takes no arguments"));
    const QString format = line.value(formatOption);
    if (format != QLatin1String("table") && format != QLatin1String("json")
        && format != QLatin1String("csv"))
        return line.fail(
            QStringLiteral("--format must be table, json or csv, not \"%1\"").arg(format));
    SiteFile file;
    QString error;
    if (!CliSite::open(&file, &error))
        return line.fail(error);
    // Grouped by equipment, each group in the file's order.
    QList<SiteIrCode> codes;
    for (const QString &equipment : file.site().equipment()) {
        for (const SiteIrCode &code : file.site().irCodes) {
            if (!code.equipment.compare(equipment, Qt::CaseInsensitive))
                codes.append(code);
        }
    }
    if (format == QLatin1String("json"))
        printJson(codes);
    else if (format == QLatin1String("csv"))
        printCsv(codes);
    else
        printTable(codes);
    return ExitCode::Ok;
}
