// kovctl: every device action of the KOV-1 Tool from the command line,
// on the same libraries as the window.

#include <QCoreApplication>
#include <QStringList>

#include "commands.h"
#include "console.h"
#include "exitcode.h"

namespace {

QString helpText()
{
    return QStringLiteral(
               "Usage: kovctl COMMAND [ARGUMENTS]...\n"
               "  or:  kovctl COMMAND --help\n"
               "  or:  kovctl --help | --version\n"
               "Finds KOV-1 controllers on the local subnet, opens and closes their relays,\n"
               "reboots them, plays infrared codes on them and upgrades their firmware.\n"
               "\n"
               "Commands:\n"
               "  discover [--wait SECONDS] [--at ADDRESS|RANGE|CIDR]... [--format table|json|csv]\n"
               "      Broadcast the discovery beacon, also send it to each address, range\n"
               "      (A-B) or block (A/N, N 20 to 32) given with --at, and list the devices\n"
               "      that answer (MAC, IP, firmware version); waits 2 seconds after the\n"
               "      last beacon unless told otherwise.\n"
               "  relay DEVICE... --relay 1|2|3 --open|--close\n"
               "      Open or close one relay of each device.\n"
               "  reboot DEVICE...\n"
               "      Restart each device.\n"
               "  ir send DEVICE... --ports 1,2,3,4 [--repeat N] (CCF | -)\n"
               "      Play a Pronto CCF code (or the one on standard input) on the given IR\n"
               "      ports of each device, N times (1 to 99, default 1).\n"
               "  ir gen PROTOCOL --device D [--subdevice S] --function F [--toggle 0|1]\n"
               "      Print the CCF code of one remote-control command; PROTOCOL is rc5, rc6,\n"
               "      sirc12, sirc15, sirc20, nec, nec1, nec2, necx1, necx2, samsung32, jvc,\n"
               "      panasonic, sharp, denon or rca.\n"
               "  ir decode (CCF | -)\n"
               "      Print the protocol and parameters of a CCF code; status 1 when it is\n"
               "      not recognised.\n"
               "  upgrade (--all | DEVICE...) [--image FILE.hex] [--port PORT] "
               "[--verify-timeout SECONDS] [--format text|json]\n"
               "      Serve firmware by TFTP, order the devices to upgrade, follow each\n"
               "      transfer and wait for each device to come back with the new version.\n"
               "\n"
               "DEVICE is a device's IPv4 address, or its MAC address (00:1E:C0:00:00:01,\n"
               "any case, ':' or '-' or nothing between the bytes), which is looked up by a\n"
               "discovery round first. Commands go to UDP port 5999 of each device; answers\n"
               "come back to UDP port 5998. Nothing is sent until every argument has been\n"
               "checked.\n"
               "\n"
               "Options:\n"
               "  -h, --help     Display this help and exit.\n"
               "  -v, --version  Output version information and exit.\n"
               "\n")
           + discoverFormats() + QStringLiteral("\n\n") + upgradeFormats()
           + QStringLiteral(
               "\n\n"
               "Exit status:\n"
               "  0  everything asked for succeeded;\n"
               "  1  a device failed or did not answer (a MAC that nobody answered for, an\n"
               "     address given alone with discover --at that did not answer, an\n"
               "     upgrade that did not end with the device running the new version);\n"
               "     ir decode: the code is not recognised;\n"
               "  2  bad input or an unusable port: one line on standard error says why,\n"
               "     and nothing was sent.\n"
               "\n"
               "Examples:\n"
               "  kovctl discover --format csv\n"
               "      List the devices as CSV.\n"
               "  kovctl relay 192.168.1.20 --relay 2 --close\n"
               "      Close relay 2 of the device at 192.168.1.20.\n"
               "  kovctl ir gen nec --device 4 --function 8 | kovctl ir send 00:1E:C0:00:00:01 --ports 1,3 -\n"
               "      Play NEC device 4, function 8 on IR ports 1 and 3 of a device named by its MAC.\n"
               "  kovctl upgrade --all --image KOV_rev7_1.8.0.hex\n"
               "      Upgrade every device on the subnet to firmware 1.8.0 and wait for each.");
}

int usageError(const QString &message)
{
    Console::err(QStringLiteral("kovctl: %1 (see kovctl --help)").arg(message));
    return ExitCode::BadInput;
}

}

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    // The tool's maker and version; the name is this program's.
    QCoreApplication::setApplicationName(QStringLiteral("kovctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KOV_VERSION));
    QCoreApplication::setOrganizationDomain(QStringLiteral("Veltrane, LLC"));
    QCoreApplication::setOrganizationName(QStringLiteral("Veltrane"));

    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2)
        return usageError(QStringLiteral("name a command"));
    const QString first = arguments.at(1);
    if (first == QLatin1String("--help") || first == QLatin1String("-h")
        || first == QLatin1String("help")) {
        Console::out(helpText());
        return ExitCode::Ok;
    }
    if (first == QLatin1String("--version") || first == QLatin1String("-v")) {
        Console::out(QStringLiteral("kovctl %1").arg(QCoreApplication::applicationVersion()));
        return ExitCode::Ok;
    }

    // The command's own parser sees "kovctl COMMAND" in place of argv[0].
    QStringList rest = arguments.mid(2);
    QString command = first;
    if (first == QLatin1String("ir")) {
        if (rest.isEmpty())
            return usageError(QStringLiteral("ir: name send, gen or decode"));
        if (rest.constFirst() == QLatin1String("--help")
            || rest.constFirst() == QLatin1String("-h")) {
            Console::out(helpText());
            return ExitCode::Ok;
        }
        command += QLatin1Char(' ') + rest.takeFirst();
    }
    rest.prepend(QStringLiteral("kovctl ") + command);

    using Command = int (*)(const QStringList &);
    const struct
    {
        const char *name;
        Command run;
    } commands[] = {
        {"discover", discoverCommand}, {"relay", relayCommand},  {"reboot", rebootCommand},
        {"ir send", irSendCommand},    {"ir gen", irGenCommand}, {"ir decode", irDecodeCommand},
        {"upgrade", upgradeCommand},
    };
    for (const auto &c : commands) {
        if (command == QLatin1String(c.name))
            return c.run(rest);
    }
    return usageError(QStringLiteral("unknown command \"%1\"").arg(command));
}
