#include "ccfparser.h"

#include <QStringList>

namespace Ccf {

Result parse(const QString &text, quint16 (&words)[MaxWords], int &count)
{
    // Not trimmed: a leading, trailing or doubled blank makes an empty
    // token, which then fails to convert.
    const QStringList tokens = text.split(QLatin1Char(' '), Qt::KeepEmptyParts, Qt::CaseSensitive);
    count = tokens.size();

    if (count > MaxWords)
        return Result::TooMany;
    if (count < 4)
        return Result::TooFew;

    for (int i = 0; i < count; ++i) {
        bool ok = false;
        const int value = tokens.at(i).toInt(&ok, 16);
        words[i] = static_cast<quint16>(value); // low 16 bits, also of a negative value
        if (!ok)
            return Result::InvalidValue;
    }

    const int pairs = int(words[2]) + int(words[3]);
    if (2 * pairs + 4 != count)
        return Result::InvalidString;
    return Result::Ok;
}

Result check(const QString &text, int outputs, quint16 (&words)[MaxWords], int &count)
{
    const Result result = parse(text, words, count);
    if (result == Result::Ok && outputs == 0)
        return Result::NoOutput;
    return result;
}

QString warningTitle(Result result)
{
    switch (result) {
    case Result::TooMany:
        return QStringLiteral("Too many IR pairs");
    case Result::TooFew:
        return QStringLiteral("Too few IR pairs");
    case Result::InvalidValue:
    case Result::InvalidString:
        return QStringLiteral("Invalid CCF");
    case Result::NoOutput:
        return QStringLiteral("No Output Selected");
    case Result::Ok:
        break;
    }
    return QString();
}

QString warningText(Result result)
{
    switch (result) {
    case Result::TooMany:
        return QStringLiteral("Sorry too many IR Pairs");
    case Result::TooFew:
        return QStringLiteral("Sorry too few IR Pairs, not a valid CCF string.");
    case Result::InvalidValue:
        return QStringLiteral("An invalid value was encountered in the CCF string");
    case Result::InvalidString:
        return QStringLiteral("Invalid CCF string.");
    case Result::NoOutput:
        return QStringLiteral("You did not select any outputs");
    case Result::Ok:
        break;
    }
    return QString();
}

} // namespace Ccf
