#pragma once

#include <QHash>
#include <QSharedPointer>
#include <QString>

class QFile;
class QJsonObject;

// Where a device writes what it was told: one JSON object per line, each
// carrying the device's name, flushed at once so a reader never waits.
// Devices that name the same file share one open handle.
class DeviceLog
{
public:
    DeviceLog() = default;

    // Returns false (with the reason) when the file cannot be opened.
    bool open(const QString &path, const QString &device, QString *problem);
    void write(QJsonObject entry) const;

private:
    static QSharedPointer<QFile> shared(const QString &path, QString *problem);

    QSharedPointer<QFile> file;
    QString device;
};
