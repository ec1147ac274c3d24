#pragma once

#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>

// Where kovctl writes: whole lines, flushed at once so that a script
// reading a pipe sees each line as it happens.
namespace Console {
void out(const QString &line);
void err(const QString &line);
// Text as it is, no line end added (terminal control sequences).
void raw(const QString &text);
bool outIsTerminal();
// An array as indented JSON; an empty one as "[]" (Qt writes it over two lines).
void json(const QJsonArray &array);
// Rows in columns two spaces apart, the first row being the header; the
// last column is not padded and no line ends in spaces.
void table(const QList<QStringList> &rows);
// An argument that may be "-" for standard input: the text itself, or
// what standard input holds with the line ends at its end dropped.
QString argumentOrInput(const QString &argument);
// Text that came from the network, with control characters written as
// \n, \r, \t or \xHH so that it cannot move the cursor or break a column.
QString printable(const QString &text);
}
