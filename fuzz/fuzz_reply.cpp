// Device replies as they come off UDP 5998: any bytes, cut to the read
// limit as the reader does. Besides the sanitizers, the verdict is held
// against the reply grammar: "KOV-1," then three or four non-empty
// comma-separated fields, read up to the first NUL byte.
#include <QByteArray>
#include <QByteArrayList>
#include <QHostAddress>
#include <QString>

#include "fuzzsupport.h"
#include "kovdetector.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray datagram(reinterpret_cast<const char *>(data),
                              int(qMin<size_t>(size, KovDetector::ReplyReadLimit)));
    QString version;
    QHostAddress ip;
    QString mac;
    const bool accepted = KovDetector::parseReply(datagram, version, ip, mac);

    const int nul = datagram.indexOf('\0');
    const QByteArray text = nul < 0 ? datagram : datagram.left(nul);
    QByteArrayList fields;
    for (const QByteArray &field : text.split(','))
        if (!field.isEmpty())
            fields.append(field);
    const bool wellFormed = text.startsWith("KOV-1,")
                            && (fields.size() == 3 || fields.size() == 4);
    FUZZ_CHECK(accepted == wellFormed, "a reply is accepted exactly when it is well formed");
    if (!accepted)
        return 0;

    const bool hasVersion = fields.size() == 4;
    FUZZ_CHECK(version
                   == (hasVersion ? QString::fromLatin1(fields[1]) : QStringLiteral("Unknown")),
               "version field, or Unknown");
    FUZZ_CHECK(mac == QString::fromLatin1(fields.last()), "MAC is the last field, untouched");
    FUZZ_CHECK(ip == QHostAddress(QString::fromLatin1(fields[fields.size() - 2])),
               "address parsed from the field before the MAC");
    FUZZ_CHECK(!mac.contains(QChar(0)), "nothing after a NUL byte is read");
    return 0;
}
