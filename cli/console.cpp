#include "console.h"

#include <cstdio>
#include <unistd.h>

namespace Console {

namespace {

void write(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

}

void out(const QString &line)
{
    write(stdout, line + QLatin1Char('\n'));
}

void err(const QString &line)
{
    write(stderr, line + QLatin1Char('\n'));
}

void overwrite(const QString &line)
{
    // Carriage return, the line, then erase whatever the last one left.
    write(stdout, QLatin1Char('\r') + line + QStringLiteral("\x1b[K"));
}

bool outIsTerminal()
{
    return isatty(fileno(stdout)) == 1;
}

QString printable(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('\n'))
            result += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            result += QStringLiteral("\\r");
        else if (c == QLatin1Char('\t'))
            result += QStringLiteral("\\t");
        else if (c == QLatin1Char('\\'))
            result += QStringLiteral("\\\\");
        else if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0))
            result += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            result += c;
    }
    return result;
}

}
