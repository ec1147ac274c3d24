#include "console.h"

#include <QFile>
#include <QJsonDocument>

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

void raw(const QString &text)
{
    write(stdout, text);
}

void json(const QJsonArray &array)
{
    out(array.isEmpty()
            ? QStringLiteral("[]")
            : QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)).trimmed());
}

void table(const QList<QStringList> &rows)
{
    QList<int> widths;
    for (const QStringList &fields : rows) {
        for (int i = 0; i < fields.size(); ++i) {
            if (i == widths.size())
                widths.append(0);
            widths[i] = qMax(widths[i], int(fields.at(i).size()));
        }
    }
    for (const QStringList &fields : rows) {
        QString text;
        for (int i = 0; i < fields.size(); ++i)
            text += i + 1 < fields.size() ? QStringLiteral("%1  ").arg(fields.at(i), -widths.at(i))
                                          : fields.at(i);
        while (text.endsWith(QLatin1Char(' ')))
            text.chop(1);
        out(text);
    }
}

bool outIsTerminal()
{
    return isatty(fileno(stdout)) == 1;
}

QString argumentOrInput(const QString &argument)
{
    if (argument != QLatin1String("-"))
        return argument;
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return QString();
    QString text = QString::fromUtf8(in.readAll());
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    return text;
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
