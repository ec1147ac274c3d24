#include "irprotocols.h"

#include "ccfparser.h"
#include "ircode.h"
#include "irprotocoldefinition.h"

namespace {

// The generator dialog's protocols, with the ranges of their IRP forms.
struct Fixed
{
    const char *name;
    int deviceMax;
    int subdeviceMax;
    int functionMax;
};

constexpr Fixed FixedProtocols[] = {
    {"rc5", 31, -1, 127},     {"rc6", 255, -1, 255},    {"sirc12", 31, -1, 127},
    {"sirc15", 255, -1, 127}, {"sirc20", 31, 255, 127}, {"nec", 255, 255, 255},
};

const Fixed *fixed(const QString &name)
{
    for (const Fixed &f : FixedProtocols) {
        if (name == QLatin1String(f.name))
            return &f;
    }
    return nullptr;
}

// The NEC family's subdevice defaults to the device's complement.
bool complementDefault(const QString &name)
{
    if (name == QLatin1String("nec"))
        return true;
    const IRProtocolDefinition *definition = IRProtocolDefinition::find(name);
    return definition && definition->subdeviceComplement;
}

bool sameWords(const QString &a, const QString &b)
{
    quint16 wordsA[Ccf::MaxWords], wordsB[Ccf::MaxWords];
    int countA = 0, countB = 0;
    if (Ccf::parse(a, wordsA, countA) != Ccf::Result::Ok
        || Ccf::parse(b, wordsB, countB) != Ccf::Result::Ok || countA != countB)
        return false;
    return std::equal(wordsA, wordsA + countA, wordsB);
}

} // namespace

QStringList IRProtocols::names()
{
    QStringList list;
    for (const Fixed &f : FixedProtocols)
        list << QLatin1String(f.name);
    for (const IRProtocolDefinition &definition : IRProtocolDefinition::all())
        list << QLatin1String(definition.name);
    return list;
}

bool IRProtocols::ranges(const QString &protocol, int *deviceMax, int *subdeviceMax,
                         int *functionMax)
{
    if (const Fixed *f = fixed(protocol)) {
        *deviceMax = f->deviceMax;
        *subdeviceMax = f->subdeviceMax;
        *functionMax = f->functionMax;
        return true;
    }
    const IRProtocolDefinition *definition = IRProtocolDefinition::find(protocol);
    if (!definition)
        return false;
    *deviceMax = definition->deviceMax;
    *subdeviceMax = definition->subdeviceMax;
    *functionMax = definition->functionMax;
    return true;
}

bool IRProtocols::hasSubdevice(const QString &protocol)
{
    int deviceMax = 0, subdeviceMax = -1, functionMax = 0;
    return ranges(protocol, &deviceMax, &subdeviceMax, &functionMax) && subdeviceMax >= 0;
}

bool IRProtocols::render(const Params &params, QString *ccf, QString *error)
{
    const QString &name = params.protocol;
    int deviceMax = 0, subdeviceMax = -1, functionMax = 0;
    if (!ranges(name, &deviceMax, &subdeviceMax, &functionMax)) {
        *error = QStringLiteral("unknown protocol \"%1\"").arg(name);
        return false;
    }
    const auto outside = [](int value, int max) { return value < 0 || value > max; };
    if (outside(params.device, deviceMax)) {
        *error = QStringLiteral("device must be 0 to %1").arg(deviceMax);
        return false;
    }
    int subdevice = params.subdevice;
    if (subdeviceMax < 0 && subdevice != -1) {
        *error = QStringLiteral("%1 has no subdevice").arg(name);
        return false;
    }
    if (subdeviceMax >= 0 && subdevice == -1 && complementDefault(name))
        subdevice = 255 - params.device;
    if (subdeviceMax >= 0 && outside(subdevice, subdeviceMax)) {
        *error = QStringLiteral("subdevice must be 0 to %1").arg(subdeviceMax);
        return false;
    }
    if (outside(params.function, functionMax)) {
        *error = QStringLiteral("function must be 0 to %1").arg(functionMax);
        return false;
    }

    IRCode code;
    if (name == QLatin1String("rc5"))
        IRCode::generateRC5Extended(&code, false, params.device, params.function);
    else if (name == QLatin1String("rc6"))
        IRCode::generateRC6(&code, false, quint8(params.device), quint8(params.function));
    else if (name == QLatin1String("sirc20"))
        IRCode::generateSIRC(&code, 20, params.device | subdevice << 5, params.function);
    else if (name.startsWith(QLatin1String("sirc")))
        IRCode::generateSIRC(&code, name.mid(4).toInt(), params.device, params.function);
    else if (name == QLatin1String("nec"))
        IRCode::generateNEC(&code, params.device, subdevice, params.function);
    else
        IRCode::generate(&code, *IRProtocolDefinition::find(name), params.device, subdevice,
                         params.function);
    *ccf = code.toCCF();
    return true;
}

bool IRProtocols::fromResult(const IRDecoder::Result &result, Params *params)
{
    using P = IRDecoder::Protocol;
    if (result.status != IRDecoder::Status::Recognised || result.repeat)
        return false;
    Params p;
    p.device = result.device;
    p.function = result.function;
    switch (result.protocol) {
    case P::None:
        return false;
    case P::RC5:
        p.protocol = QStringLiteral("rc5");
        break;
    case P::RC6:
        p.protocol = QStringLiteral("rc6");
        break;
    case P::SIRC:
        p.protocol = QStringLiteral("sirc%1").arg(result.bits);
        if (result.bits == 20)
            p.subdevice = result.extended;
        break;
    case P::NEC:
        p.protocol = QStringLiteral("nec");
        p.subdevice = result.extended;
        break;
    default: {
        const int index = int(result.protocol) - int(P::NEC1);
        const QList<IRProtocolDefinition> &all = IRProtocolDefinition::all();
        if (index < 0 || index >= all.size())
            return false;
        p.protocol = QLatin1String(all.at(index).name);
        p.subdevice = result.extended;
        break;
    }
    }
    *params = p;
    return true;
}

bool IRProtocols::fromCcf(const QString &ccf, Params *params)
{
    Params p;
    QString rendered, error;
    if (!fromResult(IRDecoder::decode(ccf), &p) || !render(p, &rendered, &error)
        || !sameWords(rendered, ccf))
        return false;
    *params = p;
    return true;
}
