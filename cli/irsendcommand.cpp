#include "commands.h"

#include "ccfparser.h"
#include "commandline.h"
#include "console.h"
#include "devicelist.h"
#include "discoveryround.h"
#include "exitcode.h"
#include "kovdetector.h"

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
    CommandLine line(QStringLiteral("ir send"),
                     QStringLiteral("ir send DEVICE... --ports 1,2,3,4 [--repeat N] (CCF | -)"),
                     QStringLiteral(
                         "Plays a Pronto CCF code on the given IR ports of each DEVICE (an IPv4 "
                         "address, or a\nMAC looked up by discovery). The code is the last "
                         "argument, its hexadecimal words\nseparated by single blanks (quote "
                         "it), or - to read it from standard input\n(line ends at its end are "
                         "dropped). It is checked as the window's \"Send IR\"\nchecks it, and "
                         "refused with the window's texts."));
    const QCommandLineOption portsOption(
        QStringLiteral("ports"),
        QStringLiteral("The IR ports to play on, 1 to 4, separated by commas."),
        QStringLiteral("LIST"));
    const QCommandLineOption repeatOption(QStringLiteral("repeat"),
                                          QStringLiteral("Repeat count, 1 to 99 (default 1)."),
                                          QStringLiteral("N"), QStringLiteral("1"));
    line.addOption(portsOption);
    line.addOption(repeatOption);
    int status = ExitCode::Ok;
    if (!line.parse(arguments, &status))
        return status;

    QStringList positional = line.positionalArguments();
    if (positional.size() < 2)
        return line.fail(QStringLiteral("give the devices, then the CCF code (or - to read it "
                                        "from standard input)"));
    const QString source = positional.takeLast();
    QString error;
    DeviceList devices;
    if (!devices.check(positional, &error))
        return line.fail(error);
    int mask = 0;
    if (!parsePorts(line.value(portsOption), &mask))
        return line.fail(QStringLiteral("--ports takes port numbers 1 to 4 separated by commas, "
                                        "not \"%1\"")
                             .arg(line.value(portsOption)));
    int repeats = 1;
    if (!line.intValue(repeatOption, 1, 99, &repeats, &error))
        return line.fail(error);

    const QString text = Console::argumentOrInput(source);
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
