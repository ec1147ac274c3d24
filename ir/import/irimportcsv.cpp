#include "irimportcsv.h"

#include "csvreader.h"
#include "irimportsink.h"
#include "irprotocols.h"

namespace {

const char *const Header[] = {"functionname", "protocol", "device", "subdevice", "function"};

bool isHeader(const QStringList &fields)
{
    if (fields.size() != 5)
        return false;
    for (int i = 0; i < 5; ++i) {
        if (fields.at(i).trimmed().compare(QLatin1String(Header[i]), Qt::CaseInsensitive))
            return false;
    }
    return true;
}

} // namespace

QString IRImportCsv::protocolFor(const QString &spelling)
{
    const QString name = spelling.trimmed().toLower();
    static const struct
    {
        const char *spelling;
        const char *protocol;
    } aliases[] = {
        {"nec", "nec1"},
        {"sony12", "sirc12"},
        {"sony15", "sirc15"},
        {"sony20", "sirc20"},
        {"rc6-0-16", "rc6"},
        {"nec1-f16", "samsung32"},
        {"necx1-f16", "samsung32"},
    };
    for (const auto &alias : aliases) {
        if (name == QLatin1String(alias.spelling))
            return QLatin1String(alias.protocol);
    }
    // "nec" alone is the captured frame above; the tool's own NEC form is
    // not a database spelling.
    if (name != QLatin1String("nec") && IRProtocols::names().contains(name))
        return name;
    return QString();
}

bool IRImportCsv::looksLike(const QByteArray &bytes)
{
    QByteArray first = bytes.left(200);
    if (first.startsWith("\xEF\xBB\xBF"))
        first = first.mid(3);
    const int end = first.indexOf('\n');
    QList<CsvReader::Record> records;
    QString error;
    return CsvReader::read(end < 0 ? first : first.left(end), &records, &error)
           && !records.isEmpty() && isHeader(records.constFirst().fields);
}

bool IRImportCsv::read(const QByteArray &bytes, const QString &equipment, IRImportSink *sink)
{
    QList<CsvReader::Record> records;
    QString error;
    if (!CsvReader::read(bytes, &records, &error)) {
        // CsvReader words it "line N: reason".
        const int colon = error.indexOf(QLatin1Char(':'));
        return sink->fail(error.mid(5, colon - 5).toInt(), error.mid(colon + 2));
    }
    if (records.isEmpty())
        return sink->fail(1, QStringLiteral("no header (functionname,protocol,device,subdevice,"
                                            "function)"));
    if (!isHeader(records.constFirst().fields))
        return sink->fail(records.constFirst().line,
                          QStringLiteral("the header is not functionname,protocol,device,"
                                         "subdevice,function"));
    for (int r = 1; r < records.size(); ++r) {
        const CsvReader::Record &record = records.at(r);
        if (record.fields.size() != 5)
            return sink->fail(record.line, QStringLiteral("%1 fields where the header has 5")
                                               .arg(record.fields.size()));
        int numbers[3];
        for (int i = 0; i < 3; ++i) {
            bool ok = false;
            numbers[i] = record.fields.at(2 + i).trimmed().toInt(&ok, 10);
            if (!ok)
                return sink->fail(record.line,
                                  QStringLiteral("%1 \"%2\" is not a number")
                                      .arg(QLatin1String(Header[2 + i]), record.fields.at(2 + i)));
        }
        const QString spelling = record.fields.at(1).trimmed();
        const QString protocol = protocolFor(spelling);
        if (protocol.isEmpty()) {
            sink->unsupported(record.line, spelling.isEmpty() ? QStringLiteral("\"\"") : spelling);
            continue;
        }
        sink->addParams(record.line, equipment, record.fields.at(0), protocol, numbers[0],
                        numbers[1] < 0 ? -1 : numbers[1], numbers[2]);
    }
    return true;
}
