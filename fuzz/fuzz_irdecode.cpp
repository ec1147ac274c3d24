// A Pronto code as a user may paste it into the CCF field (UTF-8), and the
// same bytes read as big-endian words. Every input gets an answer; a
// recognised code's parameters are within the ranges IRProtocols builds,
// and the code built from them (with the toggle read) reads back to the
// same text: protocol name and parameters.
#include <QString>

#include <algorithm>

#include "fuzzsupport.h"
#include "ircode.h"
#include "irdecoder.h"
#include "irprotocols.h"

namespace {

using Protocol = IRDecoder::Protocol;

// Builds the code a recognised result describes; false only for NEC
// repeat frames, which name no parameters. RC5 and RC6 keep their toggle,
// which IRProtocols leaves at 0.
bool regenerate(const IRDecoder::Result &r, QString *ccf)
{
    IRProtocols::Params params;
    if (!IRProtocols::fromResult(r, &params))
        return false;
    IRCode code;
    if (r.protocol == Protocol::RC5) {
        IRCode::generateRC5Extended(&code, r.toggle == 1, r.device, r.function);
        *ccf = code.toCCF();
        return true;
    }
    if (r.protocol == Protocol::RC6) {
        IRCode::generateRC6(&code, r.toggle == 1, quint8(r.device), quint8(r.function));
        *ccf = code.toCCF();
        return true;
    }
    QString error;
    FUZZ_CHECK(IRProtocols::render(params, ccf, &error), "the parameters read are in range");
    return error.isEmpty();
}

void check(const IRDecoder::Result &r)
{
    const bool recognised = r.status == IRDecoder::Status::Recognised;
    FUZZ_CHECK(!r.text().isEmpty(), "every answer has a line to show");
    FUZZ_CHECK(recognised == (r.protocol != Protocol::None), "a protocol exactly when recognised");
    FUZZ_CHECK(r.status != IRDecoder::Status::Malformed || !r.reason.isEmpty(),
               "malformed says why");
    if (!recognised)
        return;
    const int functionMax = r.protocol == Protocol::Samsung32 ? 65535 : 255;
    FUZZ_CHECK(r.device <= 255 && r.function <= functionMax && r.extended <= 255 && r.toggle <= 1,
               "parameters in range");
    FUZZ_CHECK(r.repeat || (r.device >= 0 && r.function >= 0), "a whole frame has its parameters");
    QString ccf;
    if (!regenerate(r, &ccf))
        return;
    const IRDecoder::Result again = IRDecoder::decode(ccf);
    FUZZ_CHECK(again.status == IRDecoder::Status::Recognised && again.text() == r.text(),
               "the generated code reads back to the same parameters");
    IRProtocols::Params params;
    FUZZ_CHECK(r.toggle == 1 || IRProtocols::fromCcf(ccf, &params),
               "a built code gives its parameters back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    check(IRDecoder::decode(QString::fromUtf8(reinterpret_cast<const char *>(data), int(size))));

    quint16 words[2048];
    const int count = int(std::min(size / 2, sizeof words / sizeof *words));
    for (int i = 0; i < count; ++i)
        words[i] = quint16(data[2 * i] << 8 | data[2 * i + 1]);
    check(IRDecoder::decode(words, count));
    return 0;
}
