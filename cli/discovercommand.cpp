#include "commands.h"

#include <QJsonArray>
#include <QJsonObject>

#include "commandline.h"
#include "console.h"
#include "devicelistcsv.h"
#include "discoveryround.h"
#include "exitcode.h"

namespace {

void printTable(const QList<QSharedPointer<KovInfo>> &devices)
{
    QList<QStringList> rows{
        {QStringLiteral("MAC"), QStringLiteral("IP"), QStringLiteral("Version")}};
    for (const QSharedPointer<KovInfo> &kov : devices)
        rows.append({Console::printable(kov->mac), kov->ip, Console::printable(kov->version)});
    Console::table(rows);
}

void printJson(const QList<QSharedPointer<KovInfo>> &devices)
{
    QJsonArray array;
    for (const QSharedPointer<KovInfo> &kov : devices)
        array.append(QJsonObject{{QStringLiteral("mac"), kov->mac},
                                 {QStringLiteral("ip"), kov->ip},
                                 {QStringLiteral("version"), kov->version}});
    Console::json(array);
}

void printCsv(const QList<QSharedPointer<KovInfo>> &devices)
{
    Console::out(QStringLiteral("mac,ip,version"));
    for (const QSharedPointer<KovInfo> &kov : devices)
        Console::out(QStringList{DeviceListCsv::field(kov->mac), DeviceListCsv::field(kov->ip),
                                 DeviceListCsv::field(kov->version)}
                         .join(QLatin1Char(',')));
}

}

QString discoverFormats()
{
    return QStringLiteral(
        "Output formats of discover (one device per MAC, sorted by MAC):\n"
        "  table  columns MAC, IP and Version under a header line, for people.\n"
        "  json   an array of objects {\"mac\": TEXT, \"ip\": TEXT, \"version\": TEXT},\n"
        "         all strings as the devices sent them; [] when none answered.\n"
        "  csv    the header line \"mac,ip,version\", then one line per device;\n"
        "         fields with a comma, quote or line break are quoted as in\n"
        "         RFC 4180, and one that begins with =, +, -, @, a tab or a\n"
        "         carriage return gets a leading ' so that a spreadsheet does not\n"
        "         run it as a formula. Lines end with LF.\n"
        "  A device that reports no version shows \"Unknown\"; one whose IP text\n"
        "  cannot be read shows an empty IP.");
}

int discoverCommand(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("discover"),
                     QStringLiteral("discover [--wait SECONDS] [--at ADDRESS|RANGE|CIDR]... "
                                    "[--format table|json|csv]"),
                     QStringLiteral("Broadcasts the discovery beacon on every interface, sends "
                                    "it by unicast to every\naddress given with --at (for "
                                    "devices behind a router), waits for the answers\nand lists "
                                    "the devices: MAC, IP and firmware version. Exit status 1 "
                                    "when an\naddress given alone with --at did not answer."));
    const QCommandLineOption waitOption(QStringLiteral("wait"),
                                        QStringLiteral("Seconds to wait for answers (default 2)."),
                                        QStringLiteral("SECONDS"), QStringLiteral("2"));
    const QCommandLineOption formatOption(QStringLiteral("format"),
                                          QStringLiteral("table, json or csv (default table)."),
                                          QStringLiteral("FORMAT"), QStringLiteral("table"));
    const QCommandLineOption atOption(
        QStringLiteral("at"),
        QStringLiteral("Also ask by unicast: an address (10.1.2.3), a range\n"
                       "(10.1.2.3-10.1.2.40) or a block of /20 to /32 (10.1.2.0/24);\n"
                       "repeatable; at most 4,096 addresses each, 2,000 beacons a second."),
        QStringLiteral("ADDRESS|RANGE|CIDR"));
    line.addOption(waitOption);
    line.addOption(atOption, true);
    line.addOption(formatOption);
    line.setNotes(discoverFormats());
    int parsed = ExitCode::Ok;
    if (!line.parse(arguments, &parsed))
        return parsed;

    if (!line.positionalArguments().isEmpty())
        return line.fail(QStringLiteral("unexpected argument \"%1\"")
                             .arg(line.positionalArguments().constFirst()));
    bool ok = false;
    const double seconds = line.value(waitOption).toDouble(&ok);
    if (!ok || !(seconds > 0) || seconds > 3600)
        return line.fail(QStringLiteral("--wait must be a number of seconds above 0 and at "
                                        "most 3600, not \"%1\"")
                             .arg(line.value(waitOption)));
    const QString format = line.value(formatOption);
    if (format != QLatin1String("table") && format != QLatin1String("json")
        && format != QLatin1String("csv"))
        return line.fail(
            QStringLiteral("--format must be table, json or csv, not \"%1\"").arg(format));

    QList<AddressRange> ranges;
    for (const QString &text : line.values(atOption)) {
        QString error;
        const AddressRange range = AddressRange::parse(text, &error);
        if (!range.isValid())
            return line.fail(QStringLiteral("--at \"%1\": %2").arg(text, error));
        ranges.append(range);
    }

    DiscoveryRound round;
    if (!round.isListening())
        return line.fail(QStringLiteral("cannot listen on UDP port %1 for the devices' answers")
                             .arg(KovDetector::ReplyPort));
    round.run(qMax(1, qRound(seconds * 1000)), {}, ranges);

    const QList<QSharedPointer<KovInfo>> devices = round.devices();
    if (format == QLatin1String("json"))
        printJson(devices);
    else if (format == QLatin1String("csv"))
        printCsv(devices);
    else
        printTable(devices);

    // An address asked for on its own is a device the user expects.
    int status = ExitCode::Ok;
    for (const AddressRange &range : std::as_const(ranges)) {
        if (range.count() == 1 && round.macOf(range.at(0)).isEmpty()) {
            line.report(QStringLiteral("no answer from %1").arg(range.text()), ExitCode::Failed);
            status = ExitCode::Failed;
        }
    }
    return status;
}
