#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Reads CSV text as spreadsheets write it (RFC 4180, and its usual
// relaxations): fields split at commas, a field in double quotes may hold
// commas, quotes (doubled) and line breaks; lines end in CRLF, LF or CR; a
// UTF-8 byte order mark is dropped. Blank lines are skipped. Each record
// keeps the number of the line it starts on, so that callers can name it.
class CsvReader
{
public:
    struct Record
    {
        int line = 0; // 1-based line of the file where the record starts
        QStringList fields;
    };

    // False with *error ("line N: ...") on a quote that is never closed or
    // text after a closing quote; records then holds nothing.
    static bool read(const QByteArray &csv, QList<Record> *records, QString *error);
};
