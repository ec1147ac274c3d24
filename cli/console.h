#pragma once

#include <QString>

// Where kovctl writes: whole lines, flushed at once so that a script
// reading a pipe sees each line as it happens.
namespace Console {
void out(const QString &line);
void err(const QString &line);
// Rewrites the current terminal line (a live progress line); only used
// when standard output is a terminal.
void overwrite(const QString &line);
bool outIsTerminal();
// Text that came from the network, with control characters written as
// \n, \r, \t or \xHH so that it cannot move the cursor or break a column.
QString printable(const QString &text);
}
