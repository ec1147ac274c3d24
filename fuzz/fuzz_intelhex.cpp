// Bytes offered as a firmware image (a web-service reply body). Besides the
// sanitizers: an accepted file is small enough for TFTP, holds the
// end-of-file record, and stops being accepted when one hex digit of any
// record is changed or anything but a line end follows it.
#include <QByteArray>
#include <QList>
#include <QString>

#include "fuzzsupport.h"
#include "intelhex.h"
#include "tftppacket.h"

namespace {

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Positions of the hex digits that stand inside records: after a ':' on
// the same line.
QList<int> recordDigits(const QByteArray &bytes)
{
    QList<int> positions;
    bool inRecord = false;
    for (int i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == ':')
            inRecord = true;
        else if (c == '\r' || c == '\n')
            inRecord = false;
        else if (inRecord && isHexDigit(c))
            positions.append(i);
    }
    return positions;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const QString problem = IntelHex::problem(bytes);
    if (!problem.isEmpty())
        return 0;

    FUZZ_CHECK(bytes.size() < Tftp::MaxImageSize, "an accepted image fits 16-bit block numbers");
    FUZZ_CHECK(bytes.toUpper().contains(":00000001FF"), "an accepted file has its end record");

    const QList<int> digits = recordDigits(bytes);
    FUZZ_CHECK(!digits.isEmpty(), "an accepted file has records");
    // One digit, picked from the input, changed to another value of the
    // same case: every record's checksum covers every one of its digits.
    QByteArray changed = bytes;
    const int at = digits[int(size % size_t(digits.size()))];
    const char digit = changed[at];
    const int value = (digit <= '9' ? digit - '0' : (digit | 0x20) - 'a' + 10) ^ 1;
    changed[at] = char(value < 10 ? '0' + value : (digit >= 'a' ? 'a' : 'A') + value - 10);
    FUZZ_CHECK(!IntelHex::problem(changed).isEmpty(), "a changed digit is caught");

    FUZZ_CHECK(!IntelHex::problem(bytes + "x").isEmpty(), "bytes after the end are caught");
    FUZZ_CHECK(!IntelHex::problem(bytes + ":00000001FF\r\n").isEmpty(),
               "a second end record is caught");
    return 0;
}
