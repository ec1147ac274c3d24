#include "commands.h"

#include "commandline.h"
#include "console.h"
#include "exitcode.h"
#include "irdecoder.h"

int irDecodeCommand(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("ir decode"), QStringLiteral("ir decode (CCF | -)"),
                     QStringLiteral(
                         "Reads a Pronto learned code (the argument, quoted, or - for standard "
                         "input) back\ninto the protocol and parameters that make it, e.g. "
                         "\"NEC: device 4, function 8\".\nA code that is not recognised prints "
                         "the reason and exits with status 1; text\nthat \"Send IR\" would "
                         "refuse exits with status 2."));
    int status = ExitCode::Ok;
    if (!line.parse(arguments, &status))
        return status;
    if (line.positionalArguments().size() != 1)
        return line.fail(QStringLiteral("give one CCF code (quoted), or - to read it from "
                                        "standard input"));

    const IRDecoder::Result result = IRDecoder::decode(
        Console::argumentOrInput(line.positionalArguments().constFirst()));
    switch (result.status) {
    case IRDecoder::Status::Recognised:
        Console::out(result.text());
        return ExitCode::Ok;
    case IRDecoder::Status::NotRecognised:
        Console::out(result.text());
        return ExitCode::Failed;
    case IRDecoder::Status::Malformed:
        break;
    }
    return line.fail(result.text());
}
