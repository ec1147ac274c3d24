#pragma once

#include <QObject>
#include <QString>

class DevicePage;
class QLabel;
class QLineEdit;
class QWidget;
class SiteSession;

namespace Ui {
class MainWindow;
}

// Name, Location and Notes of the device the panel shows, while a site is
// open: shown as the site holds them and saved to it when an edit is
// finished. Naming a device the site does not hold yet adds it.
class SitePanel : public QObject
{
    Q_OBJECT

public:
    SitePanel(Ui::MainWindow *ui, DevicePage *page, SiteSession *sites, QWidget *window);
    ~SitePanel() override;

    void setSiteOpen(bool open);
    void update();
    // Saves the fields for the device they show; false (fields put back)
    // when the site refuses them.
    bool commit();

private:
    QLineEdit *addField(int row, const QString &label, const char *name, QLabel **labelOut);

    Ui::MainWindow *ui;
    DevicePage *page;
    SiteSession *sites;
    QWidget *window;
    QLabel *nameLabel;
    QLabel *locationLabel;
    QLabel *notesLabel;
    QLineEdit *nameEdit;
    QLineEdit *locationEdit;
    QLineEdit *notesEdit;
    QString shownMac; // the device the fields belong to
    bool siteOpen = false;
    bool committing = false;
};
