#pragma once

#include <QLoggingCategory>
#include <QString>

class QByteArray;

// kov.tftp: the TFTP server and its transfers (on by default).
// kov.firmware: the firmware web service (debug off by default).
// Switch them with QT_LOGGING_RULES, e.g. "kov.*.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcTftp)
Q_DECLARE_LOGGING_CATEGORY(lcFirmware)

// Text a peer sent (a file name, an ERROR message), fit for a log or a
// terminal: every byte outside printable ASCII is written as \xNN and a
// backslash as \\, so no peer can send escape sequences to our terminal.
QString printableText(const QByteArray &bytes);
// The same for text decoded as Latin-1, one byte per character.
QString printableText(const QString &latin1);
