#include "commandline.h"

#include "console.h"
#include "exitcode.h"

CommandLine::CommandLine(const QString &command, const QString &synopsis,
                         const QString &description)
    : command(command),
      synopsis(synopsis),
      description(description),
      helpOption({QStringLiteral("h"), QStringLiteral("help")},
                 QStringLiteral("Display this help and exit."))
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(helpOption);
}

void CommandLine::addOption(const QCommandLineOption &option, bool canRepeat)
{
    parser.addOption(option);
    if (canRepeat)
        repeatable += option.names();
}

void CommandLine::setNotes(const QString &text)
{
    notes = text;
}

bool CommandLine::parse(const QStringList &arguments, int *exitCode)
{
    if (!parser.parse(arguments)) {
        *exitCode = fail(parser.errorText());
        return false;
    }
    if (parser.isSet(helpOption)) {
        Console::out(helpText());
        *exitCode = ExitCode::Ok;
        return false;
    }
    // An option that takes one value given twice is a mistake rather
    // than something to pick from.
    for (const QString &name : parser.optionNames()) {
        if (parser.values(name).size() > 1 && !repeatable.contains(name)) {
            *exitCode = fail(QStringLiteral("--%1 given more than once").arg(name));
            return false;
        }
    }
    return true;
}

bool CommandLine::isSet(const QCommandLineOption &option) const
{
    return parser.isSet(option);
}

QString CommandLine::value(const QCommandLineOption &option) const
{
    return parser.value(option);
}

QStringList CommandLine::values(const QCommandLineOption &option) const
{
    return parser.values(option);
}

QStringList CommandLine::positionalArguments() const
{
    return parser.positionalArguments();
}

int CommandLine::fail(const QString &message) const
{
    return report(message, ExitCode::BadInput);
}

int CommandLine::report(const QString &message, int status) const
{
    Console::err(QStringLiteral("kovctl: %1: %2").arg(command, message));
    return status;
}

QString CommandLine::helpText() const
{
    // The parser's own text starts with a usage line naming the binary as
    // it was called; ours names the command.
    QString options = parser.helpText();
    const qsizetype at = options.indexOf(QLatin1String("Options:"));
    options = at < 0 ? QString() : options.mid(at).trimmed();
    QString text = QStringLiteral("Usage: kovctl %1\n%2\n\n%3\n")
                       .arg(synopsis, description, options);
    if (!notes.isEmpty())
        text += QLatin1Char('\n') + notes.trimmed() + QLatin1Char('\n');
    return text.trimmed();
}

bool CommandLine::intValue(const QCommandLineOption &option, int low, int high, int *value,
                           QString *error) const
{
    const QString text = parser.value(option);
    bool ok = false;
    const int number = text.toInt(&ok, 10);
    if (!ok || number < low || number > high) {
        *error = QStringLiteral("--%1 must be a whole number from %2 to %3, not \"%4\"")
                     .arg(option.names().constLast())
                     .arg(low)
                     .arg(high)
                     .arg(text);
        return false;
    }
    *value = number;
    return true;
}
