#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// One image of the firmware store, filed under the name TFTP clients ask for.
struct FirmwareInfo
{
    QString version;
    QString revision;
    QByteArray firmware;
};

using FirmwareStore = QMap<QString, FirmwareInfo>;
