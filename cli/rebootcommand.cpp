#include "commands.h"

#include "commandline.h"
#include "console.h"
#include "devicelist.h"
#include "discoveryround.h"
#include "exitcode.h"
#include "kovdetector.h"

int rebootCommand(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("reboot"), QStringLiteral("reboot DEVICE..."),
                     QStringLiteral("Restarts each DEVICE (an IPv4 address, or a MAC looked up "
                                    "by discovery). No\nquestion is asked; the device does not "
                                    "acknowledge the command."));
    int status = ExitCode::Ok;
    if (!line.parse(arguments, &status))
        return status;

    QString error;
    DeviceList devices;
    if (!devices.check(line.positionalArguments(), &error))
        return line.fail(error);
    status = devices.resolve(DiscoveryRound::DefaultWaitMs, &error);
    if (status != ExitCode::Ok)
        return line.report(error, status);
    for (const DeviceList::Target &target : devices.targets()) {
        KovDetector::sendReboot(target.address);
        Console::out(QStringLiteral("%1: reboot sent").arg(target.label));
    }
    return ExitCode::Ok;
}
