#include "sitefile.h"

#include "sitejson.h"

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLoggingCategory>
#include <QSaveFile>

Q_LOGGING_CATEGORY(lcSite, "kov.site", QtInfoMsg)

namespace {

// The file's bytes; false when it cannot be read (or is gone).
bool readAll(const QString &path, QByteArray *bytes, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace

SiteFile::SiteFile(QObject *parent) : QObject(parent), watcher(new QFileSystemWatcher(this))
{
    connect(watcher, &QFileSystemWatcher::fileChanged, this, &SiteFile::onFileChanged);
    // The folder too: a file removed and written anew is seen only there.
    connect(watcher, &QFileSystemWatcher::directoryChanged, this, &SiteFile::onFileChanged);
}

bool SiteFile::open(const QString &path, QString *error)
{
    QByteArray bytes;
    if (!readAll(path, &bytes, error))
        return false;
    Site site;
    if (!SiteJson::parse(bytes, &site, error))
        return false;
    filePath = QFileInfo(path).absoluteFilePath();
    held = site;
    diskBytes = bytes;
    opened = true;
    unsaved = false;
    reportedChange = false;
    unwatch();
    watch(filePath);
    qCDebug(lcSite) << "opened" << filePath << "with" << held.devices.size() << "devices";
    emit siteChanged();
    return true;
}

bool SiteFile::create(const QString &path, const QString &name, QString *error)
{
    if (name.trimmed().isEmpty()) {
        if (error)
            *error = QStringLiteral("a site needs a name");
        return false;
    }
    if (QFileInfo::exists(path)) {
        if (error)
            *error = QStringLiteral("%1 already exists").arg(path);
        return false;
    }
    Site site;
    site.name = name.trimmed();
    return write(path, SiteJson::serialise(site), error);
}

void SiteFile::close()
{
    if (!opened)
        return;
    unwatch();
    filePath.clear();
    held = Site();
    diskBytes.clear();
    opened = false;
    unsaved = false;
    reportedChange = false;
    emit siteChanged();
}

bool SiteFile::isOpen() const
{
    return opened;
}

QString SiteFile::path() const
{
    return filePath;
}

const Site &SiteFile::site() const
{
    return held;
}

SiteFile::SaveResult SiteFile::save(const Site &site, QString *error)
{
    if (!opened) {
        if (error)
            *error = QStringLiteral("no site is open");
        return SaveResult::Failed;
    }
    const QString problem = site.validate();
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return SaveResult::Failed;
    }
    held = site;
    if (isChangedOnDisk()) {
        unsaved = true;
        if (error)
            *error = QStringLiteral("%1 was changed on disk by another program").arg(filePath);
        emit siteChanged();
        return SaveResult::ChangedOnDisk;
    }
    const QByteArray bytes = SiteJson::serialise(held);
    if (!write(filePath, bytes, error)) {
        unsaved = true;
        emit siteChanged();
        return SaveResult::Failed;
    }
    diskBytes = bytes;
    unsaved = false;
    reportedChange = false;
    watch(filePath);
    emit siteChanged();
    return SaveResult::Saved;
}

bool SiteFile::hasUnsavedChanges() const
{
    return unsaved;
}

bool SiteFile::reload(QString *error)
{
    if (!opened) {
        if (error)
            *error = QStringLiteral("no site is open");
        return false;
    }
    return open(filePath, error);
}

bool SiteFile::saveAs(const QString &path, QString *error)
{
    if (!opened) {
        if (error)
            *error = QStringLiteral("no site is open");
        return false;
    }
    const QByteArray bytes = SiteJson::serialise(held);
    if (!write(path, bytes, error))
        return false;
    unwatch();
    filePath = QFileInfo(path).absoluteFilePath();
    diskBytes = bytes;
    unsaved = false;
    reportedChange = false;
    watch(filePath);
    emit siteChanged();
    return true;
}

bool SiteFile::isChangedOnDisk() const
{
    if (!opened)
        return false;
    QByteArray bytes;
    return !readAll(filePath, &bytes, nullptr) || bytes != diskBytes;
}

void SiteFile::watch(const QString &path)
{
    // A replacing save (ours or another program's) leaves the watcher on the
    // old inode; watch the path afresh.
    if (watcher->files().contains(path))
        watcher->removePath(path);
    if (QFileInfo::exists(path))
        watcher->addPath(path);
    const QString folder = QFileInfo(path).absolutePath();
    if (!watcher->directories().contains(folder))
        watcher->addPath(folder);
}

void SiteFile::unwatch()
{
    if (!watcher->files().isEmpty())
        watcher->removePaths(watcher->files());
    if (!watcher->directories().isEmpty())
        watcher->removePaths(watcher->directories());
}

void SiteFile::onFileChanged()
{
    if (!opened)
        return;
    watch(filePath);
    if (!isChangedOnDisk() || reportedChange)
        return;
    reportedChange = true;
    qCInfo(lcSite) << filePath << "was changed on disk";
    emit changedOnDisk();
}

bool SiteFile::write(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
