// CCF text as a user may type or paste it into the "CCF" field (UTF-8).
// The verdict is held against the rules the check applies, in their order:
// token count (blank-separated, empty tokens kept) at most 300, at least
// 4, every token hexadecimal, then 4 + 2 x (word 2 + word 3) tokens.
#include <QString>
#include <QStringList>

#include "ccfparser.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    quint16 words[Ccf::MaxWords];
    int count = -1;
    const Ccf::Result result = Ccf::parse(text, words, count);

    const QStringList tokens = text.split(QLatin1Char(' '), Qt::KeepEmptyParts);
    Ccf::Result expected = Ccf::Result::Ok;
    if (tokens.size() > Ccf::MaxWords) {
        expected = Ccf::Result::TooMany;
    } else if (tokens.size() < 4) {
        expected = Ccf::Result::TooFew;
    } else {
        quint16 converted[Ccf::MaxWords];
        for (int i = 0; i < tokens.size() && expected == Ccf::Result::Ok; ++i) {
            bool ok = false;
            converted[i] = quint16(tokens[i].toInt(&ok, 16));
            if (!ok)
                expected = Ccf::Result::InvalidValue;
        }
        if (expected == Ccf::Result::Ok
            && 4 + 2 * (int(converted[2]) + int(converted[3])) != tokens.size())
            expected = Ccf::Result::InvalidString;
        if (expected == Ccf::Result::Ok)
            for (int i = 0; i < tokens.size(); ++i)
                FUZZ_CHECK(words[i] == converted[i], "each word holds its token's low 16 bits");
    }
    FUZZ_CHECK(result == expected, "the check gives the verdict of its rules");
    FUZZ_CHECK(result != Ccf::Result::NoOutput, "parse never answers NoOutput");
    if (result == Ccf::Result::Ok) {
        FUZZ_CHECK(count == tokens.size(), "count is the token count");
        FUZZ_CHECK(8 + 2 * count < 625, "every accepted code fits one IR datagram");
        FUZZ_CHECK(Ccf::warningTitle(result).isEmpty(), "no warning for a good code");
    } else {
        FUZZ_CHECK(!Ccf::warningTitle(result).isEmpty() && !Ccf::warningText(result).isEmpty(),
                   "every refusal has a warning");
    }
    return 0;
}
