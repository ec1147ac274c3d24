// A Pronto code as a user may paste it into the CCF field (UTF-8), and the
// same bytes read as big-endian words. Every input gets an answer; a
// recognised code's parameters, given to the generator, make a code that
// reads back to the same parameters.
#include <QString>

#include <algorithm>

#include "fuzzsupport.h"
#include "ircode.h"
#include "irdecoder.h"

namespace {

using Protocol = IRDecoder::Protocol;

// Builds the code a recognised result describes; false for what the
// generator cannot make (RC5 functions above 63, NEC repeat frames).
bool regenerate(const IRDecoder::Result &r, IRCode &code)
{
    switch (r.protocol) {
    case Protocol::RC5:
        return r.function < 64
               && IRCode::generateRC5(&code, r.toggle == 1, quint8(r.device), quint8(r.function));
    case Protocol::RC6:
        return IRCode::generateRC6(&code, r.toggle == 1, quint8(r.device), quint8(r.function));
    case Protocol::SIRC:
        return IRCode::generateSIRC(&code, r.bits,
                                    r.bits == 20 ? r.device | r.extended << 5 : r.device,
                                    r.function);
    case Protocol::NEC:
        return !r.repeat
               && IRCode::generateNEC(&code,
                                      r.extended >= 0 ? r.device | r.extended << 8 : r.device,
                                      r.function);
    case Protocol::None:
        break;
    }
    return false;
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
    FUZZ_CHECK(r.device <= 255 && r.function <= 255 && r.extended <= 255 && r.toggle <= 1,
               "parameters in range");
    FUZZ_CHECK(r.repeat || (r.device >= 0 && r.function >= 0), "a whole frame has its parameters");
    IRCode code;
    if (!regenerate(r, code))
        return;
    const IRDecoder::Result again = IRDecoder::decode(code.toCCF());
    FUZZ_CHECK(again.status == IRDecoder::Status::Recognised && again.text() == r.text(),
               "the generated code reads back to the same parameters");
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
