// kovctl: every device action of the KOV-1 Tool from the command line,
// on the same libraries as the window.

#include <QCoreApplication>
#include <QStringList>

#include "clisite.h"
#include "commands.h"
#include "console.h"
#include "exitcode.h"

namespace {

QString helpText()
{
    return QStringLiteral(
               "Usage: kovctl [--site FILE [--last-address]] COMMAND [ARGUMENTS]...\n"
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
               "  site init FILE --name NAME\n"
               "      Create an empty site file (refuses an existing FILE).\n"
               "  site import FILE.csv [--dry-run]\n"
               "      Add or change the site's devices from a CSV with the columns mac, name,\n"
               "      location and notes; print what changes.\n"
               "  site set DEVICE [--name N] [--location L] [--notes T]\n"
               "      Name, place or annotate one device of the site.\n"
               "  site list [--wait SECONDS] [--format table|json|csv]\n"
               "      One discovery round (broadcast and the site's ranges), then every site\n"
               "      device with its state (live, missing, outdated) and the devices that\n"
               "      answered but are not in the site (new); the findings go into the file.\n"
               "  site check [--wait SECONDS]\n"
               "      The same round; status 1 with one line per missing or outdated device.\n"
               "\n"
               "DEVICE is a device's IPv4 address, or its MAC address (00:1E:C0:00:00:01,\n"
               "any case, ':' or '-' or nothing between the bytes), which is looked up by a\n"
               "discovery round first. Commands go to UDP port 5999 of each device; answers\n"
               "come back to UDP port 5998. Nothing is sent until every argument has been\n"
               "checked.\n"
               "\n"
               "A site is a file of the devices of one installation, known by MAC, with\n"
               "their names, locations and notes, and what was last heard from each. With\n"
               "a site named by --site FILE (or the environment variable KOV_SITE), DEVICE\n"
               "may also be the name of one of its devices (\"Lobby TV\", any case), looked\n"
               "up by its MAC, and the lookup also asks the site's address ranges.\n"
               "\n"
               "Options:\n"
               "  --site FILE     The site file for the command (before the command).\n"
               "  --last-address  With a site: a site device that does not answer is sent to\n"
               "                  at the address it was last heard from.\n"
               "  -h, --help      Display this help and exit.\n"
               "  -v, --version   Output version information and exit.\n"
               "\n")
           + discoverFormats() + QStringLiteral("\n\n") + upgradeFormats() + QStringLiteral("\n\n")
           + siteFormats()
           + QStringLiteral(
               "\n\n"
               "Exit status:\n"
               "  0  everything asked for succeeded;\n"
               "  1  a device failed or did not answer (a MAC that nobody answered for, an\n"
               "     address given alone with discover --at that did not answer, an\n"
               "     upgrade that did not end with the device running the new version);\n"
               "     ir decode: the code is not recognised; site check: a site device is\n"
               "     missing or outdated;\n"
               "  2  bad input or an unusable port, or a site file that cannot be read or\n"
               "     written: one line on standard error says why, and nothing was sent.\n"
               "\n"
               "Examples:\n"
               "  kovctl discover --format csv\n"
               "      List the devices as CSV.\n"
               "  kovctl relay 192.168.1.20 --relay 2 --close\n"
               "      Close relay 2 of the device at 192.168.1.20.\n"
               "  kovctl ir gen nec --device 4 --function 8 | kovctl ir send 00:1E:C0:00:00:01 --ports 1,3 -\n"
               "      Play NEC device 4, function 8 on IR ports 1 and 3 of a device named by its MAC.\n"
               "  kovctl upgrade --all --image KOV_rev7_1.8.0.hex\n"
               "      Upgrade every device on the subnet to firmware 1.8.0 and wait for each.\n"
               "  kovctl --site aurora.kovsite relay \"Bar relay\" --relay 1 --close\n"
               "      Close relay 1 of the site's device named \"Bar relay\".");
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

    QStringList arguments = QCoreApplication::arguments();
    // The site options stand before the command.
    QString site = qEnvironmentVariable("KOV_SITE");
    while (arguments.size() > 1) {
        const QString option = arguments.at(1);
        if (option == QLatin1String("--site")) {
            if (arguments.size() < 3 || arguments.at(2).isEmpty())
                return usageError(QStringLiteral("--site: name the site FILE"));
            site = arguments.at(2);
            arguments.remove(1, 2);
        } else if (option.startsWith(QLatin1String("--site="))) {
            site = option.mid(7);
            if (site.isEmpty())
                return usageError(QStringLiteral("--site: name the site FILE"));
            arguments.remove(1);
        } else if (option == QLatin1String("--last-address")) {
            CliSite::setUseLastAddress(true);
            arguments.remove(1);
        } else {
            break;
        }
    }
    CliSite::setPath(site);
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
    if (first == QLatin1String("ir") || first == QLatin1String("site")) {
        if (rest.isEmpty())
            return usageError(first == QLatin1String("ir")
                                  ? QStringLiteral("ir: name send, gen or decode")
                                  : QStringLiteral("site: name init, import, set, list or check"));
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
        {"discover", discoverCommand},      {"relay", relayCommand},
        {"reboot", rebootCommand},          {"ir send", irSendCommand},
        {"ir gen", irGenCommand},           {"ir decode", irDecodeCommand},
        {"upgrade", upgradeCommand},        {"site init", siteInitCommand},
        {"site import", siteImportCommand}, {"site set", siteSetCommand},
        {"site list", siteListCommand},     {"site check", siteCheckCommand},
    };
    for (const auto &c : commands) {
        if (command == QLatin1String(c.name))
            return c.run(rest);
    }
    return usageError(QStringLiteral("unknown command \"%1\"").arg(command));
}
