#pragma once

// Firmware bytes for tests: the built-in image and hand-made Intel HEX.

#include <QByteArray>
#include <QFile>

#include "tftpdserver.h"

namespace FirmwareTest {

// The image built into the tool (empty if the resource cannot be read).
inline QByteArray builtInImage()
{
    TFTPDServer probe; // registers the library's resources
    QFile file(":/firmware/KOV_rev7_1.7.0.hex");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// One Intel HEX record with its checksum, without a line end.
inline QByteArray hexRecord(int type, int address, const QByteArray &payload)
{
    QByteArray body;
    body.append(char(payload.size()));
    body.append(char(address >> 8));
    body.append(char(address & 0xff));
    body.append(char(type));
    body.append(payload);
    int sum = 0;
    for (char c : body)
        sum += quint8(c);
    body.append(char(-sum & 0xff));
    return ':' + body.toHex().toUpper();
}

} // namespace FirmwareTest
