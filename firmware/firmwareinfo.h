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

// The name devices ask for, under which the tool keeps the image it serves.
inline constexpr char FirmwareFileName[] = "kov-1-rev7.hex";

using FirmwareStore = QMap<QString, FirmwareInfo>;
