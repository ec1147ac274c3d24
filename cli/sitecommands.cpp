// kovctl site init|import|set|list|check: the site file from the command
// line.
#include "commands.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include "clisite.h"
#include "commandline.h"
#include "console.h"
#include "devicelistcsv.h"
#include "discoveryround.h"
#include "exitcode.h"
#include "sitedeviceimport.h"
#include "sitefile.h"

namespace {

// One line of site list: a site device, or a device that answered but is
// not in the site.
struct Row
{
    QString mac;
    QString name;
    QString location;
    QString notes;
    QString state; // live, missing, outdated or new
    QString ip;
    QString version;
    QDateTime lastSeen;
};

QString isoTime(const QDateTime &time)
{
    return time.isValid() ? time.toUTC().toString(Qt::ISODate) : QString();
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

const QCommandLineOption &waitOption()
{
    static const QCommandLineOption option(QStringLiteral("wait"),
                                           QStringLiteral(
                                               "Seconds to wait for answers (default 2)."),
                                           QStringLiteral("SECONDS"), QStringLiteral("2"));
    return option;
}

bool waitMs(const CommandLine &line, int *ms, QString *error)
{
    bool ok = false;
    const double seconds = line.value(waitOption()).toDouble(&ok);
    if (!ok || !(seconds > 0) || seconds > 3600) {
        *error = QStringLiteral("--wait must be a number of seconds above 0 and at most 3600, "
                                "not \"%1\"")
                     .arg(line.value(waitOption()));
        return false;
    }
    *ms = qMax(1, qRound(seconds * 1000));
    return true;
}

// The arguments of a round command: options only, --wait among them.
bool parseRoundArguments(CommandLine &line, const QStringList &arguments, int *ms, int *status)
{
    if (!line.parse(arguments, status))
        return false;
    QString error;
    if (!line.positionalArguments().isEmpty())
        error = QStringLiteral("unexpected argument \"%1\"")
                    .arg(line.positionalArguments().constFirst());
    else if (waitMs(line, ms, &error))
        return true;
    *status = line.fail(error);
    return false;
}

// One discovery round (broadcast and the site's ranges); the findings go
// into the file. Returns an exit status; *rows the site's devices in its
// order, then the new ones by MAC.
int runRound(const CommandLine &line, SiteFile *file, int ms, bool stopWhenAllAnswered,
             QList<Row> *rows)
{
    DiscoveryRound round;
    if (!round.isListening())
        return line.fail(QStringLiteral("cannot listen on UDP port %1 for the devices' answers")
                             .arg(KovDetector::ReplyPort));
    Site site = file->site();
    QList<AddressRange> ranges;
    for (const QString &text : std::as_const(site.ranges))
        ranges.append(AddressRange::parse(text));
    std::function<bool()> enough;
    if (stopWhenAllAnswered) {
        enough = [&] {
            for (const SiteDevice &device : std::as_const(site.devices)) {
                if (!round.findMac(device.mac))
                    return false;
            }
            return true;
        };
    }
    round.run(ms, enough, ranges);

    const QDateTime now = QDateTime::currentDateTimeUtc();
    bool changed = false;
    for (SiteDevice &device : site.devices) {
        const QSharedPointer<KovInfo> kov = round.findMac(device.mac);
        Row row{device.mac,
                device.name,
                device.location,
                device.notes,
                QStringLiteral("missing"),
                device.lastAddress,
                device.lastVersion,
                device.lastSeen};
        if (kov) {
            site.recordHeard(device.mac, kov->ip, kov->version, now);
            changed = true;
            row.state = site.isOutdated(kov->version) ? QStringLiteral("outdated")
                                                      : QStringLiteral("live");
            row.ip = kov->ip;
            row.version = kov->version;
            row.lastSeen = now;
        }
        rows->append(row);
    }
    for (const QSharedPointer<KovInfo> &kov : round.devices()) {
        if (site.indexOfMac(kov->mac) < 0)
            rows->append(Row{DiscoveryRound::normalMac(kov->mac).isEmpty()
                                 ? kov->mac
                                 : DiscoveryRound::normalMac(kov->mac),
                             QString(), QString(), QString(), QStringLiteral("new"), kov->ip,
                             kov->version, now});
    }
    if (changed) {
        QString error;
        if (file->save(site, &error) != SiteFile::SaveResult::Saved)
            return line.fail(QStringLiteral("the findings were not written back: %1").arg(error));
    }
    return ExitCode::Ok;
}

void printTable(const QList<Row> &rows)
{
    QList<QStringList> lines{{QStringLiteral("MAC"), QStringLiteral("Name"),
                              QStringLiteral("Location"), QStringLiteral("State"),
                              QStringLiteral("IP"), QStringLiteral("Version"),
                              QStringLiteral("Last heard")}};
    for (const Row &row : rows)
        lines.append({Console::printable(row.mac), Console::printable(row.name),
                      Console::printable(row.location), row.state, Console::printable(row.ip),
                      Console::printable(row.version),
                      row.lastSeen.isValid() ? isoTime(row.lastSeen) : QStringLiteral("never")});
    Console::table(lines);
}

void printJson(const QList<Row> &rows)
{
    QJsonArray array;
    for (const Row &row : rows)
        array.append(QJsonObject{
            {QStringLiteral("mac"), row.mac},
            {QStringLiteral("name"), row.name},
            {QStringLiteral("location"), row.location},
            {QStringLiteral("notes"), row.notes},
            {QStringLiteral("state"), row.state},
            {QStringLiteral("ip"), row.ip},
            {QStringLiteral("version"), row.version},
            {QStringLiteral("lastSeen"),
             row.lastSeen.isValid() ? QJsonValue(isoTime(row.lastSeen)) : QJsonValue()},
        });
    Console::json(array);
}

void printCsv(const QList<Row> &rows)
{
    QByteArray csv = DeviceListCsv::record(
        {QStringLiteral("mac"), QStringLiteral("name"), QStringLiteral("location"),
         QStringLiteral("notes"), QStringLiteral("state"), QStringLiteral("ip"),
         QStringLiteral("version"), QStringLiteral("lastSeen")});
    for (const Row &row : rows)
        csv += DeviceListCsv::record({row.mac, row.name, row.location, row.notes, row.state,
                                      row.ip, row.version, isoTime(row.lastSeen)});
    Console::raw(QString::fromUtf8(csv));
}

bool openSite(const CommandLine &line, SiteFile *file, int *status)
{
    QString error;
    if (CliSite::open(file, &error))
        return true;
    *status = line.fail(error);
    return false;
}

} // namespace

QString siteFormats()
{
    return QStringLiteral(
        "Output formats of site list (the site's devices in the file's order, then\n"
        "the devices that answered but are not in the site, by MAC):\n"
        "  table  columns MAC, Name, Location, State, IP, Version and Last heard\n"
        "         under a header line, for people.\n"
        "  json   an array of objects {\"mac\": TEXT, \"name\": TEXT, \"location\": TEXT,\n"
        "         \"notes\": TEXT, \"state\": TEXT, \"ip\": TEXT, \"version\": TEXT,\n"
        "         \"lastSeen\": TEXT or null}; [] for a site with no devices and no\n"
        "         answers. state is live (answered), outdated (answered, on another\n"
        "         version than the site's target), missing (a site device that did not\n"
        "         answer: ip, version and lastSeen are those last heard, \"\" and null\n"
        "         when it was never heard) or new (answered, not in the site).\n"
        "         lastSeen is an ISO 8601 time in UTC (2026-12-07T20:15:00Z).\n"
        "  csv    the header line \"mac,name,location,notes,state,ip,version,lastSeen\",\n"
        "         then one line per device (lastSeen empty when never heard); fields\n"
        "         with a comma, quote or line break are quoted as in RFC 4180. Lines\n"
        "         end with CRLF.");
}

int siteInitCommand(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("site init"), QStringLiteral("site init FILE --name NAME"),
                     QStringLiteral("Creates FILE as a new site with no devices (suggested "
                                    "extension .kovsite).\nRefuses a FILE that exists."));
    const QCommandLineOption nameOption(QStringLiteral("name"),
                                        QStringLiteral("The site's name, e.g. \"Hotel Aurora\"."),
                                        QStringLiteral("NAME"));
    line.addOption(nameOption);
    int status = ExitCode::Ok;
    if (!line.parse(arguments, &status))
        return status;
    if (line.positionalArguments().size() != 1)
        return line.fail(QStringLiteral("name one FILE to create"));
    if (!line.isSet(nameOption) || line.value(nameOption).trimmed().isEmpty())
        return line.fail(QStringLiteral("give the site a name with --name NAME"));
    const QString path = line.positionalArguments().constFirst();
    QString error;
    if (!SiteFile::create(path, line.value(nameOption), &error))
        return line.fail(error);
    Console::out(QStringLiteral("created site %1 in %2")
                     .arg(quoted(line.value(nameOption).trimmed()), path));
    return ExitCode::Ok;
}

