#include "sitejson.h"

#include "site.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QtMath>

namespace {

// "line L, column C" of a byte offset into UTF-8 text; columns count characters.
QString position(const QByteArray &bytes, int offset)
{
    offset = qBound(0, offset, int(bytes.size()));
    int line = 1;
    int lineStart = 0;
    for (int i = 0; i < offset; ++i) {
        if (bytes.at(i) == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    const int column = QString::fromUtf8(bytes.mid(lineStart, offset - lineStart)).size() + 1;
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

bool isInteger(const QJsonValue &value)
{
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    return qIsFinite(number) && std::floor(number) == number && number >= -2147483648.0
           && number <= 2147483647.0;
}

// Reads an optional text member; false with *error when it is there but not text.
bool readText(const QJsonObject &object, const char *key, QString *text, QString *error)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull()) {
        text->clear();
        return true;
    }
    if (!value.isString()) {
        *error = QStringLiteral("%1 is not text").arg(QLatin1String(key));
        return false;
    }
    *text = value.toString();
    return true;
}

// An optional non-negative number; -1 when absent.
bool readNumber(const QJsonObject &object, const char *key, int *number, QString *error)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull()) {
        *number = -1;
        return true;
    }
    if (!isInteger(value) || value.toDouble() < 0) {
        *error = QStringLiteral("%1 is not a whole number of 0 or more").arg(QLatin1String(key));
        return false;
    }
    *number = int(value.toDouble());
    return true;
}

bool readDevice(const QJsonValue &value, SiteDevice *device, QString *error)
{
    if (!value.isObject()) {
        *error = QStringLiteral("not an object");
        return false;
    }
    const QJsonObject object = value.toObject();
    const QJsonValue mac = object.value(QLatin1String("mac"));
    if (!mac.isString()) {
        *error = QStringLiteral("no MAC address");
        return false;
    }
    device->mac = Site::canonicalMac(mac.toString());
    if (device->mac.isEmpty()) {
        *error = QStringLiteral("\"%1\" is not a MAC address").arg(mac.toString());
        return false;
    }
    if (!readText(object, "name", &device->name, error)
        || !readText(object, "location", &device->location, error)
        || !readText(object, "notes", &device->notes, error))
        return false;
    const QJsonValue heardValue = object.value(QLatin1String("lastHeard"));
    if (heardValue.isUndefined() || heardValue.isNull())
        return true;
    if (!heardValue.isObject()) {
        *error = QStringLiteral("lastHeard is not an object");
        return false;
    }
    const QJsonObject heard = heardValue.toObject();
    QString time;
    if (!readText(heard, "address", &device->lastAddress, error)
        || !readText(heard, "version", &device->lastVersion, error)
        || !readText(heard, "time", &time, error))
        return false;
    if (!time.isEmpty()) {
        device->lastSeen = QDateTime::fromString(time, Qt::ISODateWithMs);
        if (!device->lastSeen.isValid()) {
            *error = QStringLiteral("last heard time \"%1\" is not an ISO 8601 time").arg(time);
            return false;
        }
        // A time written without a zone is taken as UTC, as this tool writes them.
        if (device->lastSeen.timeSpec() == Qt::LocalTime)
            device->lastSeen.setTimeSpec(Qt::UTC);
        device->lastSeen = device->lastSeen.toUTC();
    }
    return true;
}

bool readCode(const QJsonValue &value, SiteIrCode *code, QString *error)
{
    if (!value.isObject()) {
        *error = QStringLiteral("not an object");
        return false;
    }
    const QJsonObject object = value.toObject();
    if (!readText(object, "equipment", &code->equipment, error)
        || !readText(object, "name", &code->name, error)
        || !readText(object, "protocol", &code->protocol, error)
        || !readText(object, "pronto", &code->pronto, error)
        || !readNumber(object, "device", &code->device, error)
        || !readNumber(object, "subdevice", &code->subdevice, error)
        || !readNumber(object, "function", &code->function, error))
        return false;
    const QJsonValue ports = object.value(QLatin1String("ports"));
    if (ports.isUndefined() || ports.isNull())
        return true;
    if (!ports.isArray()) {
        *error = QStringLiteral("ports is not a list");
        return false;
    }
    for (const QJsonValue &port : ports.toArray()) {
        if (!isInteger(port)) {
            *error = QStringLiteral("ports holds something that is not a port number");
            return false;
        }
        code->ports.append(int(port.toDouble()));
    }
    return true;
}

QByteArray text(const QString &value)
{
    QString out = QStringLiteral("\"");
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        // A surrogate without its other half cannot be UTF-8: write it escaped,
        // as JSON allows, so that it reads back as it was.
        const bool paired = c.isHighSurrogate()
                                ? i + 1 < value.size() && value.at(i + 1).isLowSurrogate()
                                : c.isLowSurrogate() && i > 0 && value.at(i - 1).isHighSurrogate();
        switch (c.unicode()) {
        case '"':
            out += QLatin1String("\\\"");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7f || (c.isSurrogate() && !paired))
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += QLatin1Char('"');
    return out.toUtf8();
}

QString isoTime(const QDateTime &time)
{
    const QDateTime utc = time.toUTC();
    return utc.toString(utc.time().msec() == 0 ? Qt::ISODate : Qt::ISODateWithMs);
}

QByteArray member(const char *key, const QByteArray &value)
{
    return QByteArray("\"") + key + "\": " + value;
}

} // namespace

