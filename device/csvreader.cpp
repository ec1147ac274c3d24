#include "csvreader.h"

bool CsvReader::read(const QByteArray &csv, QList<Record> *records, QString *error)
{
    records->clear();
    const QString text = QString::fromUtf8(csv.startsWith("\xEF\xBB\xBF") ? csv.mid(3) : csv);
    const int size = text.size();
    int line = 1;
    int i = 0;
    while (i < size) {
        Record record;
        record.line = line;
        QString field;
        bool blank = true; // nothing but a line end so far
        bool ended = false;
        while (!ended) {
            if (i < size && text.at(i) == QLatin1Char('"') && field.isEmpty()) {
                const int opened = line;
                blank = false;
                ++i;
                for (;;) {
                    if (i >= size) {
                        *error = QStringLiteral("line %1: a quoted field is never closed")
                                     .arg(opened);
                        records->clear();
                        return false;
                    }
                    const QChar c = text.at(i++);
                    if (c == QLatin1Char('"')) {
                        if (i < size && text.at(i) == QLatin1Char('"')) {
                            field += c;
                            ++i;
                            continue;
                        }
                        break;
                    }
                    if (c == QLatin1Char('\n')
                        || (c == QLatin1Char('\r')
                            && (i >= size || text.at(i) != QLatin1Char('\n'))))
                        ++line;
                    field += c;
                }
                if (i < size && text.at(i) != QLatin1Char(',') && text.at(i) != QLatin1Char('\r')
                    && text.at(i) != QLatin1Char('\n')) {
                    *error = QStringLiteral("line %1: text after a closing quote").arg(line);
                    records->clear();
                    return false;
                }
            }
            while (i < size && text.at(i) != QLatin1Char(',') && text.at(i) != QLatin1Char('\r')
                   && text.at(i) != QLatin1Char('\n')) {
                field += text.at(i++);
                blank = false;
            }
            record.fields.append(field);
            field.clear();
            if (i < size && text.at(i) == QLatin1Char(',')) {
                blank = false;
                ++i;
                continue;
            }
            // A line end or the end of the text closes the record.
            if (i < size && text.at(i) == QLatin1Char('\r'))
                ++i;
            if (i < size && text.at(i) == QLatin1Char('\n'))
                ++i;
            ++line;
            ended = true;
        }
        if (!blank)
            records->append(record);
    }
    return true;
}
