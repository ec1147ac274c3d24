// Bytes offered as a firmware image (a web-service reply body). Besides the
// sanitizers: an accepted file is small enough for TFTP, holds the
// end-of-file record, and stops being accepted when one hex digit of any
// record is changed or anything but a line end follows it.
//
// Inputs whose first byte is 'W' are not taken as they are but describe a
// well-formed file (records of every type with right lengths and
// checksums, either case of hex digit, CR LF or LF line ends, blank line
// ends after the end record), which must be accepted.
#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdio>

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

QByteArray hexByte(int value, bool lower)
{
    const char *digits = lower ? "0123456789abcdef" : "0123456789ABCDEF";
    QByteArray text;
    text.append(digits[value >> 4]).append(digits[value & 15]);
    return text;
}

// Builds a well-formed file from the input: each record takes a control
// byte (type, case, line end) and its operands.
QByteArray wellFormed(const uint8_t *data, size_t size)
{
    static const int fixedLength[] = {-1, 0, 2, 4, 2, 4};
    QByteArray file;
    size_t at = 1;
    int records = 0;
    while (at + 4 <= size && records < 200) {
        const uint8_t control = data[at++];
        int type = control % 6;
        if (type == 1)
            type = 0;
        const bool lower = control & 0x40;
        const bool crlf = !(control & 0x80);
        const int length = fixedLength[type] >= 0 ? fixedLength[type] : data[at++] % 33;
        const int address = type == 0 ? data[at] << 8 | data[at + 1] : 0;
        at += 2;
        QByteArray body;
        body.append(char(length))
            .append(char(address >> 8))
            .append(char(address & 0xff))
            .append(char(type));
        for (int i = 0; i < length; ++i)
            body.append(char(at < size ? data[at++] : 0));
        int sum = 0;
        for (char c : body)
            sum += quint8(c);
        body.append(char(-sum & 0xff));
        file.append(':');
        for (char c : body)
            file.append(hexByte(quint8(c), lower));
        file.append(crlf ? "\r\n" : "\n");
        ++records;
    }
    file.append(":00000001FF");
    const int blanks = data[size - 1] % 4;
    for (int i = 0; i < blanks; ++i)
        file.append(i % 2 ? "\n" : "\r\n");
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 0 && data[0] == 'W') {
        const QByteArray file = wellFormed(data, size);
        const QString problem = IntelHex::problem(file);
        FUZZ_CHECK(problem.isEmpty(), "a well-formed file is accepted");
        if (!problem.isEmpty())
            std::fprintf(stderr, "refused: %s\n%s\n", qPrintable(problem), file.constData());
        return 0;
    }
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
