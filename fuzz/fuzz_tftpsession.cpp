// A transfer session driven by a stream of events taken from the input:
// datagrams from its client, datagrams from strangers, and retransmit
// timeouts. The client end is a real socket on loopback, so every DATA
// packet the session sends is read back and checked against the image.
//
// Input: byte 0 picks the image size and whether the name is known; then
// events, each one control byte and its operands:
//   c % 8 == 0  timeout
//   c % 8 == 1  datagram from the client's address, another port   (len, bytes)
//   c % 8 == 2  datagram from another address, the client's port  (len, bytes)
//   c % 8 == 3  ACK of the block last sent, from the client
//   c % 8 == 5  ACK of any block number, from the client           (2 bytes)
//   otherwise   any datagram from the client                       (len, bytes)
// Only the ACK of the block last sent moves a transfer on: a stale or
// repeated ACK would otherwise skip a block the client never received.
#include <QByteArray>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QPointer>
#include <QUdpSocket>

#include "fuzzsupport.h"
#include "tftpconnection.h"

namespace {

const QHostAddress Client(QHostAddress::LocalHost);
const QHostAddress Stranger(QStringLiteral("127.0.0.2"));
constexpr int BlockSize = 512;

QUdpSocket *clientSocket = nullptr;

struct Reports
{
    int lastProgress = -1;
    int progressCount = 0;
    int doneCount = 0;
    int errorCount = 0;
    QString error;
    bool ended() const { return doneCount > 0 || errorCount > 0; }
};

// Reads every packet the session has sent so far and checks it.
void checkSent(const QByteArray &image, bool known, int blocks, int &highestBlock)
{
    while (clientSocket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = clientSocket->receiveDatagram(2048);
        const QByteArray bytes = datagram.data();
        if (bytes.size() < 4) {
            FUZZ_CHECK(false, "every packet has an opcode and a number");
            continue;
        }
        const int opcode = quint8(bytes[0]) * 256 + quint8(bytes[1]);
        if (!known) {
            FUZZ_CHECK(opcode == 5 && bytes == QByteArray("\0\5\0\0File not found\0", 19),
                       "an unknown name gets the File not found error");
            continue;
        }
        FUZZ_CHECK(opcode == 3, "a transfer sends only DATA");
        const int block = quint8(bytes[2]) * 256 + quint8(bytes[3]);
        FUZZ_CHECK(block >= 1 && block <= blocks, "block number within the image");
        FUZZ_CHECK(block == highestBlock || block == highestBlock + 1,
                   "blocks go out in order, one new block at a time");
        highestBlock = block;
        FUZZ_CHECK(bytes.mid(4) == image.mid((block - 1) * BlockSize, BlockSize),
                   "a block carries its slice of the image");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::application();
    clientSocket = new QUdpSocket;
    FUZZ_CHECK(clientSocket->bind(Client, 0), "client socket binds on loopback");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const bool known = (data[0] & 0x80) == 0;
    // 0 to 7 full blocks and a remainder picked so that exact multiples
    // of the block size (an empty last block) come up often.
    const int fullBlocks = (data[0] >> 4) & 0x7;
    const int remainder = (data[0] & 0xf) == 0 ? 0 : (data[0] & 0xf) * 37 % BlockSize;
    QByteArray image(fullBlocks * BlockSize + remainder, Qt::Uninitialized);
    for (int i = 0; i < image.size(); ++i)
        image[i] = char('A' + (i / BlockSize) % 26 + i % 7);
    const int blocks = image.size() / BlockSize + 1;

    QMap<QString, FirmwareInfo> store;
    store.insert(QStringLiteral("image.hex"),
                 FirmwareInfo{QStringLiteral("1.0"), QStringLiteral("image.hex"), image});
    QHostAddress peer = Client;
    const quint16 port = clientSocket->localPort();
    QString name = known ? QStringLiteral("image.hex") : QStringLiteral("other.hex");

    QObject owner;
    QPointer<TFTPConnection> session = new TFTPConnection(&store, peer, port, name, &owner);
    Reports reports;
    QObject::connect(session, &TFTPConnection::progress, [&](QHostAddress &address, int p) {
        FUZZ_CHECK(address == Client, "progress is reported for the client");
        FUZZ_CHECK(p >= 0 && p <= 100, "progress is a percentage");
        FUZZ_CHECK(p >= reports.lastProgress, "progress never goes back");
        reports.lastProgress = p;
        ++reports.progressCount;
    });
    QObject::connect(session, &TFTPConnection::done, [&](QHostAddress &address) {
        FUZZ_CHECK(address == Client, "done is reported for the client");
        FUZZ_CHECK(reports.lastProgress == 100, "done only after the last block went out");
        ++reports.doneCount;
    });
    QObject::connect(session, &TFTPConnection::error, [&](QHostAddress &address, QString error) {
        FUZZ_CHECK(address == Client, "failure is reported for the client");
        reports.error = error;
        ++reports.errorCount;
    });

    session->begin();
    int highestBlock = 0;
    checkSent(image, known, blocks, highestBlock);
    if (!known) {
        FUZZ_CHECK(reports.errorCount == 1 && reports.error == QLatin1String("File not found")
                       && reports.progressCount == 0,
                   "an unknown name ends the session at once");
        delete session.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return 0;
    }
    FUZZ_CHECK(reports.progressCount == 1 && highestBlock == 1, "begin sends block 1");

    int timeouts = 0;
    size_t at = 1;
    while (at < size && session && !reports.ended()) {
        const uint8_t control = data[at++];
        QByteArray datagram;
        QHostAddress source = Client;
        quint16 sourcePort = port;
        switch (control % 8) {
        case 0:
            ++timeouts;
            QMetaObject::invokeMethod(session, "retransmitBlock", Qt::DirectConnection);
            if (timeouts > 5)
                FUZZ_CHECK(reports.errorCount == 1
                               && reports.error == QLatin1String("Too many retries"),
                           "the sixth timeout of a transfer ends it");
            else
                FUZZ_CHECK(!reports.ended(), "five timeouts are survived");
            checkSent(image, known, blocks, highestBlock);
            continue;
        case 3:
            datagram = QByteArray("\0\4", 2);
            datagram.append(char(highestBlock >> 8)).append(char(highestBlock & 0xff));
            break;
        case 5:
            datagram = QByteArray("\0\4", 2);
            for (int i = 0; i < 2; ++i)
                datagram.append(at < size ? char(data[at++]) : '\0');
            break;
        default: {
            const int length = at < size ? data[at++] : 0;
            const size_t take = qMin<size_t>(length, size - at);
            datagram = QByteArray(reinterpret_cast<const char *>(data + at), int(take));
            at += take;
            if (control % 8 == 1)
                sourcePort = quint16(port + 1);
            else if (control % 8 == 2)
                source = Stranger;
            break;
        }
        }
        const int blockBefore = highestBlock;
        const int progressBefore = reports.progressCount;
        session->handlePacket(datagram, source, sourcePort);
        checkSent(image, known, blocks, highestBlock);

        const bool fromClient = source == Client && sourcePort == port;
        const int opcode = datagram.size() >= 4 ? quint8(datagram[0]) * 256 + quint8(datagram[1])
                                                : -1;
        if (!fromClient || datagram.size() < 4 || (opcode != 4 && opcode != 5)) {
            FUZZ_CHECK(!reports.ended() && highestBlock == blockBefore
                           && reports.progressCount == progressBefore,
                       "strangers, runts and other opcodes change nothing");
        } else if (opcode == 5) {
            FUZZ_CHECK(reports.errorCount == 1, "an ERROR from the client ends the transfer");
            const int end = datagram.indexOf('\0', 4);
            const QString expected = datagram.size() >= 6
                                         ? QString::fromLatin1(
                                             datagram.mid(4, end < 0 ? -1 : end - 4))
                                         : QStringLiteral("Error opcode received");
            FUZZ_CHECK(reports.error == expected, "the client's reason is reported");
        } else if (quint8(datagram[2]) * 256 + quint8(datagram[3]) != blockBefore) {
            FUZZ_CHECK(!reports.ended() && highestBlock == blockBefore
                           && reports.progressCount == progressBefore,
                       "an ACK of another block changes nothing");
        } else if (blockBefore == blocks) {
            FUZZ_CHECK(reports.doneCount == 1, "the ACK after the last block ends the transfer");
        } else {
            FUZZ_CHECK(highestBlock == blockBefore + 1 && !reports.ended(),
                       "an ACK moves the transfer on by one block");
        }
    }

    delete session.data();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    checkSent(image, known, blocks, highestBlock);
    return 0;
}
