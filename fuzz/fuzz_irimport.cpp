// An IR code file of one import format, fixed for each fuzz target by
// KOV_FUZZ_IR_FORMAT (fuzz_ircsv, fuzz_irlirc, fuzz_irflipper, fuzz_irpronto).
// Every input gets an answer: a malformed file takes nothing and names its
// line; a read file's codes are each sendable, named, and every record the
// file holds is either taken or named as skipped. Format detection sees
// every input too and always names a format.
#include <QRegularExpression>
#include <QString>

#include "ccfparser.h"
#include "csvreader.h"
#include "fuzzsupport.h"
#include "irimport.h"
#include "irprotocols.h"

namespace {

// Records after the header of a CSV file; -1 when it does not read.
int csvRows(const QByteArray &bytes)
{
    QList<CsvReader::Record> records;
    QString error;
    if (!CsvReader::read(bytes, &records, &error))
        return -1;
    return int(records.size()) - 1;
}

// Lines of a Pronto list that are not blank or comments.
int prontoLines(const QByteArray &bytes)
{
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text = text.mid(1);
    int count = 0;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QString t = line.trimmed();
        if (!t.isEmpty() && !t.startsWith(QLatin1Char('#')))
            ++count;
    }
    return count;
}

int checkImport(IRImport::Format format, const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const QString fileName = QStringLiteral("codes.txt");
    FUZZ_CHECK(IRImport::detect(bytes, fileName) != IRImport::Format::Auto,
               "detection names a format");
    const IRImport::Result result = IRImport::read(bytes, format, fileName, QString());

    static const QRegularExpression lineError(QStringLiteral("^line [1-9][0-9]*: ."));
    static const QRegularExpression summary(
        QStringLiteral("^([1-9][0-9]*) codes? in protocol .*: not supported$"));
    if (!result.ok) {
        FUZZ_CHECK(lineError.match(result.error).hasMatch(), "a malformed file names the line");
        FUZZ_CHECK(result.codes.isEmpty() && result.skipped.isEmpty(),
                   "a malformed file takes nothing");
        return 0;
    }
    FUZZ_CHECK(result.error.isEmpty(), "a read file has no error");
    int taken = 0;
    for (int n : result.perProtocol)
        taken += n;
    FUZZ_CHECK(taken == result.codes.size(), "every code is counted under its protocol");
    for (const IRImport::Code &code : result.codes) {
        FUZZ_CHECK(!code.name.trimmed().isEmpty() && !code.equipment.trimmed().isEmpty(),
                   "every code has a name and an equipment");
        QString ccf = code.pronto;
        if (!code.protocol.isEmpty()) {
            IRProtocols::Params params{code.protocol, code.device, code.subdevice, code.function};
            QString error;
            FUZZ_CHECK(IRProtocols::render(params, &ccf, &error) && code.pronto.isEmpty(),
                       "a code kept as parameters renders");
        }
        quint16 words[Ccf::MaxWords];
        int count = 0;
        FUZZ_CHECK(Ccf::parse(ccf, words, count) == Ccf::Result::Ok,
                   "every code taken passes the CCF check");
    }
    int skippedRecords = 0;
    for (const QString &skip : result.skipped) {
        const QRegularExpressionMatch m = summary.match(skip);
        const bool isLine = lineError.match(skip).hasMatch();
        FUZZ_CHECK(m.hasMatch() || isLine, "a skip names its line or its protocol");
        skippedRecords += m.hasMatch() ? m.captured(1).toInt() : 1;
    }
    if (format == IRImport::Format::Csv)
        FUZZ_CHECK(csvRows(bytes) == result.codes.size() + skippedRecords,
                   "every CSV row is taken or skipped");
    if (format == IRImport::Format::Pronto)
        FUZZ_CHECK(prontoLines(bytes) == result.codes.size() + skippedRecords,
                   "every Pronto line is taken or skipped");
    return 0;
}

} // namespace

#ifdef KOV_FUZZ_REPLAY
// The regression test replays every format's corpus from one build.
extern "C" int replay_ircsv(const uint8_t *data, size_t size)
{
    return checkImport(IRImport::Format::Csv, data, size);
}
extern "C" int replay_irlirc(const uint8_t *data, size_t size)
{
    return checkImport(IRImport::Format::Lirc, data, size);
}
extern "C" int replay_irflipper(const uint8_t *data, size_t size)
{
    return checkImport(IRImport::Format::Flipper, data, size);
}
extern "C" int replay_irpronto(const uint8_t *data, size_t size)
{
    return checkImport(IRImport::Format::Pronto, data, size);
}
#else
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return checkImport(IRImport::Format::KOV_FUZZ_IR_FORMAT, data, size);
}
#endif
