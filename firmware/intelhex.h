#pragma once

#include <QString>

class QByteArray;

namespace IntelHex {
// Checks that bytes form a well-formed Intel HEX file: every record's
// syntax and checksum, the end-of-file record, nothing after it but blank
// line ends, and a size TFTP can serve. Returns an empty string when it
// does, otherwise a short reason for a person to read.
QString problem(const QByteArray &bytes);
}
