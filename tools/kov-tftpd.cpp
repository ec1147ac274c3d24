// kov-tftpd: the tool's TFTP service on its own, without the window.
//
// Serves the built-in firmware image, or a given Intel HEX file, on a UDP
// port (69 by default) and prints one line per transfer event:
//   <address> progress <percent>   (every 10 %)
//   <address> done
//   <address> error <reason>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QHostAddress>
#include <QObject>

#include <cstdio>
#include <sys/resource.h>

#include "firmwareinfo.h"
#include "firmwarelog.h"
#include "intelhex.h"
#include "tftpdserver.h"

namespace {

void say(const QString &line, FILE *stream = stdout)
{
    const QByteArray bytes = line.toLocal8Bit();
    std::fprintf(stream, "%s\n", bytes.constData());
    std::fflush(stream);
}

// Every running transfer holds a socket; let a burst of requests use all
// the descriptors the system allows us.
void raiseFileLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

class Reporter : public QObject
{
public:
    explicit Reporter(bool everyChange, QObject *parent = nullptr)
        : QObject(parent), everyChange(everyChange)
    {
    }

    // Runs for every block sent: the address text is made only for a line.
    void progress(QHostAddress &address, int p)
    {
        const int step = everyChange ? p : p / 10 * 10;
        const auto last = lastStep.find(address);
        if (last != lastStep.end() && *last == step)
            return;
        lastStep.insert(address, step);
        say(QStringLiteral("%1 progress %2").arg(address.toString()).arg(p));
    }

    void done(QHostAddress &address)
    {
        lastStep.remove(address);
        say(QStringLiteral("%1 done").arg(address.toString()));
    }

    void error(QHostAddress &address, QString error)
    {
        lastStep.remove(address);
        // The reason may be a client's own ERROR text: keep its bytes
        // away from the terminal.
        say(QStringLiteral("%1 error %2").arg(address.toString(), printableText(error)));
    }

private:
    bool everyChange;
    QHash<QHostAddress, int> lastStep;
};

struct Options
{
    quint16 port = TFTPDServer::DefaultPort;
    QString hexFile;
    QString name = QString::fromLatin1(FirmwareFileName);
    bool nameSet = false;
    bool everyPercent = false;
    bool quiet = false;
};

// Fills options from the command line; on a usage error prints why and
// returns false. --help and --version exit here.
bool parseOptions(const QCoreApplication &app, Options &options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Serves KOV-1 firmware by TFTP (read requests only)."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption({QStringLiteral("p"), QStringLiteral("port")},
                                        QStringLiteral("UDP port to listen on (default 69)."),
                                        QStringLiteral("port"), QStringLiteral("69"));
    const QCommandLineOption fileOption(
        {QStringLiteral("f"), QStringLiteral("file")},
        QStringLiteral(
            "Intel HEX file to serve, under --name (it replaces the built-in image when the names match)."),
        QStringLiteral("file"));
    const QCommandLineOption nameOption(
        {QStringLiteral("n"), QStringLiteral("name")},
        QStringLiteral("Name to serve the file under (default %1).").arg(FirmwareFileName),
        QStringLiteral("name"), QString::fromLatin1(FirmwareFileName));
    const QCommandLineOption everyOption(
        QStringLiteral("every-percent"),
        QStringLiteral("Print every change of progress, not only every 10 %."));
    const QCommandLineOption quietOption({QStringLiteral("q"), QStringLiteral("quiet")},
                                         QStringLiteral("Print no progress lines."));
    parser.addOptions({portOption, fileOption, nameOption, everyOption, quietOption});
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("Intel HEX file to serve (same as --file)."),
                                 QStringLiteral("[file]"));
    parser.process(app);

    options.hexFile = parser.value(fileOption);
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1 || (positional.size() == 1 && !options.hexFile.isEmpty())) {
        say(QStringLiteral("kov-tftpd: give one HEX file at most"), stderr);
        return false;
    }
    if (!positional.isEmpty())
        options.hexFile = positional.first();

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        say(QStringLiteral("kov-tftpd: bad port: %1").arg(parser.value(portOption)), stderr);
        return false;
    }
    options.port = quint16(port);
    options.name = parser.value(nameOption);
    options.nameSet = parser.isSet(nameOption);
    options.everyPercent = parser.isSet(everyOption);
    options.quiet = parser.isSet(quietOption);
    return true;
}

// Gives the server the image to serve under options.name: the HEX file
// if one is named (checked first), else the built-in image. On failure
// prints why and returns false.
bool loadImage(TFTPDServer &server, const Options &options)
{
    if (options.hexFile.isEmpty()) {
        if (options.nameSet) {
            say(QStringLiteral("kov-tftpd: --name needs --file"), stderr);
            return false;
        }
        if (!server.hasFirmware(options.name)) {
            say(QStringLiteral("kov-tftpd: the built-in image is missing"), stderr);
            return false;
        }
        return true;
    }
    const QString &path = options.hexFile;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        say(QStringLiteral("kov-tftpd: %1: %2").arg(path, file.errorString()), stderr);
        return false;
    }
    const QByteArray bytes = file.readAll();
    const QString problem = IntelHex::problem(bytes);
    if (!problem.isEmpty()) {
        say(QStringLiteral("kov-tftpd: %1: %2").arg(path, problem), stderr);
        return false;
    }
    server.addFirmware(options.name, QFileInfo(path).fileName(), bytes);
    return true;
}

}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kov-tftpd"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));

    Options options;
    if (!parseOptions(app, options))
        return 2;

    raiseFileLimit();

    TFTPDServer server;
    if (!loadImage(server, options))
        return 2;

    Reporter reporter(options.everyPercent);
    if (!options.quiet)
        QObject::connect(&server, &TFTPDServer::progress, &reporter, &Reporter::progress);
    QObject::connect(&server, &TFTPDServer::done, &reporter, &Reporter::done);
    QObject::connect(&server, qOverload<QHostAddress &, QString>(&TFTPDServer::error), &reporter,
                     &Reporter::error);

    bool failedToBind = false;
    QObject::connect(&server, qOverload<QString>(&TFTPDServer::error), &reporter,
                     [&failedToBind] { failedToBind = true; });
    server.start(options.port);
    if (failedToBind) {
        say(QStringLiteral("kov-tftpd: cannot bind UDP port %1: %2")
                .arg(options.port)
                .arg(server.bindErrorString()),
            stderr);
        return 1;
    }
    say(QStringLiteral("listening on UDP port %1, serving %2 (version %3)")
            .arg(server.localPort())
            .arg(options.name, server.getVersion(options.name)));
    return app.exec();
}
