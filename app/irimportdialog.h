#pragma once

#include <QDialog>

#include "irimport.h"
#include "site.h"

class QLineEdit;
class QPlainTextEdit;

// File > "Import IR codes…": what a file of codes gives before anything is
// stored, the codes taken per protocol and every skip with why; the
// equipment may be named here (empty: the file's own). OK stores.
class IRImportDialog : public QDialog
{
    Q_OBJECT

public:
    IRImportDialog(const Site &site, const QByteArray &bytes, const QString &fileName,
                   QWidget *parent = nullptr);

    // false when the file cannot be read as its format (errorText says where).
    bool isReadable() const { return readable; }
    QString errorText() const { return error; }
    int takenCount() const { return int(taken.codes.size()); }
    // The site with the codes added.
    Site result() const { return after; }

private:
    void reread();

    Site site;
    QByteArray bytes;
    QString fileName;
    bool readable = false;
    QString error;
    IRImport::Result taken;
    Site after;
    QLineEdit *equipmentEdit;
    QPlainTextEdit *reportView;
};
