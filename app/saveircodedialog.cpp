#include "saveircodedialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include "irlibrary.h"

SaveIrCodeDialog::SaveIrCodeDialog(const Site &site, const SiteIrCode &code,
                                   const QString &equipment, const QList<int> &ports,
                                   QWidget *parent)
    : QDialog(parent), before(site), after(site), code(code)
{
    setObjectName("saveIrCodeDialog");
    setWindowTitle(tr("Save code"));
    auto *form = new QFormLayout(this);
    form->addRow(tr("Code"), new QLabel(IRLibrary::describe(code), this));
    nameEdit = new QLineEdit(this);
    nameEdit->setObjectName("irCodeNameEdit");
    form->addRow(tr("&Name"), nameEdit);
    equipmentBox = new QComboBox(this);
    equipmentBox->setObjectName("irCodeEquipmentBox");
    equipmentBox->setEditable(true);
    equipmentBox->addItems(site.equipment());
    equipmentBox->setCurrentText(equipment);
    form->addRow(tr("&Equipment"), equipmentBox);
    auto *portRow = new QHBoxLayout;
    for (int port = 1; port <= 4; ++port) {
        portBoxes[port - 1] = new QCheckBox(tr("Port %1").arg(port), this);
        portBoxes[port - 1]->setObjectName(QStringLiteral("irCodePort%1Box").arg(port));
        portBoxes[port - 1]->setChecked(ports.contains(port));
        portRow->addWidget(portBoxes[port - 1]);
    }
    form->addRow(tr("Ports"), portRow);
    problemLabel = new QLabel(this);
    problemLabel->setObjectName("irCodeProblemLabel");
    problemLabel->setWordWrap(true);
    form->addRow(problemLabel);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &SaveIrCodeDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SaveIrCodeDialog::reject);
}

void SaveIrCodeDialog::accept()
{
    SiteIrCode entry = code;
    entry.name = nameEdit->text().trimmed();
    entry.equipment = equipmentBox->currentText().trimmed();
    entry.ports.clear();
    for (int port = 1; port <= 4; ++port) {
        if (portBoxes[port - 1]->isChecked())
            entry.ports << port;
    }
    Site site = before;
    QString error;
    if (!site.addIrCode(entry, &error)) {
        problemLabel->setText(error);
        return;
    }
    after = site;
    QDialog::accept();
}
