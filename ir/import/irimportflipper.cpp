#include "irimportflipper.h"

#include <QList>
#include <QRegularExpression>
#include <QStringList>

#include "irimportsink.h"

namespace {

struct Signal
{
    int line = 0;
    QString name, type, protocol, address, command, frequency, data;
    int dataLine = 0;
};

// "07 00 00 00" -> 7; false unless 1 to 4 hex bytes.
bool littleEndian(const QString &text, quint32 *value)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QStringList bytes = text.split(blanks, Qt::SkipEmptyParts);
    if (bytes.isEmpty() || bytes.size() > 4)
        return false;
    *value = 0;
    for (int i = 0; i < bytes.size(); ++i) {
        bool ok = false;
        const uint byte = bytes.at(i).toUInt(&ok, 16);
        if (!ok || byte > 255 || bytes.at(i).size() > 2)
            return false;
        *value |= byte << (8 * i);
    }
    return true;
}

void emitParsed(const Signal &s, IRImportSink *sink)
{
    quint32 address = 0, command = 0;
    if (!littleEndian(s.address, &address) || !littleEndian(s.command, &command)) {
        sink->skip(s.line,
                   QStringLiteral("%1: address and command must be hex bytes").arg(s.name));
        return;
    }
    const QString p = s.protocol.toLower();
    const auto add = [&](const char *protocol, int device, int subdevice, int function) {
        sink->addParams(s.line, QString(), s.name, QLatin1String(protocol), device, subdevice,
                        function);
    };
    if (p == QLatin1String("nec")) {
        add("nec1", int(address), -1, int(command));
    } else if (p == QLatin1String("necext")) {
        // 16-bit address (device, subdevice) and the function with its complement.
        if ((command >> 8 & 0xFF) != (~command & 0xFF)) {
            sink->skip(s.line, QStringLiteral("%1: NECext with a 16-bit command: not supported")
                                   .arg(s.name));
            return;
        }
        add("nec1", int(address & 0xFF), int(address >> 8 & 0xFF), int(command & 0xFF));
    } else if (p == QLatin1String("samsung32")) {
        // The address byte is sent twice.
        add("samsung32", int(address), int(address), int(command));
    } else if (p == QLatin1String("rc5") || p == QLatin1String("rc5x")) {
        add("rc5", int(address), -1, int(command));
    } else if (p == QLatin1String("rc6")) {
        add("rc6", int(address), -1, int(command));
    } else if (p == QLatin1String("sirc")) {
        add("sirc12", int(address), -1, int(command));
    } else if (p == QLatin1String("sirc15")) {
        add("sirc15", int(address), -1, int(command));
    } else if (p == QLatin1String("sirc20")) {
        add("sirc20", int(address & 0x1F), int(address >> 5), int(command));
    } else if (p == QLatin1String("rca")) {
        add("rca", int(address), -1, int(command));
    } else {
        sink->unsupported(s.line, s.protocol.isEmpty() ? QStringLiteral("\"\"") : s.protocol);
    }
}

void emitRaw(const Signal &s, IRImportSink *sink)
{
    bool ok = false;
    const int hertz = s.frequency.trimmed().toInt(&ok, 10);
    if (!ok) {
        sink->skip(s.line, QStringLiteral("%1: frequency \"%2\" is not a number")
                               .arg(s.name, s.frequency));
        return;
    }
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QList<int> micros;
    for (const QString &token : s.data.split(blanks, Qt::SkipEmptyParts)) {
        const int us = token.toInt(&ok, 10);
        if (!ok || us <= 0) {
            sink->skip(s.dataLine,
                       QStringLiteral("%1: \"%2\" is not a duration").arg(s.name, token));
            return;
        }
        micros.append(us);
    }
    if (micros.isEmpty()) {
        sink->skip(s.line, QStringLiteral("%1: no data").arg(s.name));
        return;
    }
    // A capture that ends on a mark gets a lead-out before it repeats.
    if (micros.size() % 2)
        micros.append(100000);
    sink->addTimings(s.line, QString(), s.name, hertz, {}, micros, false);
}

} // namespace

bool IRImportFlipper::looksLike(const QByteArray &bytes)
{
    QByteArray start = bytes.left(200).trimmed();
    if (start.startsWith("\xEF\xBB\xBF"))
        start = start.mid(3);
    return start.startsWith("Filetype:");
}

bool IRImportFlipper::read(const QByteArray &bytes, const QString &equipment, IRImportSink *sink)
{
    Q_UNUSED(equipment);
    QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    QList<Signal> signalList;
    Signal current;
    bool inSignal = false;
    bool sawFiletype = false;
    const auto close = [&] {
        if (inSignal)
            signalList.append(current);
        inSignal = false;
        current = Signal();
    };
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNumber = i + 1;
        QString text = lines.at(i).trimmed();
        if (i == 0 && text.startsWith(QChar(0xFEFF)))
            text = text.mid(1);
        if (text.isEmpty())
            continue;
        if (text.startsWith(QLatin1Char('#'))) {
            close();
            continue;
        }
        const int colon = text.indexOf(QLatin1Char(':'));
        if (colon <= 0)
            return sink->fail(lineNumber, QStringLiteral("not a \"key: value\" line"));
        const QString key = text.left(colon).trimmed().toLower();
        const QString value = text.mid(colon + 1).trimmed();
        if (!sawFiletype) {
            if (key != QLatin1String("filetype"))
                return sink->fail(lineNumber, QStringLiteral("no \"Filetype: IR signals file\" "
                                                             "header"));
            if (value.compare(QLatin1String("IR signals file"), Qt::CaseInsensitive))
                return sink->fail(lineNumber,
                                  QStringLiteral("file type \"%1\" is not IR signals").arg(value));
            sawFiletype = true;
            continue;
        }
        if (key == QLatin1String("version") && !inSignal) {
            if (value != QLatin1String("1"))
                return sink->fail(lineNumber,
                                  QStringLiteral("version %1 is not read (1)").arg(value));
            continue;
        }
        if (key == QLatin1String("name")) {
            close();
            inSignal = true;
            current.line = lineNumber;
            current.name = value;
            continue;
        }
        if (!inSignal)
            return sink->fail(lineNumber, QStringLiteral("\"%1\" before a name line").arg(key));
        if (key == QLatin1String("type"))
            current.type = value.toLower();
        else if (key == QLatin1String("protocol"))
            current.protocol = value;
        else if (key == QLatin1String("address"))
            current.address = value;
        else if (key == QLatin1String("command"))
            current.command = value;
        else if (key == QLatin1String("frequency"))
            current.frequency = value;
        else if (key == QLatin1String("data")) {
            // Long captures may be split over several data lines.
            current.data += QLatin1Char(' ') + value;
            if (!current.dataLine)
                current.dataLine = lineNumber;
        }
    }
    close();
    if (!sawFiletype)
        return sink->fail(1, QStringLiteral("no \"Filetype: IR signals file\" header"));
    for (const Signal &s : signalList) {
        if (s.type == QLatin1String("parsed"))
            emitParsed(s, sink);
        else if (s.type == QLatin1String("raw"))
            emitRaw(s, sink);
        else
            sink->skip(s.line, QStringLiteral("%1: type \"%2\" is neither parsed nor raw")
                                   .arg(s.name, s.type));
    }
    return true;
}
