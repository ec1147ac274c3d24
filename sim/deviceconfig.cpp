#include "deviceconfig.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

namespace {

bool toBool(const QString &text, bool &ok)
{
    const QString t = text.trimmed().toLower();
    ok = true;
    if (t == QLatin1String("1") || t == QLatin1String("true") || t == QLatin1String("yes"))
        return true;
    if (t == QLatin1String("0") || t == QLatin1String("false") || t == QLatin1String("no"))
        return false;
    ok = false;
    return false;
}

// Sets one field from its text form; returns what is wrong, or empty.
QString setField(DeviceConfig &c, const QString &key, const QString &value)
{
    bool ok = true;
    auto number = [&](int &field) {
        field = value.toInt(&ok);
        if (ok && field < 0)
            ok = false;
    };
    if (key == QLatin1String("name")) {
        c.name = value;
    } else if (key == QLatin1String("mac")) {
        c.mac = value;
    } else if (key == QLatin1String("ip")) {
        const QStringList parts = value.split(QLatin1Char('/'));
        c.ip = QHostAddress(parts.first());
        ok = c.ip.protocol() == QAbstractSocket::IPv4Protocol;
        if (ok && parts.size() == 2) {
            c.prefixLength = parts.at(1).toInt(&ok);
            ok = ok && c.prefixLength >= 0 && c.prefixLength <= 32;
        }
    } else if (key == QLatin1String("version")) {
        c.version = value;
    } else if (key == QLatin1String("form")) {
        if (value == QLatin1String("4"))
            c.versionInReply = true;
        else if (value == QLatin1String("3"))
            c.versionInReply = false;
        else
            ok = false;
    } else if (key == QLatin1String("upgradeVersion")) {
        c.upgradeVersion = value;
    } else if (key == QLatin1String("log")) {
        c.logPath = value;
    } else if (key == QLatin1String("file")) {
        c.fileName = value;
    } else if (key == QLatin1String("tftpPort")) {
        const uint port = value.toUInt(&ok);
        ok = ok && port > 0 && port < 65536;
        c.tftpPort = quint16(port);
    } else if (key == QLatin1String("rebootMs")) {
        number(c.rebootMs);
    } else if (key == QLatin1String("tftpTimeoutMs")) {
        number(c.tftpTimeoutMs);
        ok = ok && c.tftpTimeoutMs > 0;
    } else if (key == QLatin1String("tftpRetries")) {
        number(c.tftpRetries);
    } else if (key == QLatin1String("replyDelayMs")) {
        number(c.replyDelayMs);
    } else if (key == QLatin1String("dropAckEvery")) {
        number(c.dropAckEvery);
    } else if (key == QLatin1String("dropFirstAcks")) {
        number(c.dropFirstAcks);
    } else if (key == QLatin1String("duplicateAcks")) {
        c.duplicateAcks = toBool(value, ok);
    } else if (key == QLatin1String("stopAfterBlock")) {
        number(c.stopAfterBlock);
    } else if (key == QLatin1String("malformedReplies")) {
        c.malformedReplies = toBool(value, ok);
    } else if (key == QLatin1String("floodReplies")) {
        number(c.floodReplies);
    } else if (key == QLatin1String("restartOld")) {
        c.restartOld = toBool(value, ok);
    } else if (key == QLatin1String("ipAfterUpgrade")) {
        c.ipAfterUpgrade = QHostAddress(value);
        ok = c.ipAfterUpgrade.protocol() == QAbstractSocket::IPv4Protocol;
    } else if (key == QLatin1String("silentAfterUpgrade")) {
        c.silentAfterUpgrade = toBool(value, ok);
    } else {
        return QStringLiteral("unknown key \"%1\"").arg(key);
    }
    if (!ok)
        return QStringLiteral("bad value \"%1\" for %2").arg(value, key);
    return QString();
}

QString finish(DeviceConfig &c)
{
    if (c.ip.isNull())
        return QStringLiteral("a device needs an ip");
    if (c.mac.isEmpty())
        return QStringLiteral("device %1 needs a mac").arg(c.ip.toString());
    if (c.name.isEmpty())
        c.name = c.ip.toString();
    return QString();
}

} // namespace

QString DeviceConfig::fromText(const QString &text, DeviceConfig &config)
{
    // MAC addresses hold no commas, so a plain split does.
    for (const QString &item : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const int eq = item.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return QStringLiteral("expected key=value, got \"%1\"").arg(item);
        const QString problem = setField(config, item.left(eq).trimmed(), item.mid(eq + 1));
        if (!problem.isEmpty())
            return problem;
    }
    return finish(config);
}

QString DeviceConfig::fromJson(const QJsonObject &object, DeviceConfig &config)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        QString text;
        const QJsonValue v = it.value();
        if (v.isString())
            text = v.toString();
        else if (v.isBool())
            text = v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        else if (v.isDouble())
            text = QString::number(v.toInteger());
        else
            return QStringLiteral("bad value for %1").arg(it.key());
        const QString problem = setField(config, it.key(), text);
        if (!problem.isEmpty())
            return problem;
    }
    return finish(config);
}
