#pragma once

#include <QList>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

#include "kovinfo.h"

class DevicePage;
class KovTable;
class QAction;
class QHostAddress;
class QMainWindow;
class QMenu;
class SitePanel;
class SiteSession;

namespace Ui {
class MainWindow;
}

// The window's side of a site: the File menu's "New site…", "Open
// site…", "Recent sites", "Close site" and "Import devices…", the Edit
// menu's "Select outdated devices" and "Target firmware…", the title, the
// last site reopened at start, the questions when the file changed on disk
// or a command is meant for a missing device. The site itself, its rows
// and its saves are SiteSession's; the panel's Name, Location and Notes
// are SitePanel's.
class SiteController : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *LastSiteKey = "sites/last";
    static constexpr const char *RecentSitesKey = "sites/recent";
    static constexpr int RecentSitesKept = 6;

    SiteController(Ui::MainWindow *ui, KovTable *table, DevicePage *page, QMainWindow *window);
    ~SiteController() override;

    SiteSession *session() const { return sites; }

    // At start: the site open when the tool last ended, without a beacon
    // of its own (the start-up beacon follows).
    void reopenLast();
    // Opens a site file and lists its devices; a bad file is reported and
    // leaves no site open. beacon: look for the site's devices at once.
    bool openSite(const QString &path, bool beacon = true);
    void closeSite();
    // A reply, after the table has listed it.
    void deviceHeard(const QString &version, const QHostAddress &address, const QString &mac);
    // True when no device of kovs is missing, or the user agrees to send
    // to the last address of those that are.
    bool confirmCommand(const QList<QSharedPointer<KovInfo>> &kovs);
    // Selects the listed devices on another version than the site's target;
    // how many.
    int selectOutdated();
    // Reads a device CSV, shows what it adds and changes, and applies it
    // when the user agrees (ask false: at once). false when nothing changed.
    bool importDevices(const QString &path, bool ask = true);

private:
    void newSite();
    void chooseSite();
    void chooseImport();
    void setTarget();
    void onConflict();
    void onSaveFailed(const QString &error);
    void siteChanged();
    void rememberSite(const QString &path);
    void fillRecent();
    void warn(const QString &title, const QString &text);

    Ui::MainWindow *ui;
    KovTable *table;
    DevicePage *page;
    QMainWindow *window;
    SiteSession *sites;
    SitePanel *panel;
    QString baseTitle;
    QMenu *recentMenu;
    QMenu *editMenu;
    QAction *newAction;
    QAction *openAction;
    QAction *closeAction;
    QAction *importAction;
    QAction *outdatedAction;
    QAction *targetAction;
    bool conflictShown = false;
    bool shownOpen = false;
};
