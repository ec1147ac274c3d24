#include "hexcheck.h"

#include <QByteArray>
#include <QList>

namespace HexCheck {

QString problem(const QByteArray &image)
{
    if (image.isEmpty())
        return QStringLiteral("empty image");
    const QList<QByteArray> lines = image.split('\n');
    bool ended = false;
    int lineNo = 0;
    int records = 0;
    for (QByteArray line : lines) {
        ++lineNo;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        if (ended)
            return QStringLiteral("line %1: data after the end-of-file record").arg(lineNo);
        if (line.at(0) != ':')
            return QStringLiteral("line %1: no record mark").arg(lineNo);
        const QByteArray hex = line.mid(1);
        if (hex.size() < 10 || hex.size() % 2 != 0)
            return QStringLiteral("line %1: bad record length").arg(lineNo);
        for (char c : hex) {
            const bool digit = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')
                               || (c >= 'a' && c <= 'f');
            if (!digit)
                return QStringLiteral("line %1: not hexadecimal").arg(lineNo);
        }
        const QByteArray bytes = QByteArray::fromHex(hex);
        const int count = quint8(bytes.at(0));
        if (bytes.size() != count + 5)
            return QStringLiteral("line %1: byte count %2 does not match").arg(lineNo).arg(count);
        quint8 sum = 0;
        for (char b : bytes)
            sum += quint8(b);
        if (sum != 0)
            return QStringLiteral("line %1: checksum mismatch").arg(lineNo);
        const int type = quint8(bytes.at(3));
        switch (type) {
        case 0:
            break;
        case 1:
            if (count != 0)
                return QStringLiteral("line %1: end-of-file record with data").arg(lineNo);
            ended = true;
            break;
        case 2:
        case 4:
            if (count != 2)
                return QStringLiteral("line %1: bad address record").arg(lineNo);
            break;
        case 3:
        case 5:
            if (count != 4)
                return QStringLiteral("line %1: bad start address record").arg(lineNo);
            break;
        default:
            return QStringLiteral("line %1: unknown record type %2").arg(lineNo).arg(type);
        }
        ++records;
    }
    if (!ended)
        return QStringLiteral("no end-of-file record");
    if (records < 2)
        return QStringLiteral("no data records");
    return QString();
}

} // namespace HexCheck
