#include "commands.h"

#include "ccfparser.h"
#include "clisite.h"
#include "commandline.h"
#include "console.h"
#include "devicelist.h"
#include "discoveryround.h"
#include "exitcode.h"
#include "irlibrary.h"
#include "kovdetector.h"
#include "sitefile.h"

namespace {

// "1,3" -> 0x05. An empty list gives 0, which the CCF check turns into
// the window's "no output" error in its place among the checks.
bool parsePorts(const QString &text, int *mask)
{
    *mask = 0;
    if (text.isEmpty())
        return true;
    for (const QString &part : text.split(QLatin1Char(','))) {
        bool ok = false;
        const int port = part.trimmed().toInt(&ok, 10);
        if (!ok || port < 1 || port > 4)
            return false;
        *mask |= 1 << (port - 1);
    }
    return true;
}

}

int irSendCommand(const QStringList &arguments)
{
    CommandLine line(
        QStringLiteral("ir send"),
        QStringLiteral("ir send DEVICE... --ports 1,2,3,4 [--repeat N] (CCF | - | --code "
                       "EQUIPMENT/NAME)"),
        QStringLiteral("Plays a Pronto CCF code on the given IR ports of each DEVICE (an IPv4 "
                       "address, or a\nMAC looked up by discovery). The code is the last "
                       "argument, its hexadecimal words\nseparated by single blanks (quote "
                       "it), or - to read it from standard input\n(line ends at its end are "
                       "dropped). It is checked as the window's \"Send IR\"\nchecks it, and "
                       "refused with the window's texts. With a site (--site FILE before the\n"
                       "command), --code plays the site's code of that equipment and name in its\n"
                       "place, on the ports saved with it when --ports is not given."));
    const QCommandLineOption portsOption(
        QStringLiteral("ports"),
        QStringLiteral("The IR ports to play on, 1 to 4, separated by commas."),
        QStringLiteral("LIST"));
    const QCommandLineOption repeatOption(QStringLiteral("repeat"),
                                          QStringLiteral("Repeat count, 1 to 99 (default 1)."),
                                          QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption codeOption(
        QStringLiteral("code"),
        QStringLiteral("The site's code to play, as EQUIPMENT/NAME (any case)."),
        QStringLiteral("EQUIPMENT/NAME"));
    line.addOption(portsOption);
    line.addOption(repeatOption);
    line.addOption(codeOption);
    int status = ExitCode::Ok;
    if (!line.parse(arguments, &status))
        return status;

    QStringList positional = line.positionalArguments();
    const bool byName = line.isSet(codeOption);
    if (positional.size() < (byName ? 1 : 2))
        return line.fail(byName ? QStringLiteral("give the devices")
                                : QStringLiteral("give the devices, then the CCF code (or - to "
                                                 "read it from standard input)"));
    const QString source = byName ? QString() : positional.takeLast();
    QString error;
    QString text;
    QString ports = line.value(portsOption);
    if (byName) {
        SiteFile site;
        if (!CliSite::open(&site, &error))
            return line.fail(error);
        const int index = IRLibrary::find(site.site(), line.value(codeOption));
        if (index < 0)
            return line.fail(Console::printable(
                QStringLiteral("the site has no code \"%1\"").arg(line.value(codeOption))));
        const SiteIrCode &code = site.site().irCodes.at(index);
        if (!IRLibrary::pronto(code, &text, &error))
            return line.fail(Console::printable(
                QStringLiteral("%1/%2: %3").arg(code.equipment, code.name, error)));
        if (!line.isSet(portsOption)) {
            QStringList saved;
            for (int port : code.ports)
                saved << QString::number(port);
            ports = saved.join(QLatin1Char(','));
        }
    }
    DeviceList devices;
    if (!devices.check(positional, &error))
        return line.fail(error);
    int mask = 0;
    if (!parsePorts(ports, &mask))
        return line.fail(QStringLiteral("--ports takes port numbers 1 to 4 separated by commas, "
                                        "not \"%1\"")
                             .arg(ports));
    int repeats = 1;
    if (!line.intValue(repeatOption, 1, 99, &repeats, &error))
        return line.fail(error);

    if (!byName)
        text = Console::argumentOrInput(source);
    quint16 words[Ccf::MaxWords];
    int count = 0;
    const Ccf::Result result = Ccf::check(text, mask, words, count);
    if (result != Ccf::Result::Ok)
        return line.fail(Ccf::warningText(result));

    status = devices.resolve(DiscoveryRound::DefaultWaitMs, &error);
    if (status != ExitCode::Ok)
        return line.report(error, status);
    for (const DeviceList::Target &target : devices.targets()) {
        KovDetector::sendIR(quint8(mask), quint8(repeats), words, count, target.address);
        Console::out(QStringLiteral("%1: IR code of %2 words sent").arg(target.label).arg(count));
    }
    return ExitCode::Ok;
}
