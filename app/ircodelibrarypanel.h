#pragma once

#include <QWidget>

class QAction;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class SiteSession;

namespace Ui {
class MainWindow;
}

// The site's IR codes in the IR panel: a tree of equipment and code names
// (picking a code puts its Pronto text in the CCF field and ticks the ports
// saved with it), "Save code…" for the code in the CCF field, and the File
// menu's "Import IR codes…". Hidden, and the action disabled, with no site
// open; "Send IR" is left as it is.
class IRCodeLibraryPanel : public QWidget
{
    Q_OBJECT

public:
    IRCodeLibraryPanel(Ui::MainWindow *ui, SiteSession *session, QWidget *window);

    // Reads a file of codes, shows what it takes and skips, and stores the
    // codes when the user agrees (ask false: at once). false when nothing
    // was stored.
    bool importCodes(const QString &path, bool ask = true);

private:
    void refill();
    void pick(QTreeWidgetItem *item);
    void saveCode();
    void chooseImport();
    QList<int> tickedPorts() const;

    Ui::MainWindow *ui;
    SiteSession *session;
    QWidget *window;
    QTreeWidget *codeTree;
    QPushButton *saveButton;
    QAction *importAction;
};
