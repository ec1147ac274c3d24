#include "devicelistcsv.h"

#include <QSaveFile>

namespace {

void appendLine(QByteArray &csv, const QStringList &fields)
{
    for (int i = 0; i < fields.size(); ++i) {
        if (i > 0)
            csv += ',';
        csv += DeviceListCsv::field(fields.at(i)).toUtf8();
    }
    csv += "\r\n";
}

} // namespace

QString DeviceListCsv::field(const QString &text)
{
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    QString out = text;
    if (!out.isEmpty() && formulaStarts.contains(out.at(0)))
        out.prepend(QLatin1Char('\''));
    if (out.contains(QLatin1Char(',')) || out.contains(QLatin1Char('"'))
        || out.contains(QLatin1Char('\r')) || out.contains(QLatin1Char('\n'))) {
        out.replace(QLatin1Char('"'), QLatin1String("\"\""));
        out = QLatin1Char('"') + out + QLatin1Char('"');
    }
    return out;
}

QByteArray DeviceListCsv::format(const QList<QStringList> &rows, bool siteColumns)
{
    QByteArray csv;
    QStringList header{QStringLiteral("MAC"), QStringLiteral("IP"), QStringLiteral("Version"),
                       QStringLiteral("State"), QStringLiteral("Last seen")};
    if (siteColumns)
        header << QStringLiteral("Name") << QStringLiteral("Location") << QStringLiteral("Notes");
    appendLine(csv, header);
    for (const QStringList &row : rows)
        appendLine(csv, row);
    return csv;
}

bool DeviceListCsv::save(const QString &path, const QList<QStringList> &rows, QString *error,
                         bool siteColumns)
{
    QSaveFile file(path);
    const QByteArray csv = format(rows, siteColumns);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

QByteArray DeviceListCsv::record(const QStringList &fields)
{
    QByteArray csv;
    appendLine(csv, fields);
    return csv;
}
