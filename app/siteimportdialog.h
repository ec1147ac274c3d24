#pragma once

#include <QDialog>
#include <QList>
#include <QString>

#include "sitedeviceimport.h"

class QPlainTextEdit;

// What a device CSV will add to the site and change in it, one line per
// row, before anything is changed: "Import" applies it, Cancel leaves the
// site as it is.
class SiteImportDialog : public QDialog
{
    Q_OBJECT

public:
    SiteImportDialog(const QString &fileName, const QList<SiteDeviceImport::Change> &changes,
                     QWidget *parent = nullptr);
    ~SiteImportDialog() override;

private:
    QPlainTextEdit *changeList;
};
