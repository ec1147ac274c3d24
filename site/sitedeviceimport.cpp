#include "sitedeviceimport.h"

#include "csvreader.h"
#include "site.h"

#include <QHash>

namespace {

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString fieldChange(const char *field, const QString &from, const QString &to)
{
    return QStringLiteral("%1 %2 -> %3").arg(QLatin1String(field), quoted(from), quoted(to));
}

} // namespace

QString SiteDeviceImport::Change::text() const
{
    if (added) {
        QString name;
        const QString prefix = QStringLiteral("name \"\" -> ");
        for (const QString &field : fields) {
            if (field.startsWith(prefix))
                name = QLatin1Char(' ') + field.mid(prefix.size());
        }
        return QStringLiteral("line %1: add %2%3").arg(line).arg(mac, name);
    }
    return QStringLiteral("line %1: change %2: %3")
        .arg(line)
        .arg(mac, fields.join(QStringLiteral(", ")));
}

bool SiteDeviceImport::plan(const Site &site, const QByteArray &csv, Site *result,
                            QList<Change> *changes, QString *error)
{
    auto fail = [error](int line, const QString &reason) {
        if (error)
            *error = QStringLiteral("line %1: %2").arg(line).arg(reason);
        return false;
    };
    QList<CsvReader::Record> records;
    QString csvError;
    if (!CsvReader::read(csv, &records, &csvError)) {
        if (error)
            *error = csvError;
        return false;
    }
    if (records.isEmpty())
        return fail(1,
                    QStringLiteral("no header naming the columns (mac, name, location, notes)"));

    const CsvReader::Record &header = records.first();
    const QStringList known = {QStringLiteral("mac"), QStringLiteral("name"),
                               QStringLiteral("location"), QStringLiteral("notes")};
    QHash<QString, int> column;
    for (int i = 0; i < header.fields.size(); ++i) {
        const QString name = header.fields.at(i).trimmed().toLower();
        if (!known.contains(name))
            return fail(header.line,
                        QStringLiteral("unknown column %1 (columns: mac, name, location, notes)")
                            .arg(quoted(header.fields.at(i).trimmed())));
        if (column.contains(name))
            return fail(header.line, QStringLiteral("the column %1 is named twice").arg(name));
        column.insert(name, i);
    }
    if (!column.contains(QStringLiteral("mac")))
        return fail(header.line, QStringLiteral("no mac column"));

    Site planned = site;
    QList<Change> planChanges;
    QHash<QString, int> lineOfMac;
    QHash<int, int> lineOfDevice; // planned device index -> CSV line that set it
    for (int r = 1; r < records.size(); ++r) {
        const CsvReader::Record &record = records.at(r);
        if (record.fields.size() > header.fields.size())
            return fail(record.line, QStringLiteral("%1 fields, the header names %2")
                                         .arg(record.fields.size())
                                         .arg(header.fields.size()));
        auto cell = [&](const QString &name) -> QString {
            const int i = column.value(name, -1);
            return i >= 0 && i < record.fields.size() ? record.fields.at(i).trimmed() : QString();
        };
        const QString macText = cell(QStringLiteral("mac"));
        if (macText.isEmpty())
            return fail(record.line, QStringLiteral("no MAC address"));
        const QString mac = Site::canonicalMac(macText);
        if (mac.isEmpty())
            return fail(record.line,
                        QStringLiteral("%1 is not a MAC address").arg(quoted(macText)));
        if (lineOfMac.contains(mac))
            return fail(
                record.line,
                QStringLiteral("MAC %1 is also on line %2").arg(mac).arg(lineOfMac.value(mac)));
        lineOfMac.insert(mac, record.line);

        int index = planned.indexOfMac(mac);
        Change change;
        change.line = record.line;
        change.mac = mac;
        change.added = index < 0;
        if (index < 0) {
            SiteDevice device;
            device.mac = mac;
            planned.devices.append(device);
            index = planned.devices.size() - 1;
        }
        lineOfDevice.insert(index, record.line);
        SiteDevice &device = planned.devices[index];
        auto take = [&](const char *name, QString *field) {
            const QString key = QLatin1String(name);
            if (!column.contains(key))
                return;
            const QString value = cell(key);
            if (value == *field)
                return;
            change.fields.append(fieldChange(name, *field, value));
            *field = value;
        };
        take("name", &device.name);
        take("location", &device.location);
        take("notes", &device.notes);
        if (!Site::canonicalMac(device.name).isEmpty())
            return fail(record.line,
                        QStringLiteral("the name %1 is a MAC address").arg(quoted(device.name)));
        if (change.added || !change.fields.isEmpty())
            planChanges.append(change);
    }

    // Names are checked on the outcome, so that a file may swap two names.
    QHash<QString, int> byName;
    for (int i = 0; i < planned.devices.size(); ++i) {
        const SiteDevice &device = planned.devices.at(i);
        const QString key = device.name.toCaseFolded();
        if (key.isEmpty())
            continue;
        const auto other = byName.constFind(key);
        if (other == byName.constEnd()) {
            byName.insert(key, i);
            continue;
        }
        // Name the CSV line at fault; where both rows come from the file, the later one.
        const int lineHere = lineOfDevice.value(i, 0);
        const int lineThere = lineOfDevice.value(*other, 0);
        const SiteDevice &first = planned.devices.at(*other);
        if (lineThere == 0)
            return fail(lineHere, QStringLiteral("the name %1 is used by %2 in the site")
                                      .arg(quoted(device.name), first.mac));
        if (lineHere == 0)
            return fail(lineThere, QStringLiteral("the name %1 is used by %2 in the site")
                                       .arg(quoted(first.name), device.mac));
        return fail(qMax(lineHere, lineThere), QStringLiteral("the name %1 is also on line %2")
                                                   .arg(quoted(device.name))
                                                   .arg(qMin(lineHere, lineThere)));
    }

    if (result)
        *result = planned;
    if (changes)
        *changes = planChanges;
    return true;
}
