#include "commands.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "commandline.h"
#include "console.h"
#include "discoveryround.h"
#include "exitcode.h"

namespace {

void printTable(const QList<QSharedPointer<KovInfo>> &devices)
{
    QList<QStringList> rows{ { QStringLiteral("MAC"), QStringLiteral("IP"),
                               QStringLiteral("Version") } };
    for (const QSharedPointer<KovInfo> &kov : devices)
        rows.append({ Console::printable(kov->mac), kov->ip, Console::printable(kov->version) });
    int widths[2] = { 0, 0 };
    for (const QStringList &row : std::as_const(rows)) {
        widths[0] = qMax(widths[0], int(row.at(0).size()));
        widths[1] = qMax(widths[1], int(row.at(1).size()));
    }
    for (const QStringList &row : std::as_const(rows))
        Console::out(QStringLiteral("%1  %2  %3")
                         .arg(row.at(0), -widths[0])
                         .arg(row.at(1), -widths[1])
                         .arg(row.at(2)));
}

void printJson(const QList<QSharedPointer<KovInfo>> &devices)
{
    QJsonArray array;
    for (const QSharedPointer<KovInfo> &kov : devices)
        array.append(QJsonObject{ { QStringLiteral("mac"), kov->mac },
                                  { QStringLiteral("ip"), kov->ip },
                                  { QStringLiteral("version"), kov->version } });
    // Qt writes an empty array over two lines; keep it to the usual "[]".
    Console::out(array.isEmpty()
                     ? QStringLiteral("[]")
                     : QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented))
                           .trimmed());
}

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))
        && !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

void printCsv(const QList<QSharedPointer<KovInfo>> &devices)
{
    Console::out(QStringLiteral("mac,ip,version"));
    for (const QSharedPointer<KovInfo> &kov : devices)
        Console::out(QStringList{ csvField(kov->mac), csvField(kov->ip), csvField(kov->version) }
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
        "         RFC 4180. Lines end with LF.\n"
        "  A device that reports no version shows \"Unknown\"; one whose IP text\n"
        "  cannot be read shows an empty IP.");
}

int discoverCommand(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("discover"),
                     QStringLiteral("discover [--wait SECONDS] [--format table|json|csv]"),
                     QStringLiteral("Broadcasts the discovery beacon on every interface, waits "
                                    "for the answers and lists\nthe devices: MAC, IP and "
                                    "firmware version."));
    const QCommandLineOption waitOption(
        QStringLiteral("wait"), QStringLiteral("Seconds to wait for answers (default 2)."),
        QStringLiteral("SECONDS"), QStringLiteral("2"));
    const QCommandLineOption formatOption(
        QStringLiteral("format"), QStringLiteral("table, json or csv (default table)."),
        QStringLiteral("FORMAT"), QStringLiteral("table"));
    line.addOption(waitOption);
    line.addOption(formatOption);
    line.setNotes(discoverFormats());
    int status = ExitCode::Ok;
    if (!line.parse(arguments, &status))
        return status;

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
        return line.fail(QStringLiteral("--format must be table, json or csv, not \"%1\"")
                             .arg(format));

    DiscoveryRound round;
    if (!round.isListening())
        return line.fail(QStringLiteral("cannot listen on UDP port %1 for the devices' answers")
                             .arg(KovDetector::ReplyPort));
    round.run(qMax(1, qRound(seconds * 1000)));

    const QList<QSharedPointer<KovInfo>> devices = round.devices();
    if (format == QLatin1String("json"))
        printJson(devices);
    else if (format == QLatin1String("csv"))
        printCsv(devices);
    else
        printTable(devices);
    return ExitCode::Ok;
}
