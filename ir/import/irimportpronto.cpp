#include "irimportpronto.h"

#include <QRegularExpression>
#include <QStringList>

#include "irimportsink.h"

bool IRImportPronto::read(const QByteArray &bytes, const QString &equipment, IRImportSink *sink)
{
    Q_UNUSED(equipment);
    // A name, then ':' or ',', then the words; or the words alone.
    static const QRegularExpression named(
        QStringLiteral("^([^:,]*[^:,\\s][^:,]*)\\s*[:,]\\s*(.*)$"));
    static const QRegularExpression hexWords(QStringLiteral("^[0-9A-Fa-f]+(\\s+[0-9A-Fa-f]+)*$"));
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text = text.mid(1);
    const QStringList lines = text.split(QLatin1Char('\n'));
    int unnamed = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        QString name, code;
        const QRegularExpressionMatch match = named.match(line);
        if (hexWords.match(line).hasMatch()) {
            name = QStringLiteral("Code %1").arg(++unnamed);
            code = line;
        } else if (match.hasMatch()) {
            name = match.captured(1).trimmed();
            code = match.captured(2);
        } else {
            sink->skip(i + 1, QStringLiteral("not a Pronto code"));
            continue;
        }
        sink->addPronto(i + 1, QString(), name, code);
    }
    return true;
}
