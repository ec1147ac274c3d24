#include "firmwarelog.h"

#include <QByteArray>

Q_LOGGING_CATEGORY(lcTftp, "kov.tftp")
Q_LOGGING_CATEGORY(lcFirmware, "kov.firmware", QtInfoMsg)

QString printableText(const QByteArray &bytes)
{
    static const char hex[] = "0123456789abcdef";
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = quint8(c);
        if (byte == '\\') {
            text += QLatin1String("\\\\");
        } else if (byte >= 0x20 && byte < 0x7f) {
            text += QLatin1Char(c);
        } else {
            text += QLatin1String("\\x");
            text += QLatin1Char(hex[byte >> 4]);
            text += QLatin1Char(hex[byte & 0xf]);
        }
    }
    return text;
}

QString printableText(const QString &latin1)
{
    return printableText(latin1.toLatin1());
}
