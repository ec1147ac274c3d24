#include "site.h"

#include "addressrange.h"

#include <QDateTime>
#include <QHostAddress>
#include <QRegularExpression>
#include <QSet>

namespace {

// Whether TEXT, trimmed and case folded as validate() does it, is FOLDED;
// the usual ASCII text is compared without building its folded copy, so
// that a lookup in a large site allocates nothing per entry.
bool foldsTo(const QString &text, const QString &folded)
{
    const QStringView trimmed = QStringView(text).trimmed();
    for (QChar c : trimmed) {
        if (c.unicode() >= 0x80)
            return trimmed.toString().toCaseFolded() == folded;
    }
    return trimmed.compare(folded, Qt::CaseInsensitive) == 0;
}

bool isHexPairs(const QString &text, QChar separator)
{
    const int step = separator.isNull() ? 2 : 3;
    if (text.size() != (separator.isNull() ? 12 : 17))
        return false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (i % step == 2) {
            if (c != separator)
                return false;
        } else if (!isxdigit(c.toLatin1())) {
            return false;
        }
    }
    return true;
}

// canonicalMac(text) == text, without building a string.
bool isCanonicalMac(const QString &text)
{
    if (text.size() != 17)
        return false;
    for (int i = 0; i < 17; ++i) {
        const char16_t c = text.at(i).unicode();
        const bool ok = i % 3 == 2 ? c == ':' : (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
        if (!ok)
            return false;
    }
    return true;
}

bool isIPv4(const QString &text)
{
    return QHostAddress(text).protocol() == QAbstractSocket::IPv4Protocol;
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

bool isProtocolName(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^[a-z][a-z0-9_]*$"));
    return pattern.match(text).hasMatch();
}

bool isProntoText(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*[0-9A-Fa-f]{4}(\\s+[0-9A-Fa-f]{4})*\\s*$"));
    return pattern.match(text).hasMatch();
}

// The first problem of one IR code, "" when it is sound.
QString codeProblem(const SiteIrCode &code)
{
    if (code.equipment.trimmed().isEmpty())
        return QStringLiteral("no equipment");
    if (code.name.trimmed().isEmpty())
        return QStringLiteral("no name");
    if (code.protocol.isEmpty()) {
        if (code.pronto.trimmed().isEmpty())
            return QStringLiteral("neither a protocol nor a Pronto text");
        if (!isProntoText(code.pronto))
            return QStringLiteral("the Pronto text is not four-digit hex words");
        if (code.device != -1 || code.subdevice != -1 || code.function != -1)
            return QStringLiteral("a Pronto code takes no device, subdevice or function");
    } else {
        if (!isProtocolName(code.protocol))
            return QStringLiteral("%1 is not a protocol name").arg(quoted(code.protocol));
        if (!code.pronto.isEmpty())
            return QStringLiteral("both a protocol and a Pronto text");
        if (code.device < 0)
            return QStringLiteral("no device number");
        if (code.function < 0)
            return QStringLiteral("no function number");
        if (code.subdevice < -1)
            return QStringLiteral("the subdevice number is negative");
    }
    QSet<int> ports;
    for (int port : code.ports) {
        if (port < 1 || port > 4)
            return QStringLiteral("port %1 is not 1 to 4").arg(port);
        if (ports.contains(port))
            return QStringLiteral("port %1 is listed twice").arg(port);
        ports.insert(port);
    }
    return QString();
}

} // namespace

QString Site::canonicalMac(const QString &text)
{
    const QString mac = text.trimmed();
    if (!isHexPairs(mac, QChar()) && !isHexPairs(mac, QLatin1Char(':'))
        && !isHexPairs(mac, QLatin1Char('-')))
        return QString();
    QString hex = mac;
    hex.remove(QLatin1Char(':')).remove(QLatin1Char('-'));
    hex = hex.toUpper();
    QString canonical;
    for (int i = 0; i < 12; i += 2) {
        if (i > 0)
            canonical += QLatin1Char(':');
        canonical += hex.mid(i, 2);
    }
    return canonical;
}

int Site::indexOfMac(const QString &mac) const
{
    const QString canonical = canonicalMac(mac);
    if (canonical.isEmpty())
        return -1;
    if (macIndexed > devices.size()) {
        macIndex.clear();
        macIndexed = 0;
    }
    for (; macIndexed < devices.size(); ++macIndexed) {
        if (!macIndex.contains(devices.at(macIndexed).mac))
            macIndex.insert(devices.at(macIndexed).mac, macIndexed);
    }
    const auto hit = macIndex.constFind(canonical);
    if (hit != macIndex.constEnd() && devices.at(*hit).mac == canonical)
        return *hit;
    // A miss, or a device changed in place: ask the list itself.
    for (int i = 0; i < devices.size(); ++i) {
        if (devices.at(i).mac == canonical) {
            macIndex.clear();
            macIndexed = 0;
            return i;
        }
    }
    return -1;
}

int Site::indexOfName(const QString &name) const
{
    // Folded as validate() folds, so that the names it lets through are told apart here.
    const QString wanted = name.trimmed().toCaseFolded();
    if (wanted.isEmpty())
        return -1;
    for (int i = 0; i < devices.size(); ++i) {
        if (foldsTo(devices.at(i).name, wanted))
            return i;
    }
    return -1;
}

int Site::find(const QString &macOrName) const
{
    const int byMac = indexOfMac(macOrName);
    return byMac >= 0 ? byMac : indexOfName(macOrName);
}

bool Site::setDeviceFields(const QString &mac, const QString &name, const QString &location,
                           const QString &notes, QString *error)
{
    const QString canonical = canonicalMac(mac);
    if (canonical.isEmpty()) {
        if (error)
            *error = QStringLiteral("%1 is not a MAC address").arg(quoted(mac));
        return false;
    }
    const QString newName = name.trimmed();
    if (!canonicalMac(newName).isEmpty()) {
        if (error)
            *error = QStringLiteral("the name %1 is a MAC address").arg(quoted(newName));
        return false;
    }
    const int other = indexOfName(newName);
    if (other >= 0 && devices.at(other).mac != canonical) {
        if (error)
            *error = QStringLiteral("the name %1 is used by %2")
                         .arg(quoted(devices.at(other).name), devices.at(other).mac);
        return false;
    }
    int index = indexOfMac(canonical);
    if (index < 0) {
        SiteDevice device;
        device.mac = canonical;
        devices.append(device);
        index = devices.size() - 1;
    }
    SiteDevice &device = devices[index];
    device.name = newName;
    device.location = location.trimmed();
    device.notes = notes;
    return true;
}

Site::Heard Site::recordHeard(const QString &mac, const QString &address, const QString &version,
                              const QDateTime &utc)
{
    const int index = indexOfMac(mac);
    if (index < 0)
        return Heard::NotInSite;
    SiteDevice &device = devices[index];
    const QDateTime time = utc.toUTC();
    Heard heard = Heard::Unchanged;
    if (!device.lastSeen.isValid() || device.lastAddress != (isIPv4(address) ? address : QString())
        || device.lastVersion != version)
        heard = Heard::Changed;
    else if (device.lastSeen != time)
        heard = Heard::TimeOnly;
    device.lastAddress = isIPv4(address) ? address : QString();
    device.lastVersion = version;
    device.lastSeen = time;
    return heard;
}

bool Site::isOutdated(const QString &version) const
{
    const QString target = targetVersion.trimmed();
    const QString heard = version.trimmed();
    if (target.isEmpty() || heard.isEmpty() || heard == QLatin1String("Unknown"))
        return false;
    return heard != target;
}

int Site::indexOfCode(const QString &equipmentName, const QString &codeName) const
{
    const QString equipment = equipmentName.trimmed().toCaseFolded();
    const QString name = codeName.trimmed().toCaseFolded();
    for (int i = 0; i < irCodes.size(); ++i) {
        const SiteIrCode &code = irCodes.at(i);
        if (foldsTo(code.name, name) && foldsTo(code.equipment, equipment))
            return i;
    }
    return -1;
}

bool Site::addIrCode(const SiteIrCode &code, QString *error)
{
    QString problem = codeProblem(code);
    if (problem.isEmpty() && indexOfCode(code.equipment, code.name) >= 0)
        problem = QStringLiteral("%1 already has a code named %2")
                      .arg(quoted(code.equipment), quoted(code.name));
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return false;
    }
    irCodes.append(code);
    return true;
}

