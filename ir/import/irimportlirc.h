#pragma once

#include <QByteArray>
#include <QString>

class IRImportSink;

// LIRC lircd.conf: begin remote ... end remote blocks, each with its
// timings and a begin codes (KEY 0xHEX) or begin raw_codes (name KEY, then
// microseconds, pulse first) block. Pulse/space-coded remotes (SPACE_ENC,
// PULSE_ENC), RC5 and RC6 are rendered from the stated header, one, zero,
// plead, pre_data, pre, post, post_data, ptrail, repeat and gap (the frame
// period with CONST_LENGTH), at the stated frequency or 38 kHz; bits go out
// most significant first unless REVERSE. A rendered code the decoder reads
// as a protocol the tool builds is kept as its parameters: pre_data 0x20DF
// with code 0x10EF is NEC device 4, function 8.
class IRImportLirc
{
public:
    static bool looksLike(const QByteArray &bytes);
    static bool read(const QByteArray &bytes, const QString &equipment, IRImportSink *sink);
};