bool SiteJson::parse(const QByteArray &bytes, Site *site, QString *error)
{
    auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    QJsonParseError jsonError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &jsonError);
    if (jsonError.error != QJsonParseError::NoError)
        return fail(position(bytes, jsonError.offset) + QStringLiteral(": ")
                    + jsonError.errorString());
    const QJsonObject root = document.object();
    if (!document.isObject()
        || root.value(QLatin1String("format")).toString() != QLatin1String(Site::FormatMarker))
        return fail(QStringLiteral("not a KOV-1 site file"));
    const QJsonValue version = root.value(QLatin1String("version"));
    if (!isInteger(version) || version.toDouble() < 1)
        return fail(QStringLiteral("the site format version is missing or not a whole number"));
    if (version.toDouble() > Site::FormatVersion)
        return fail(QStringLiteral("site format version %1 is newer than this tool reads (%2)")
                        .arg(qint64(version.toDouble()))
                        .arg(Site::FormatVersion));

    Site read;
    QString reason;
    if (!readText(root, "name", &read.name, &reason)
        || !readText(root, "targetVersion", &read.targetVersion, &reason))
        return fail(reason);
    const QJsonValue ranges = root.value(QLatin1String("ranges"));
    if (!ranges.isUndefined() && !ranges.isNull()) {
        if (!ranges.isArray())
            return fail(QStringLiteral("ranges is not a list"));
        const QJsonArray list = ranges.toArray();
        for (int i = 0; i < list.size(); ++i) {
            if (!list.at(i).isString())
                return fail(QStringLiteral("range %1: not text").arg(i + 1));
            read.ranges.append(list.at(i).toString());
        }
    }
    const QJsonValue devices = root.value(QLatin1String("devices"));
    if (!devices.isUndefined() && !devices.isNull()) {
        if (!devices.isArray())
            return fail(QStringLiteral("devices is not a list"));
        const QJsonArray list = devices.toArray();
        for (int i = 0; i < list.size(); ++i) {
            SiteDevice device;
            if (!readDevice(list.at(i), &device, &reason))
                return fail(QStringLiteral("device %1: %2").arg(i + 1).arg(reason));
            read.devices.append(device);
        }
    }
    const QJsonValue codes = root.value(QLatin1String("irCodes"));
    if (!codes.isUndefined() && !codes.isNull()) {
        if (!codes.isArray())
            return fail(QStringLiteral("irCodes is not a list"));
        const QJsonArray list = codes.toArray();
        for (int i = 0; i < list.size(); ++i) {
            SiteIrCode code;
            if (!readCode(list.at(i), &code, &reason))
                return fail(QStringLiteral("IR code %1: %2").arg(i + 1).arg(reason));
            read.irCodes.append(code);
        }
    }
    const QString problem = read.validate();
    if (!problem.isEmpty())
        return fail(problem);
    *site = read;
    return true;
}

QByteArray SiteJson::serialise(const Site &site)
{
    QByteArray out = "{\n";
    QList<QByteArray> top;
    top << member("format", text(QLatin1String(Site::FormatMarker)))
        << member("version", QByteArray::number(Site::FormatVersion))
        << member("name", text(site.name));
    if (!site.targetVersion.isEmpty())
        top << member("targetVersion", text(site.targetVersion));
    QByteArrayList ranges;
    for (const QString &range : site.ranges)
        ranges << text(range);
    top << member("ranges", '[' + ranges.join(", ") + ']');

    QByteArrayList devices;
    for (const SiteDevice &device : site.devices) {
        QByteArrayList fields;
        fields << member("mac", text(device.mac)) << member("name", text(device.name))
               << member("location", text(device.location)) << member("notes", text(device.notes));
        if (device.lastSeen.isValid() || !device.lastAddress.isEmpty()
            || !device.lastVersion.isEmpty()) {
            QByteArrayList heard;
            heard << member("address", text(device.lastAddress))
                  << member("version", text(device.lastVersion));
            if (device.lastSeen.isValid())
                heard << member("time", text(isoTime(device.lastSeen)));
            fields << member("lastHeard", '{' + heard.join(", ") + '}');
        }
        devices << "        {\n            " + fields.join(",\n            ") + "\n        }";
    }
    top << member("devices",
                  devices.isEmpty() ? QByteArray("[]") : "[\n" + devices.join(",\n") + "\n    ]");

    QByteArrayList codes;
    for (const SiteIrCode &code : site.irCodes) {
        QByteArrayList fields;
        fields << member("equipment", text(code.equipment)) << member("name", text(code.name));
        if (!code.protocol.isEmpty()) {
            fields << member("protocol", text(code.protocol));
            if (code.device >= 0)
                fields << member("device", QByteArray::number(code.device));
            if (code.subdevice >= 0)
                fields << member("subdevice", QByteArray::number(code.subdevice));
            if (code.function >= 0)
                fields << member("function", QByteArray::number(code.function));
        }
        if (!code.pronto.isEmpty())
            fields << member("pronto", text(code.pronto));
        if (!code.ports.isEmpty()) {
            QByteArrayList ports;
            for (int port : code.ports)
                ports << QByteArray::number(port);
            fields << member("ports", '[' + ports.join(", ") + ']');
        }
        codes << "        {" + fields.join(", ") + '}';
    }
    top << member("irCodes",
                  codes.isEmpty() ? QByteArray("[]") : "[\n" + codes.join(",\n") + "\n    ]");
    out += "    " + top.join(",\n    ") + "\n}\n";
    return out;
}
