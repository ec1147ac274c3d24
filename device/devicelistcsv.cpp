#include "devicelistcsv.h"

#include <QSaveFile>

namespace {

QByteArray field(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\r')
        || bytes.contains('\n')) {
        bytes.replace('"', "\"\"");
        bytes = '"' + bytes + '"';
    }
    return bytes;
}

void appendLine(QByteArray &csv, const QStringList &fields)
{
    for (int i = 0; i < fields.size(); ++i) {
        if (i > 0)
            csv += ',';
        csv += field(fields.at(i));
    }
    csv += "\r\n";
}

} // namespace

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
