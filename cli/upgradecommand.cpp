#include "commands.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>

#include "commandline.h"
#include "console.h"
#include "devicelist.h"
#include "discoveryround.h"
#include "exitcode.h"
#include "firmwareinfo.h"
#include "intelhex.h"
#include "tftpdserver.h"
#include "upgraderun.h"

namespace {

// The name devices ask for, and that of the built-in image.
const QString ImageName = QString::fromLatin1(FirmwareFileName);

// The version an image file's name gives: <version> of the name
// KOV_rev7_<version>.hex, as the window reads it, or else the last dotted
// number in the name ("kov-1.8.0.hex" -> "1.8.0"); empty when neither.
QString versionFromName(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    static const QRegularExpression windowForm(QStringLiteral("^KOV_rev7_(.+)\\.hex$"));
    const QRegularExpressionMatch match = windowForm.match(name);
    if (match.hasMatch() && !match.captured(1).trimmed().isEmpty())
        return match.captured(1).trimmed();
    static const QRegularExpression dotted(QStringLiteral("\\d+(?:\\.\\d+)+"));
    QString version;
    QRegularExpressionMatchIterator it = dotted.globalMatch(QFileInfo(path).completeBaseName());
    while (it.hasNext())
        version = it.next().captured();
    return version;
}

}

QString upgradeFormats()
{
    return QStringLiteral(
        "Output of upgrade:\n"
        "  text  while it runs, a live line per device with a progress bar on a\n"
        "        terminal, else lines \"DEVICE: transfer N%\" (every 10 %) and\n"
        "        \"DEVICE: STATE\"; at the end \"DEVICE: RESULT\" per device, then\n"
        "        \"N running the new firmware, N unverified, N failed, N in progress\"\n"
        "        (the unverified part only when there are any). RESULT is \"running\n"
        "        VERSION\", \"still running VERSION\", \"restarted; it does not report\n"
        "        its version\", \"no answer after the upgrade\", \"transfer failed:\n"
        "        REASON\" or \"did not ask for the image within N s\".\n"
        "  json  nothing while it runs; at the end one object {\"summary\": TEXT,\n"
        "        \"running\": N, \"unverified\": N, \"failed\": N, \"devices\":\n"
        "        [{\"device\", \"address\", \"mac\", \"transfer\", \"result\", \"text\",\n"
        "        \"servedVersion\", \"deviceVersion\"}]}, where result is one of\n"
        "        running, unverified, still-old, no-answer, transfer-failed,\n"
        "        no-transfer and transfer is the last transfer state (percentage,\n"
        "        \"done\" or the error). A device that moves to another address keeps\n"
        "        its entry, under its new address.\n"
        "Exit status 0 only when every device came back running the served\n"
        "version. A device that answers without a version (unverified) may run\n"
        "it or not: it is not counted as failed, but the status is 1.");
}

