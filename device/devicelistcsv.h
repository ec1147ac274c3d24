#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The device list as a CSV file: RFC 4180 (CRLF line ends, fields holding
// a comma, quote or line break in double quotes, quotes doubled), UTF-8,
// under the header MAC,IP,Version,State,Last seen (and, for a site's list,
// Name,Location,Notes).
class DeviceListCsv
{
public:
    static QByteArray format(const QList<QStringList> &rows, bool siteColumns = false);
    // Writes through QSaveFile, so a failed export leaves any earlier
    // file whole. On failure returns false with the reason in *error.
    static bool save(const QString &path, const QList<QStringList> &rows, QString *error,
                     bool siteColumns = false);
    // One line of any CSV the tool writes, quoted as above, ending in CRLF.
    static QByteArray record(const QStringList &fields);
};