QStringList Site::equipment() const
{
    QStringList names;
    QSet<QString> seen;
    for (const SiteIrCode &code : irCodes) {
        const QString key = code.equipment.trimmed().toCaseFolded();
        if (!seen.contains(key)) {
            seen.insert(key);
            names.append(code.equipment);
        }
    }
    return names;
}

QString Site::validate() const
{
    for (int i = 0; i < ranges.size(); ++i) {
        QString reason;
        if (!AddressRange::parse(ranges.at(i), &reason).isValid())
            return QStringLiteral("range %1: %2").arg(i + 1).arg(reason);
    }
    QSet<QString> macs;
    QSet<QString> names;
    for (int i = 0; i < devices.size(); ++i) {
        const SiteDevice &device = devices.at(i);
        const QString where = QStringLiteral("device %1: ").arg(i + 1);
        if (!isCanonicalMac(device.mac))
            return where + QStringLiteral("%1 is not a MAC address").arg(quoted(device.mac));
        if (macs.contains(device.mac))
            return where + QStringLiteral("MAC %1 is listed twice").arg(device.mac);
        macs.insert(device.mac);
        if (!device.lastAddress.isEmpty() && !isIPv4(device.lastAddress))
            return where
                   + QStringLiteral("last heard address %1 is not an IPv4 address")
                         .arg(quoted(device.lastAddress));
        const QString name = device.name.trimmed().toCaseFolded();
        if (name.isEmpty())
            continue;
        if (!canonicalMac(device.name).isEmpty())
            return where + QStringLiteral("the name %1 is a MAC address").arg(quoted(device.name));
        if (names.contains(name))
            return where + QStringLiteral("the name %1 is used twice").arg(quoted(device.name));
        names.insert(name);
    }
    QSet<QString> codes;
    for (int i = 0; i < irCodes.size(); ++i) {
        const SiteIrCode &code = irCodes.at(i);
        const QString where = QStringLiteral("IR code %1: ").arg(i + 1);
        const QString problem = codeProblem(code);
        if (!problem.isEmpty())
            return where + problem;
        const QString key = code.equipment.trimmed().toCaseFolded() + QLatin1Char('\n')
                            + code.name.trimmed().toCaseFolded();
        if (codes.contains(key))
            return where
                   + QStringLiteral("the name %1 is used twice for %2")
                         .arg(quoted(code.name), quoted(code.equipment));
        codes.insert(key);
    }
    return QString();
}
