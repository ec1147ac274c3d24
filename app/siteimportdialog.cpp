#include "siteimportdialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

SiteImportDialog::SiteImportDialog(const QString &fileName,
                                   const QList<SiteDeviceImport::Change> &changes, QWidget *parent)
    : QDialog(parent)
{
    setObjectName("siteImportDialog");
    setWindowTitle(tr("Import devices"));
    int added = 0;
    QStringList lines;
    for (const SiteDeviceImport::Change &change : changes) {
        added += change.added ? 1 : 0;
        lines.append(change.text());
    }
    auto *summary = new QLabel(tr("%1 adds %2 devices to the site and changes %3.")
                                   .arg(fileName)
                                   .arg(added)
                                   .arg(changes.size() - added),
                               this);
    summary->setObjectName("importSummary");
    summary->setWordWrap(true);
    changeList = new QPlainTextEdit(lines.join(QLatin1Char('\n')), this);
    changeList->setObjectName("importChanges");
    changeList->setReadOnly(true);
    changeList->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName("importButtons");
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Import"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(summary);
    layout->addWidget(changeList, 1);
    layout->addWidget(buttons);
    resize(560, 360);
}

SiteImportDialog::~SiteImportDialog() = default;
