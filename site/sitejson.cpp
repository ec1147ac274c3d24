#include "sitejson.h"

#include "site.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QtMath>

#include <cstdio>

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
    // Most texts need no escape: write them in one go.
    bool plain = true;
    for (const QChar c : value) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == '"' || u == '\\' || u == 0x7f || c.isSurrogate()) {
            plain = false;
            break;
        }
    }
    if (plain)
        return '"' + value.toUtf8() + '"';
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

// ISO 8601 in UTC ("2026-12-07T20:15:00Z", with milliseconds when there are
// any), written by hand: QDateTime::toString is the slowest part of a save.
QString isoTime(const QDateTime &time)
{
    const QDateTime utc = time.toUTC();
    const QDate date = utc.date();
    const QTime clock = utc.time();
    if (date.year() < 0 || date.year() > 9999)
        return utc.toString(Qt::ISODateWithMs);
    char buffer[32];
    if (clock.msec() == 0)
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", date.year(),
                      date.month(), date.day(), clock.hour(), clock.minute(), clock.second());
    else
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", date.year(),
                      date.month(), date.day(), clock.hour(), clock.minute(), clock.second(),
                      clock.msec());
    return QString::fromLatin1(buffer);
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
    QByteArray out;
    out.reserve(256 + 300 * site.devices.size() + 160 * site.irCodes.size());
    out += "{\n    " + member("format", text(QLatin1String(Site::FormatMarker)));
    out += ",\n    " + member("version", QByteArray::number(Site::FormatVersion));
    out += ",\n    " + member("name", text(site.name));
    if (!site.targetVersion.isEmpty())
        out += ",\n    " + member("targetVersion", text(site.targetVersion));
    out += ",\n    \"ranges\": [";
    for (int i = 0; i < site.ranges.size(); ++i)
        out += (i ? ", " : "") + text(site.ranges.at(i));
    out += "],\n    \"devices\": [";
    for (int i = 0; i < site.devices.size(); ++i) {
        const SiteDevice &device = site.devices.at(i);
        out += i ? ",\n        {\n            " : "\n        {\n            ";
        out += member("mac", text(device.mac));
        out += ",\n            " + member("name", text(device.name));
        out += ",\n            " + member("location", text(device.location));
        out += ",\n            " + member("notes", text(device.notes));
        if (device.lastSeen.isValid() || !device.lastAddress.isEmpty()
            || !device.lastVersion.isEmpty()) {
            out += ",\n            \"lastHeard\": {" + member("address", text(device.lastAddress));
            out += ", " + member("version", text(device.lastVersion));
            if (device.lastSeen.isValid())
                out += ", " + member("time", text(isoTime(device.lastSeen)));
            out += '}';
        }
        out += "\n        }";
    }
    out += site.devices.isEmpty() ? "]" : "\n    ]";
    out += ",\n    \"irCodes\": [";
    for (int i = 0; i < site.irCodes.size(); ++i) {
        const SiteIrCode &code = site.irCodes.at(i);
        out += i ? ",\n        {" : "\n        {";
        out += member("equipment", text(code.equipment));
        out += ", " + member("name", text(code.name));
        if (!code.protocol.isEmpty()) {
            out += ", " + member("protocol", text(code.protocol));
            if (code.device >= 0)
                out += ", " + member("device", QByteArray::number(code.device));
            if (code.subdevice >= 0)
                out += ", " + member("subdevice", QByteArray::number(code.subdevice));
            if (code.function >= 0)
                out += ", " + member("function", QByteArray::number(code.function));
        }
        if (!code.pronto.isEmpty())
            out += ", " + member("pronto", text(code.pronto));
        if (!code.ports.isEmpty()) {
            out += ", \"ports\": [";
            for (int p = 0; p < code.ports.size(); ++p)
                out += (p ? ", " : "") + QByteArray::number(code.ports.at(p));
            out += ']';
        }
        out += '}';
    }
    out += site.irCodes.isEmpty() ? "]" : "\n    ]";
    out += "\n}\n";
    return out;
}
