#pragma once

#include <QList>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

#include "addressrange.h"
#include "kovinfo.h"
#include "unicastprobe.h"

class KovTable;
class KovTableProxy;
class QAction;
class QLabel;
class QLineEdit;
class QMainWindow;
class QPushButton;
class QWidget;
class SiteSession;

namespace Ui {
class MainWindow;
}

// The Network Detection page around the window's device table: the view
// shows KovTable through KovTableProxy (kept sorted, filtered by the field
// above it); the panel always shows the device its buttons act on and is
// cleared and disabled when no row is selected; the status line keeps the
// device count when menus blank it; "Find devices at…" probes address
// ranges by unicast, remembered (in the open site, else in the settings)
// and probed again with every beacon; "Export device list…" saves the
// shown rows as CSV.
class DevicePage : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *RangesKey = "discovery/unicastRanges";

    DevicePage(Ui::MainWindow *ui, KovTable *table, QMainWindow *window);
    ~DevicePage() override;

    KovTableProxy *model() const { return proxy; }

    // The selected devices in the shown order, and the one the panel
    // shows (the current row if selected, else the first selected).
    QList<QSharedPointer<KovInfo>> selectedKovs() const;
    QSharedPointer<KovInfo> currentKov() const;

    // The status line: a text that stays when a menu's empty status tip
    // would blank it, and the device count after each reply.
    void showStatus(const QString &text);
    void countDevices();
    // With a site open the ranges are the site's, and the filter also
    // matches names, locations and notes.
    void setSiteSession(SiteSession *session) { sites = session; }
    void setSiteOpen(bool open);

    QStringList rememberedRanges() const;
    void probeRememberedRanges();
    // Remembers the range (for every later beacon) and probes it now.
    void findDevicesAt(const AddressRange &range);
    bool exportTo(const QString &path, QString *error) const;

public slots:
    void openFindDevices();
    void openExport();
    void updatePanel();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setRememberedRanges(const QStringList &ranges);
    static void setTabOrderChain(const QList<QWidget *> &widgets);
    void sizeMacColumn();

    Ui::MainWindow *ui;
    KovTable *table;
    QMainWindow *window;
    KovTableProxy *proxy;
    UnicastProbe probe;
    QLineEdit *filterEdit;
    QPushButton *findButton;
    QLabel *selectionLabel;
    QAction *findAction;
    QAction *exportAction;
    QString statusText;
    SiteSession *sites = nullptr;
    bool macColumnSized = false;
};
