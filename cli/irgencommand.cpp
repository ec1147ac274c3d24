#include "commands.h"

#include "commandline.h"
#include "console.h"
#include "exitcode.h"
#include "ircode.h"

namespace {

// The protocols with the ranges of the generator dialog's fields, so the
// code printed is the one the dialog would make.
struct Protocol
{
    const char *name;
    int bits; // SIRC width; 0 for the others
    int maxDevice;
    int maxFunction;
    bool toggle;
};

constexpr Protocol Protocols[] = {
    {"rc5", 0, 31, 63, true},         {"rc6", 0, 255, 255, true},
    {"sirc12", 12, 8191, 127, false}, {"sirc15", 15, 8191, 127, false},
    {"sirc20", 20, 8191, 127, false}, {"nec", 0, 255, 255, false},
};

}

int irGenCommand(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("ir gen"),
                     QStringLiteral("ir gen rc5|rc6|sirc12|sirc15|sirc20|nec --device D "
                                    "--function F [--toggle 0|1]"),
                     QStringLiteral("Prints the Pronto CCF code of one remote-control command, "
                                    "as the IR code\ngenerator dialog makes it. Ranges of D and "
                                    "F: rc5 0-31 and 0-63; rc6 and nec\n0-255 and 0-255; sirc12, "
                                    "sirc15 and sirc20 0-8191 and 0-127 (SIRC sends only\nthe "
                                    "address bits its width has room for). --toggle is for rc5 "
                                    "and rc6."));
    const QCommandLineOption deviceOption(QStringLiteral("device"),
                                          QStringLiteral("Device (address) number."),
                                          QStringLiteral("D"));
    const QCommandLineOption functionOption(QStringLiteral("function"),
                                            QStringLiteral("Function (command) number."),
                                            QStringLiteral("F"));
    const QCommandLineOption toggleOption(QStringLiteral("toggle"),
                                          QStringLiteral("Toggle bit, 0 or 1 (default 0)."),
                                          QStringLiteral("0|1"), QStringLiteral("0"));
    line.addOption(deviceOption);
    line.addOption(functionOption);
    line.addOption(toggleOption);
    int status = ExitCode::Ok;
    if (!line.parse(arguments, &status))
        return status;

    const QStringList positional = line.positionalArguments();
    if (positional.size() != 1)
        return line.fail(QStringLiteral("name one protocol: rc5, rc6, sirc12, sirc15, sirc20 "
                                        "or nec"));
    const Protocol *protocol = nullptr;
    for (const Protocol &p : Protocols) {
        if (positional.constFirst() == QLatin1String(p.name))
            protocol = &p;
    }
    if (!protocol)
        return line.fail(QStringLiteral("unknown protocol \"%1\": use rc5, rc6, sirc12, sirc15, "
                                        "sirc20 or nec")
                             .arg(positional.constFirst()));
    if (!line.isSet(deviceOption) || !line.isSet(functionOption))
        return line.fail(QStringLiteral("give both --device and --function"));
    QString error;
    int device = 0;
    int function = 0;
    int toggle = 0;
    if (!line.intValue(deviceOption, 0, protocol->maxDevice, &device, &error)
        || !line.intValue(functionOption, 0, protocol->maxFunction, &function, &error)
        || !line.intValue(toggleOption, 0, 1, &toggle, &error))
        return line.fail(error);
    if (line.isSet(toggleOption) && !protocol->toggle)
        return line.fail(QStringLiteral("--toggle applies to rc5 and rc6 only"));

    IRCode code;
    const QString name = QLatin1String(protocol->name);
    if (name == QLatin1String("rc5"))
        IRCode::generateRC5(&code, toggle, quint8(device), quint8(function));
    else if (name == QLatin1String("rc6"))
        IRCode::generateRC6(&code, toggle, quint8(device), quint8(function));
    else if (name == QLatin1String("nec"))
        IRCode::generateNEC(&code, device, function);
    else
        IRCode::generateSIRC(&code, protocol->bits, device, function);
    Console::out(code.toCCF());
    return ExitCode::Ok;
}
