#pragma once

#include <QByteArray>
#include <QString>

class IRImportSink;

// The .ir signal files of the large shared universal-remote collections:
// "Filetype: IR signals file", "Version: 1", then signals separated by "#"
// lines, each a name with either type parsed (protocol, and address and
// command as little-endian hex bytes) or type raw (frequency, duty_cycle,
// data in microseconds, mark first).
class IRImportFlipper
{
public:
    static bool looksLike(const QByteArray &bytes);
    static bool read(const QByteArray &bytes, const QString &equipment, IRImportSink *sink);
};