int siteImportCommand(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("site import"),
                     QStringLiteral("site import FILE.csv [--dry-run]"),
                     QStringLiteral(
                         "Reads a CSV of devices into the site named with --site. Its first line "
                         "names the\ncolumns, in any order and any case: mac (required), name, "
                         "location, notes.\nEach row sets those columns of the device with that "
                         "MAC, adding it to the site\nwhen the site does not hold it; prints what "
                         "it adds and changes. On a bad row\n(named by its line) nothing is "
                         "written and the exit status is 2."));
    const QCommandLineOption dryRunOption(QStringLiteral("dry-run"),
                                          QStringLiteral("Print what would change; write "
                                                         "nothing."));
    line.addOption(dryRunOption);
    int status = ExitCode::Ok;
    if (!line.parse(arguments, &status))
        return status;
    if (line.positionalArguments().size() != 1)
        return line.fail(QStringLiteral("name one CSV file to import"));
    SiteFile file;
    if (!openSite(line, &file, &status))
        return status;
    const QString csvPath = line.positionalArguments().constFirst();
    QFile csvFile(csvPath);
    if (!csvFile.open(QIODevice::ReadOnly))
        return line.fail(QStringLiteral("%1: %2").arg(csvPath, csvFile.errorString()));
    Site result;
    QList<SiteDeviceImport::Change> changes;
    QString error;
    if (!SiteDeviceImport::plan(file.site(), csvFile.readAll(), &result, &changes, &error))
        return line.fail(QStringLiteral("%1: %2; nothing imported").arg(csvPath, error));
    int added = 0;
    for (const SiteDeviceImport::Change &change : std::as_const(changes)) {
        Console::out(Console::printable(change.text()));
        added += change.added ? 1 : 0;
    }
    const QString
        summary = QStringLiteral("%1 added, %2 changed").arg(added).arg(changes.size() - added);
    if (line.isSet(dryRunOption)) {
        Console::out(summary + QStringLiteral(" (dry run: nothing written)"));
        return ExitCode::Ok;
    }
    if (!changes.isEmpty() && file.save(result, &error) != SiteFile::SaveResult::Saved)
        return line.fail(error);
    Console::out(summary);
    return ExitCode::Ok;
}

