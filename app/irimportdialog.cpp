#include "irimportdialog.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "irlibrary.h"

IRImportDialog::IRImportDialog(const Site &site, const QByteArray &bytes, const QString &fileName,
                               QWidget *parent)
    : QDialog(parent), site(site), bytes(bytes), fileName(fileName)
{
    setObjectName("irImportDialog");
    setWindowTitle(tr("Import IR codes"));
    resize(560, 360);
    auto *form = new QFormLayout(this);
    equipmentEdit = new QLineEdit(this);
    equipmentEdit->setObjectName("irImportEquipmentEdit");
    equipmentEdit->setPlaceholderText(tr("the file's own"));
    form->addRow(tr("&Equipment"), equipmentEdit);
    reportView = new QPlainTextEdit(this);
    reportView->setObjectName("irImportReport");
    reportView->setReadOnly(true);
    form->addRow(reportView);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Import"));
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &IRImportDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &IRImportDialog::reject);
    connect(equipmentEdit, &QLineEdit::editingFinished, this, &IRImportDialog::reread);
    reread();
}

void IRImportDialog::reread()
{
    const IRImport::Result result = IRImport::read(bytes, IRImport::Format::Auto, fileName,
                                                   equipmentEdit->text());
    readable = result.ok;
    if (!result.ok) {
        error = tr("%1: %2; nothing imported").arg(QFileInfo(fileName).fileName(), result.error);
        reportView->setPlainText(error);
        return;
    }
    IRLibrary::plan(site, result, &after, &taken);
    QStringList lines{IRImport::countsText(taken)};
    for (auto it = taken.perProtocol.constBegin(); it != taken.perProtocol.constEnd(); ++it)
        lines << tr("%1: %2").arg(it.key()).arg(it.value());
    if (!taken.skipped.isEmpty())
        lines << QString() << tr("Skipped:");
    lines += taken.skipped;
    reportView->setPlainText(lines.join(QLatin1Char('\n')));
}