int upgradeCommand(const QStringList &arguments)
{
    CommandLine line(
        QStringLiteral("upgrade"),
        QStringLiteral("upgrade (--all | DEVICE...) [--image FILE.hex] [--port PORT] "
                       "[--verify-timeout SECONDS] [--format text|json]"),
        QStringLiteral(
            "Serves a firmware image from a TFTP server of its own, orders the devices to\n"
            "upgrade, follows each transfer and waits for each device to come back running\n"
            "the served version. The image is the built-in one unless --image names an\n"
            "Intel HEX file, whose version comes from its name: VERSION of\n"
            "KOV_rev7_VERSION.hex, else the last dotted number in it (kov-1.8.0.hex serves\n"
            "1.8.0). Devices are looked up by discovery first;\n"
            "with --all every device on the subnet is ordered by one broadcast."));
    const QCommandLineOption allOption(QStringLiteral("all"),
                                       QStringLiteral("Upgrade every device on the subnet."));
    const QCommandLineOption imageOption(QStringLiteral("image"),
                                         QStringLiteral("Intel HEX file to serve."),
                                         QStringLiteral("FILE.hex"));
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral(
                                            "UDP port of the TFTP server (default 69)."),
                                        QStringLiteral("PORT"), QStringLiteral("69"));
    const QCommandLineOption verifyOption(
        QStringLiteral("verify-timeout"),
        QStringLiteral("Seconds each device may take to ask for the image, and to answer\n"
                       "again after its transfer (default 180)."),
        QStringLiteral("SECONDS"), QStringLiteral("180"));
    const QCommandLineOption formatOption(QStringLiteral("format"),
                                          QStringLiteral("text or json (default text)."),
                                          QStringLiteral("FORMAT"), QStringLiteral("text"));
    line.addOption(allOption);
    line.addOption(imageOption);
    line.addOption(portOption);
    line.addOption(verifyOption);
    line.addOption(formatOption);
    line.setNotes(upgradeFormats());
    int status = ExitCode::Ok;
    if (!line.parse(arguments, &status))
        return status;

    QString error;
    DeviceList devices;
    const bool all = line.isSet(allOption);
    if (all && !line.positionalArguments().isEmpty())
        return line.fail(QStringLiteral("give either --all or devices, not both"));
    if (!all && !devices.check(line.positionalArguments(), &error))
        return line.fail(error + QStringLiteral(", or --all"));
    int port = 69;
    int verifySeconds = 180;
    if (!line.intValue(portOption, 1, 65535, &port, &error)
        || !line.intValue(verifyOption, 1, 3600, &verifySeconds, &error))
        return line.fail(error);
    const QString format = line.value(formatOption);
    if (format != QLatin1String("text") && format != QLatin1String("json"))
        return line.fail(QStringLiteral("--format must be text or json, not \"%1\"").arg(format));

    TFTPDServer server;
    QString version = server.getVersion(ImageName);
    if (line.isSet(imageOption)) {
        const QString path = line.value(imageOption);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return line.fail(QStringLiteral("%1: %2").arg(path, file.errorString()));
        const QByteArray bytes = file.readAll();
        const QString problem = IntelHex::problem(bytes);
        if (!problem.isEmpty())
            return line.fail(QStringLiteral("%1: %2").arg(path, problem));
        version = versionFromName(path);
        if (version.isEmpty())
            return line.fail(QStringLiteral("%1: no version in the file name (name it like "
                                            "KOV_rev7_VERSION.hex)")
                                 .arg(path));
        server.addFirmware(ImageName, version, bytes);
    } else if (!server.hasFirmware(ImageName)) {
        return line.fail(QStringLiteral("the built-in image is missing"));
    }

    // Both ports before anything goes out.
    bool bindFailed = false;
    QObject::connect(&server, qOverload<QString>(&TFTPDServer::error), &server,
                     [&bindFailed](QString) { bindFailed = true; });
    server.start(quint16(port));
    if (bindFailed)
        return line.fail(QStringLiteral("cannot serve TFTP on UDP port %1: %2%3")
                             .arg(port)
                             .arg(server.bindErrorString())
                             .arg(port < 1024 ? QStringLiteral(" (a port below 1024 needs root "
                                                               "or cap_net_bind_service)")
                                              : QString()));
    DiscoveryRound round;
    if (!round.isListening())
        return line.fail(QStringLiteral("cannot listen on UDP port %1 for the devices' answers")
                             .arg(KovDetector::ReplyPort));

    const UpgradeRun::Output output = format == QLatin1String("json") ? UpgradeRun::Output::Quiet
                                      : Console::outIsTerminal()      ? UpgradeRun::Output::Live
                                                                      : UpgradeRun::Output::Lines;
    UpgradeRun run(&server, &round, version, verifySeconds * 1000, output);
    if (all) {
        round.run(DiscoveryRound::DefaultWaitMs);
        const QList<QSharedPointer<KovInfo>> found = round.devices();
        if (found.isEmpty())
            return line.report(QStringLiteral("no device answered the discovery beacon; nothing "
                                              "ordered"),
                               ExitCode::Failed);
        for (const QSharedPointer<KovInfo> &kov : found)
            run.expect(kov->address, QStringLiteral("%1 (%2)").arg(Console::printable(kov->mac),
                                                                   kov->address.toString()));
    } else {
        status = devices.resolve(DiscoveryRound::DefaultWaitMs, &error, &round);
        if (status != ExitCode::Ok)
            return line.report(error, status);
        for (const DeviceList::Target &target : devices.targets())
            run.expect(target.address, target.label);
    }
    if (output != UpgradeRun::Output::Quiet)
        Console::out(QStringLiteral("serving firmware %1 on UDP port %2").arg(version).arg(port));

    run.run(all);

    if (output == UpgradeRun::Output::Quiet) {
        Console::out(QString::fromUtf8(QJsonDocument(run.toJson()).toJson(QJsonDocument::Indented))
                         .trimmed());
    } else {
        // The live lines already stand as the results.
        if (output == UpgradeRun::Output::Lines) {
            for (const QString &result : run.resultLines())
                Console::out(result);
        }
        Console::out(run.summary());
    }
    return run.allRunning() ? ExitCode::Ok : ExitCode::Failed;
}
