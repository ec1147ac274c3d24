#include "devicelog.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

bool DeviceLog::open(const QString &path, const QString &deviceName, QString *problem)
{
    device = deviceName;
    if (path.isEmpty() || path == QLatin1String("-")) {
        file = shared(QStringLiteral("-"), problem);
    } else {
        file = shared(path, problem);
    }
    return !file.isNull();
}

void DeviceLog::write(QJsonObject entry) const
{
    if (!file)
        return;
    entry.insert(QStringLiteral("device"), device);
    entry.insert(QStringLiteral("time"),
                 QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    file->write(QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n');
    file->flush();
}

QSharedPointer<QFile> DeviceLog::shared(const QString &path, QString *problem)
{
    static QHash<QString, QSharedPointer<QFile>> files;
    auto found = files.constFind(path);
    if (found != files.constEnd())
        return found.value();
    auto f = QSharedPointer<QFile>::create(path == QLatin1String("-") ? QString() : path);
    const bool opened = path == QLatin1String("-")
                            ? f->open(stdout, QIODevice::WriteOnly)
                            : f->open(QIODevice::WriteOnly | QIODevice::Append);
    if (!opened) {
        if (problem)
            *problem = f->errorString();
        return {};
    }
    files.insert(path, f);
    return f;
}
