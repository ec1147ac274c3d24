#include "commands.h"

#include "commandline.h"
#include "console.h"
#include "devicelist.h"
#include "discoveryround.h"
#include "exitcode.h"
#include "kovdetector.h"

int relayCommand(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("relay"),
                     QStringLiteral("relay DEVICE... --relay 1|2|3 --open|--close"),
                     QStringLiteral("Opens or closes one relay of each DEVICE (an IPv4 address, "
                                    "or a MAC looked up by\ndiscovery). The device does not "
                                    "acknowledge the command."));
    const QCommandLineOption relayOption(QStringLiteral("relay"),
                                         QStringLiteral("The relay: 1, 2 or 3."),
                                         QStringLiteral("N"));
    const QCommandLineOption openOption(QStringLiteral("open"), QStringLiteral("Open the relay."));
    const QCommandLineOption closeOption(QStringLiteral("close"),
                                         QStringLiteral("Close the relay."));
    line.addOption(relayOption);
    line.addOption(openOption);
    line.addOption(closeOption);
    int status = ExitCode::Ok;
    if (!line.parse(arguments, &status))
        return status;

    QString error;
    DeviceList devices;
    if (!devices.check(line.positionalArguments(), &error))
        return line.fail(error);
    if (!line.isSet(relayOption))
        return line.fail(QStringLiteral("say which relay with --relay 1, 2 or 3"));
    int relay = 0;
    if (!line.intValue(relayOption, 1, 3, &relay, &error))
        return line.fail(error);
    if (line.isSet(openOption) == line.isSet(closeOption))
        return line.fail(QStringLiteral("give exactly one of --open and --close"));
    const bool closed = line.isSet(closeOption);

    status = devices.resolve(DiscoveryRound::DefaultWaitMs, &error);
    if (status != ExitCode::Ok)
        return line.report(error, status);
    for (const DeviceList::Target &target : devices.targets()) {
        KovDetector::sendRelay(relay, closed, target.address);
        Console::out(QStringLiteral("%1: relay %2 %3 sent")
                         .arg(target.label)
                         .arg(relay)
                         .arg(closed ? QStringLiteral("close") : QStringLiteral("open")));
    }
    return ExitCode::Ok;
}
