#include "irimport.h"

#include <QFileInfo>

#include "irimportcsv.h"
#include "irimportflipper.h"
#include "irimportlirc.h"
#include "irimportpronto.h"
#include "irimportsink.h"

namespace {

const struct
{
    const char *name;
    IRImport::Format format;
} Formats[] = {
    {"auto", IRImport::Format::Auto},     {"csv", IRImport::Format::Csv},
    {"lirc", IRImport::Format::Lirc},     {"flipper", IRImport::Format::Flipper},
    {"pronto", IRImport::Format::Pronto},
};

} // namespace

bool IRImport::parseFormat(const QString &name, Format *format)
{
    for (const auto &f : Formats) {
        if (name == QLatin1String(f.name)) {
            *format = f.format;
            return true;
        }
    }
    return false;
}

QString IRImport::formatName(Format format)
{
    for (const auto &f : Formats) {
        if (f.format == format)
            return QLatin1String(f.name);
    }
    return QString();
}

IRImport::Format IRImport::detect(const QByteArray &bytes, const QString &fileName)
{
    if (IRImportFlipper::looksLike(bytes))
        return Format::Flipper;
    if (IRImportCsv::looksLike(bytes))
        return Format::Csv;
    if (IRImportLirc::looksLike(bytes))
        return Format::Lirc;
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("csv"))
        return Format::Csv;
    if (suffix == QLatin1String("conf") || suffix == QLatin1String("lircd"))
        return Format::Lirc;
    if (suffix == QLatin1String("ir"))
        return Format::Flipper;
    return Format::Pronto;
}

IRImport::Result IRImport::read(const QByteArray &bytes, Format format, const QString &fileName,
                                const QString &equipment)
{
    if (format == Format::Auto)
        format = detect(bytes, fileName);
    IRImportSink sink(equipment, QFileInfo(fileName).completeBaseName());
    switch (format) {
    case Format::Csv:
        IRImportCsv::read(bytes, equipment, &sink);
        break;
    case Format::Lirc:
        IRImportLirc::read(bytes, equipment, &sink);
        break;
    case Format::Flipper:
        IRImportFlipper::read(bytes, equipment, &sink);
        break;
    case Format::Pronto:
    case Format::Auto:
        IRImportPronto::read(bytes, equipment, &sink);
        break;
    }
    return sink.finish();
}

QString IRImport::countsText(const Result &result)
{
    QStringList parts;
    for (auto it = result.perProtocol.constBegin(); it != result.perProtocol.constEnd(); ++it)
        parts << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
    const int total = int(result.codes.size());
    QString text = total == 1 ? QStringLiteral("1 code") : QStringLiteral("%1 codes").arg(total);
    if (!parts.isEmpty())
        text += QStringLiteral(": ") + parts.join(QStringLiteral(", "));
    return text;
}