int siteSetCommand(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("site set"),
                     QStringLiteral("site set DEVICE [--name N] [--location L] [--notes T]"),
                     QStringLiteral("Sets the name, location or notes of one device of the site "
                                    "named with --site.\nDEVICE is its MAC or its present name; a "
                                    "MAC the site does not hold yet is\nadded. An empty text "
                                    "clears the field; names are unique in the site\n"
                                    "(case-insensitively)."));
    const QCommandLineOption nameOption(QStringLiteral("name"), QStringLiteral("The new name."),
                                        QStringLiteral("N"));
    const QCommandLineOption locationOption(QStringLiteral("location"),
                                            QStringLiteral("The new location."),
                                            QStringLiteral("L"));
    const QCommandLineOption notesOption(QStringLiteral("notes"), QStringLiteral("The new notes."),
                                         QStringLiteral("T"));
    line.addOption(nameOption);
    line.addOption(locationOption);
    line.addOption(notesOption);
    int status = ExitCode::Ok;
    if (!line.parse(arguments, &status))
        return status;
    if (line.positionalArguments().size() != 1)
        return line.fail(QStringLiteral("name one DEVICE (a MAC or a name in the site)"));
    if (!line.isSet(nameOption) && !line.isSet(locationOption) && !line.isSet(notesOption))
        return line.fail(QStringLiteral("say what to set with --name, --location or --notes"));
    SiteFile file;
    if (!openSite(line, &file, &status))
        return status;
    Site site = file.site();
    const QString text = line.positionalArguments().constFirst();
    const int index = site.find(text);
    QString mac = index >= 0 ? site.devices.at(index).mac : Site::canonicalMac(text);
    if (mac.isEmpty())
        return line.fail(
            QStringLiteral("\"%1\" is not a MAC nor the name of a device of the site").arg(text));
    const SiteDevice before = index >= 0 ? site.devices.at(index) : SiteDevice();
    QString error;
    if (!site.setDeviceFields(mac, line.isSet(nameOption) ? line.value(nameOption) : before.name,
                              line.isSet(locationOption) ? line.value(locationOption)
                                                         : before.location,
                              line.isSet(notesOption) ? line.value(notesOption) : before.notes,
                              &error))
        return line.fail(error);
    if (file.save(site, &error) != SiteFile::SaveResult::Saved)
        return line.fail(error);
    const SiteDevice &after = site.devices.at(site.indexOfMac(mac));
    Console::out(Console::printable(
        QStringLiteral("%1 %2: name %3, location %4, notes %5")
            .arg(index >= 0 ? QStringLiteral("changed") : QStringLiteral("added"), mac,
                 quoted(after.name), quoted(after.location), quoted(after.notes))));
    return ExitCode::Ok;
}

