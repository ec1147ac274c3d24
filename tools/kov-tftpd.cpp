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
    Q_OBJECT

public:
    explicit Reporter(bool everyChange, QObject *parent = nullptr)
        : QObject(parent), everyChange(everyChange)
    {
    }

public slots:
    void progress(QHostAddress &address, int p)
    {
        const QString key = address.toString();
        const int step = everyChange ? p : p / 10 * 10;
        const auto last = lastStep.constFind(key);
        if (last != lastStep.constEnd() && *last == step)
            return;
        lastStep.insert(key, step);
        say(QStringLiteral("%1 progress %2").arg(key).arg(p));
    }

    void done(QHostAddress &address)
    {
        lastStep.remove(address.toString());
        say(QStringLiteral("%1 done").arg(address.toString()));
    }

    void error(QHostAddress &address, QString error)
    {
        lastStep.remove(address.toString());
        say(QStringLiteral("%1 error %2").arg(address.toString(), error));
    }

    void bindFailed(QString)
    {
        failedToBind = true;
    }

public:
    bool failedToBind = false;

private:
    bool everyChange;
    QHash<QString, int> lastStep;
};

}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kov-tftpd"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Serves KOV-1 firmware by TFTP (read requests only)."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption({ QStringLiteral("p"), QStringLiteral("port") },
                                        QStringLiteral("UDP port to listen on (default 69)."),
                                        QStringLiteral("port"), QStringLiteral("69"));
    const QCommandLineOption fileOption(
        { QStringLiteral("f"), QStringLiteral("file") },
        QStringLiteral("Intel HEX file to serve, under --name (it replaces the built-in image when the names match)."),
        QStringLiteral("file"));
    const QCommandLineOption nameOption(
        { QStringLiteral("n"), QStringLiteral("name") },
        QStringLiteral("Name to serve the file under (default kov-1-rev7.hex)."),
        QStringLiteral("name"), QStringLiteral("kov-1-rev7.hex"));
    const QCommandLineOption everyOption(
        QStringLiteral("every-percent"),
        QStringLiteral("Print every change of progress, not only every 10 %."));
    const QCommandLineOption quietOption({ QStringLiteral("q"), QStringLiteral("quiet") },
                                         QStringLiteral("Print no progress lines."));
    parser.addOptions({ portOption, fileOption, nameOption, everyOption, quietOption });
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("Intel HEX file to serve (same as --file)."),
                                 QStringLiteral("[file]"));
    parser.process(app);

    QString hexFile = parser.value(fileOption);
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1 || (positional.size() == 1 && !hexFile.isEmpty())) {
        say(QStringLiteral("kov-tftpd: give one HEX file at most"), stderr);
        return 2;
    }
    if (!positional.isEmpty())
        hexFile = positional.first();

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        say(QStringLiteral("kov-tftpd: bad port: %1").arg(parser.value(portOption)), stderr);
        return 2;
    }

    raiseFileLimit();

    TFTPDServer server;
    QString name = QStringLiteral("kov-1-rev7.hex");
    if (!hexFile.isEmpty()) {
        const QString &path = hexFile;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            say(QStringLiteral("kov-tftpd: %1: %2").arg(path, file.errorString()), stderr);
            return 2;
        }
        const QByteArray bytes = file.readAll();
        const QString problem = IntelHex::problem(bytes);
        if (!problem.isEmpty()) {
            say(QStringLiteral("kov-tftpd: %1: %2").arg(path, problem), stderr);
            return 2;
        }
        name = parser.value(nameOption);
        server.addFirmware(name, QFileInfo(path).fileName(), bytes);
    } else if (parser.isSet(nameOption)) {
        say(QStringLiteral("kov-tftpd: --name needs --file"), stderr);
        return 2;
    } else if (server.getVersion(name) == QLatin1String("N.A.")) {
        say(QStringLiteral("kov-tftpd: the built-in image is missing"), stderr);
        return 2;
    }

    Reporter reporter(parser.isSet(everyOption));
    if (!parser.isSet(quietOption))
        QObject::connect(&server, SIGNAL(progress(QHostAddress&,int)),
                         &reporter, SLOT(progress(QHostAddress&,int)));
    QObject::connect(&server, SIGNAL(done(QHostAddress&)), &reporter, SLOT(done(QHostAddress&)));
    QObject::connect(&server, SIGNAL(error(QHostAddress&,QString)),
                     &reporter, SLOT(error(QHostAddress&,QString)));

    QObject::connect(&server, SIGNAL(error(QString)), &reporter, SLOT(bindFailed(QString)));
    server.start(quint16(port));
    if (reporter.failedToBind) {
        say(QStringLiteral("kov-tftpd: cannot bind UDP port %1: %2")
                .arg(port)
                .arg(server.bindErrorString()),
            stderr);
        return 1;
    }
    say(QStringLiteral("listening on UDP port %1, serving %2 (version %3)")
            .arg(server.localPort())
            .arg(name, server.getVersion(name)));
    return app.exec();
}

#include "kov-tftpd.moc"
