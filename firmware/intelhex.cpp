#include "intelhex.h"

#include <QByteArray>

#include <cstring>

#include "tftppacket.h"

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QString at(qint64 line, const QString &what)
{
    return QStringLiteral("line %1: %2").arg(line).arg(what);
}

// Checks one record without its line end; returns an empty string when it
// is sound. Sets isEnd when it is the end-of-file record.
QString checkRecord(const char *p, qint64 n, bool *isEnd)
{
    *isEnd = false;
    if (n == 0)
        return QStringLiteral("empty line");
    if (p[0] != ':')
        return QStringLiteral("record does not start with ':'");
    const qint64 digits = n - 1;
    if (digits % 2 != 0)
        return QStringLiteral("odd number of hex digits");
    const qint64 count = digits / 2;
    if (count < 5)
        return QStringLiteral("record too short");

    unsigned sum = 0;
    int length = 0;
    int type = 0;
    for (qint64 i = 0; i < count; ++i) {
        const int hi = hexDigit(p[1 + 2 * i]);
        const int lo = hexDigit(p[2 + 2 * i]);
        if (hi < 0 || lo < 0)
            return QStringLiteral("not a hex digit");
        const int byte = hi * 16 + lo;
        if (i == 0)
            length = byte;
        else if (i == 3)
            type = byte;
        sum += unsigned(byte);
    }
    if (length != count - 5)
        return QStringLiteral("length byte does not match the record");
    if (type > 5)
        return QStringLiteral("unknown record type %1").arg(type, 2, 16, QLatin1Char('0'));
    if ((sum & 0xff) != 0)
        return QStringLiteral("bad checksum");

    static const int fixedLength[] = {-1, 0, 2, 4, 2, 4};
    if (fixedLength[type] >= 0 && length != fixedLength[type])
        return QStringLiteral("record of type %1 must carry %2 bytes")
            .arg(type, 2, 10, QLatin1Char('0'))
            .arg(fixedLength[type]);
    if (type == 1) {
        if (n != 11 || qstrnicmp(p, ":00000001FF", 11) != 0)
            return QStringLiteral("bad end-of-file record");
        *isEnd = true;
    }
    return QString();
}

}

namespace IntelHex {

QString problem(const QByteArray &bytes)
{
    if (bytes.size() >= Tftp::MaxImageSize)
        return QStringLiteral("file too large to serve by TFTP (%1 bytes, limit %2)")
            .arg(bytes.size())
            .arg(Tftp::MaxImageSize - 1);
    if (bytes.isEmpty())
        return QStringLiteral("empty file");

    const char *data = bytes.constData();
    const qint64 size = bytes.size();
    qint64 pos = 0;
    qint64 line = 0;
    while (pos < size) {
        ++line;
        const char *start = data + pos;
        const char *newline = static_cast<const char *>(memchr(start, '\n', size_t(size - pos)));
        qint64 length = newline ? newline - start : size - pos;
        pos += length + (newline ? 1 : 0);
        if (length > 0 && start[length - 1] == '\r')
            --length;
        if (memchr(start, '\r', size_t(length)))
            return at(line, QStringLiteral("stray carriage return"));

        bool isEnd = false;
        const QString reason = checkRecord(start, length, &isEnd);
        if (!reason.isEmpty())
            return at(line, reason);
        if (!isEnd)
            continue;

        // Only blank line ends may follow the end-of-file record.
        for (qint64 i = pos; i < size; ++i) {
            if (data[i] == '\n') {
                ++line;
                continue;
            }
            if (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n')
                continue;
            return at(line + 1, QStringLiteral("data after the end-of-file record"));
        }
        return QString();
    }
    return QStringLiteral("no end-of-file record");
}

}