int siteListCommand(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("site list"),
                     QStringLiteral("site list [--wait SECONDS] [--format table|json|csv]"),
                     QStringLiteral(
                         "Runs one discovery round (the broadcast beacon, and unicast to the "
                         "site's ranges)\nand lists every device of the site named with --site: "
                         "name, location, state,\naddress, firmware version and when it was last "
                         "heard; then the devices that\nanswered but are not in the site. What "
                         "the round heard is written back to the\nsite file."));
    const QCommandLineOption formatOption(QStringLiteral("format"),
                                          QStringLiteral("table, json or csv (default table)."),
                                          QStringLiteral("FORMAT"), QStringLiteral("table"));
    line.addOption(waitOption());
    line.addOption(formatOption);
    line.setNotes(siteFormats());
    int status = ExitCode::Ok;
    int ms = 0;
    if (!parseRoundArguments(line, arguments, &ms, &status))
        return status;
    const QString format = line.value(formatOption);
    if (format != QLatin1String("table") && format != QLatin1String("json")
        && format != QLatin1String("csv"))
        return line.fail(
            QStringLiteral("--format must be table, json or csv, not \"%1\"").arg(format));
    SiteFile file;
    if (!openSite(line, &file, &status))
        return status;
    QList<Row> rows;
    status = runRound(line, &file, ms, false, &rows);
    if (format == QLatin1String("json"))
        printJson(rows);
    else if (format == QLatin1String("csv"))
        printCsv(rows);
    else
        printTable(rows);
    return status;
}

int siteCheckCommand(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("site check"), QStringLiteral("site check [--wait SECONDS]"),
                     QStringLiteral(
                         "Runs the discovery round of site list for the site named with --site "
                         "and checks\nthat every device of the site answered and, when the site "
                         "names a target\nversion, runs it. Prints one line per problem "
                         "(\"missing: ...\", \"outdated: ...\")\nand nothing else; exit status 0 "
                         "when there is none, 1 otherwise. For cron\nand monitoring. What the "
                         "round heard is written back to the site file."));
    line.addOption(waitOption());
    int status = ExitCode::Ok;
    int ms = 0;
    if (!parseRoundArguments(line, arguments, &ms, &status))
        return status;
    SiteFile file;
    if (!openSite(line, &file, &status))
        return status;
    const QString target = file.site().targetVersion;
    QList<Row> rows;
    status = runRound(line, &file, ms, true, &rows);
    if (status != ExitCode::Ok)
        return status;
    for (const Row &row : std::as_const(rows)) {
        const QString who = row.name.isEmpty()
                                ? row.mac
                                : QStringLiteral("%1 %2").arg(quoted(row.name), row.mac);
        if (row.state == QLatin1String("missing")) {
            const QString last = row.lastSeen.isValid() ? QStringLiteral("last heard %1 at %2")
                                                              .arg(isoTime(row.lastSeen), row.ip)
                                                        : QStringLiteral("never heard");
            Console::out(Console::printable(
                QStringLiteral("missing: %1 did not answer (%2)").arg(who, last)));
            status = ExitCode::Failed;
        } else if (row.state == QLatin1String("outdated")) {
            Console::out(
                Console::printable(QStringLiteral("outdated: %1 runs %2, the site's target is %3")
                                       .arg(who, row.version, target)));
            status = ExitCode::Failed;
        }
    }
    return status;
}
