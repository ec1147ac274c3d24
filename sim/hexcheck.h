#pragma once

#include <QString>

class QByteArray;

namespace HexCheck {
// What a device's boot loader checks before it flashes an image: every
// line an Intel HEX record (":", byte count, address, type, data,
// checksum, in hex), the counts and checksums right, known record types
// with their fixed lengths, one end-of-file record and nothing but line
// ends after it. Returns an empty string for a good image, otherwise the
// first fault found.
QString problem(const QByteArray &image);
}
