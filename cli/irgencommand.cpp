#include "commands.h"

#include "commandline.h"
#include "console.h"
#include "exitcode.h"
#include "ircode.h"
#include "irprotocols.h"

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

// The protocols beside the dialog's, built through IRProtocols with the
// ranges of their IRP definitions.
int genTableProtocol(const CommandLine &line, const QString &name,
                     const QCommandLineOption &deviceOption,
                     const QCommandLineOption &subdeviceOption,
                     const QCommandLineOption &functionOption)
{
    int deviceMax = 0, subdeviceMax = -1, functionMax = 0;
    IRProtocols::ranges(name, &deviceMax, &subdeviceMax, &functionMax);
    if (subdeviceMax < 0 && line.isSet(subdeviceOption))
        return line.fail(QStringLiteral("%1 has no subdevice").arg(name));
    IRProtocols::Params params;
    params.protocol = name;
    QString error;
    if (!line.intValue(deviceOption, 0, deviceMax, &params.device, &error)
        || (line.isSet(subdeviceOption)
            && !line.intValue(subdeviceOption, 0, subdeviceMax, &params.subdevice, &error))
        || !line.intValue(functionOption, 0, functionMax, &params.function, &error))
        return line.fail(error);
    QString ccf;
    if (!IRProtocols::render(params, &ccf, &error))
        return line.fail(error);
    Console::out(ccf);
    return ExitCode::Ok;
}

int irGenCommand(const QStringList &arguments)
{
    CommandLine line(
        QStringLiteral("ir gen"),
        QStringLiteral("ir gen PROTOCOL --device D [--subdevice S] --function F [--toggle 0|1]"),
        QStringLiteral(
            "Prints the Pronto CCF code of one remote-control command.\n"
            "rc5, rc6, sirc12, sirc15, sirc20 and nec are made as the IR code generator\n"
            "dialog makes them. Ranges of D and F: rc5 0-31 and 0-63; rc6 and nec 0-255\n"
            "and 0-255; sirc12, sirc15 and sirc20 0-8191 and 0-127 (SIRC sends only the\n"
            "address bits its width has room for). --toggle is for rc5 and rc6.\n"
            "nec1, nec2, necx1, necx2, samsung32, jvc, panasonic, sharp, denon and rca\n"
            "are built from their public IRP definitions. Ranges of D, S and F: nec1,\n"
            "nec2, necx1 and necx2 0-255, 0-255 (default 255 - D) and 0-255; samsung32\n"
            "the same with F 0-65535 (16 bits, low byte first); jvc 0-255 and 0-255;\n"
            "panasonic 0-255, 0-255 (required) and 0-255; sharp and denon 0-31 and\n"
            "0-255; rca 0-15 and 0-255."));
    const QCommandLineOption deviceOption(QStringLiteral("device"),
                                          QStringLiteral("Device (address) number."),
                                          QStringLiteral("D"));
    const QCommandLineOption functionOption(QStringLiteral("function"),
                                            QStringLiteral("Function (command) number."),
                                            QStringLiteral("F"));
    const QCommandLineOption toggleOption(QStringLiteral("toggle"),
                                          QStringLiteral("Toggle bit, 0 or 1 (default 0)."),
                                          QStringLiteral("0|1"), QStringLiteral("0"));
    const QCommandLineOption subdeviceOption(
        QStringLiteral("subdevice"),
        QStringLiteral("Subdevice (second address) number, where the protocol has one."),
        QStringLiteral("S"));
    line.addOption(deviceOption);
    line.addOption(subdeviceOption);
    line.addOption(functionOption);
    line.addOption(toggleOption);
    int status = ExitCode::Ok;
    if (!line.parse(arguments, &status))
        return status;

    const QStringList positional = line.positionalArguments();
    if (positional.size() != 1)
        return line.fail(QStringLiteral("name one protocol: %1")
                             .arg(IRProtocols::names().join(QLatin1String(", "))));
    const Protocol *protocol = nullptr;
    for (const Protocol &p : Protocols) {
        if (positional.constFirst() == QLatin1String(p.name))
            protocol = &p;
    }
    const bool table = !protocol && IRProtocols::names().contains(positional.constFirst());
    if (!protocol && !table)
        return line.fail(
            QStringLiteral("unknown protocol \"%1\": use %2")
                .arg(positional.constFirst(), IRProtocols::names().join(QLatin1String(", "))));
    if (!line.isSet(deviceOption) || !line.isSet(functionOption))
        return line.fail(QStringLiteral("give both --device and --function"));
    if (table && line.isSet(toggleOption))
        return line.fail(QStringLiteral("--toggle applies to rc5 and rc6 only"));
    if (table)
        return genTableProtocol(line, positional.constFirst(), deviceOption, subdeviceOption,
                                functionOption);
    if (line.isSet(subdeviceOption))
        return line.fail(QStringLiteral("--subdevice applies to nec1, nec2, necx1, necx2, "
                                        "samsung32 and panasonic"));
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
