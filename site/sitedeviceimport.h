#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class Site;

// The device CSV: a header naming its columns, in any order and any case:
// mac (required), name, location, notes (optional). Each row sets the
// named columns of the device with that MAC, adding it when the site does
// not hold it.
class SiteDeviceImport
{
public:
    struct Change
    {
        int line = 0;
        QString mac;
        bool added = false;
        QStringList fields; // what changes, e.g. "name \"\" -> \"Lobby TV\""
        // "line 3: add 00:1E:C0:77:00:01 \"Lobby TV\"" / "line 4: change ...: name ..."
        QString text() const;
    };

    // Works out what the CSV does to site: *result the site after it,
    // *changes the list (rows that change nothing are left out). false with
    // *error "line N: reason" (bad MAC, a MAC twice in the file, a name
    // clash, no mac column, ...): nothing to apply.
    static bool plan(const Site &site, const QByteArray &csv, Site *result, QList<Change> *changes,
                     QString *error);
};
