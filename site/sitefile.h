#pragma once

#include "site.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QFileSystemWatcher;

// The open site file. Every save replaces the file atomically (QSaveFile),
// and none overwrites a file that someone else changed since it was last
// read or written here: that is reported, and the caller lets the user
// reload it or save under another name.
class SiteFile : public QObject
{
    Q_OBJECT
public:
    enum class SaveResult { Saved, ChangedOnDisk, Failed };

    explicit SiteFile(QObject *parent = nullptr);

    bool open(const QString &path, QString *error); // on failure nothing changes
    // Writes a new empty site; refuses an existing file.
    static bool create(const QString &path, const QString &name, QString *error);
    void close();
    bool isOpen() const;
    QString path() const;
    const Site &site() const;

    // Takes site as the held one and writes it at once, atomically
    // (QSaveFile). ChangedOnDisk, and nothing written, when the file on disk
    // is no longer what was last read or written here; the given site is
    // then held as unsaved (hasUnsavedChanges()) until reload() (drops it)
    // or saveAs(). Failed with nothing changed for a site that does not
    // validate; Failed with the site held as unsaved when the write fails.
    SaveResult save(const Site &site, QString *error);
    bool hasUnsavedChanges() const;
    bool reload(QString *error);
    // The held site; path becomes the open one.
    bool saveAs(const QString &path, QString *error);

    // True when the file on disk is no longer what was last read or
    // written here (changed or removed).
    bool isChangedOnDisk() const;

signals:
    void changedOnDisk(); // someone else changed or removed the file (QFileSystemWatcher)
    void siteChanged();   // the held site was replaced (open, reload, save, close)

private:
    void watch(const QString &path);
    void unwatch();
    void onFileChanged();
    static bool write(const QString &path, const QByteArray &bytes, QString *error);

    QFileSystemWatcher *watcher = nullptr;
    QString filePath;
    Site held;
    QByteArray diskBytes; // what was last read from or written to filePath
    bool opened = false;
    bool unsaved = false;
    bool reportedChange = false;
};
