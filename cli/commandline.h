#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

// The arguments of one kovctl command: its options, its --help text and
// its one-line error messages ("kovctl: COMMAND: reason", exit status 2).
class CommandLine
{
public:
    // synopsis follows "kovctl " in the usage line, e.g.
    // "reboot DEVICE..."; description is the paragraph under it.
    CommandLine(const QString &command, const QString &synopsis, const QString &description);

    // A repeatable option may be given any number of times.
    void addOption(const QCommandLineOption &option, bool repeatable = false);
    // Text shown after the options in --help (formats, examples).
    void setNotes(const QString &notes);

    // Parses arguments (the first is the program's name and is skipped).
    // Returns false when the command is over: --help was shown (exit
    // status 0) or the arguments were bad (message written, status 2);
    // *exitCode then holds the status.
    bool parse(const QStringList &arguments, int *exitCode);

    bool isSet(const QCommandLineOption &option) const;
    QString value(const QCommandLineOption &option) const;
    QStringList values(const QCommandLineOption &option) const;
    QStringList positionalArguments() const;

    // Writes "kovctl: COMMAND: message" to stderr and returns 2.
    int fail(const QString &message) const;
    // The same for a failure that is not bad input; returns status.
    int report(const QString &message, int status) const;

    QString helpText() const;

    // An integer option in [low, high]; false with *error set otherwise.
    bool intValue(const QCommandLineOption &option, int low, int high, int *value,
                  QString *error) const;

private:
    QString command;
    QString synopsis;
    QString description;
    QString notes;
    QCommandLineParser parser;
    QCommandLineOption helpOption;
    QStringList repeatable;
};
