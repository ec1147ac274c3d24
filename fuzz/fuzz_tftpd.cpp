// Datagrams arriving on the TFTP server's port, each handled as the
// socket's reader would, with a session started for every read request.
// Sessions send only to the loopback sender given here, and the target
// runs inside a private network namespace (fuzz/run-fuzzer).
#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>

#include "fuzzsupport.h"
#include "tftpconnection.h"
#include "tftpdserver.h"

namespace {

const QHostAddress Sender(QHostAddress::LocalHost);
constexpr quint16 SenderPort = 40069;
constexpr int ReadLimit = 1023;
const QByteArray BuiltInName = "kov-1-rev7.hex";

TFTPDServer *server = nullptr;
int progressReports = 0;
int errorReports = 0;
QString lastError;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::application();
    server = new TFTPDServer;
    // A port of the system's choosing, so refusals go out as they would
    // from port 69.
    server->start(0);
    FUZZ_CHECK(server->bindErrorString().isEmpty(), "the server binds");
    FUZZ_CHECK(server->getVersion(QString::fromLatin1(BuiltInName)) == QLatin1String("1.7.0"),
               "the built-in image is in the store");
    QObject::connect(server, &TFTPDServer::progress, [](QHostAddress &address, int p) {
        FUZZ_CHECK(address == Sender, "progress is reported for the requester");
        FUZZ_CHECK(p >= 0 && p <= 100, "progress is a percentage");
        ++progressReports;
    });
    QObject::connect(server, qOverload<QHostAddress &, QString>(&TFTPDServer::error),
                     [](QHostAddress &address, QString error) {
                         FUZZ_CHECK(address == Sender, "failure is reported for the requester");
                         lastError = error;
                         ++errorReports;
                     });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray datagram(reinterpret_cast<const char *>(data),
                              int(qMin<size_t>(size, ReadLimit)));
    progressReports = 0;
    errorReports = 0;
    lastError.clear();

    server->handleDatagram(datagram, Sender, SenderPort);

    const QList<TFTPConnection *> sessions = server->findChildren<TFTPConnection *>();
    const bool readRequest = datagram.size() >= 4 && datagram[0] == 0 && datagram[1] == 1;
    FUZZ_CHECK(sessions.size() == (readRequest ? 1 : 0),
               "one session for each read request, none for anything else");
    if (readRequest) {
        const int end = datagram.indexOf('\0', 2);
        const QByteArray name = datagram.mid(2, end < 0 ? -1 : end - 2);
        if (name == BuiltInName) {
            FUZZ_CHECK(progressReports == 1 && errorReports == 0,
                       "a request for the image starts its transfer");
        } else {
            FUZZ_CHECK(progressReports == 0 && errorReports == 1
                           && lastError == QLatin1String("File not found"),
                       "a request for another name is refused");
        }
    } else {
        FUZZ_CHECK(progressReports == 0 && errorReports == 0,
                   "no transfer report without a session");
    }

    // Sessions would live on for seconds of retries; end them now.
    qDeleteAll(sessions);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
