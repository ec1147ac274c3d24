#include "ircodegeneratordialog.h"
#include "ui_ircodegeneratordialog.h"

#include "ircode.h"

IRCodeGeneratorDialog::IRCodeGeneratorDialog(QWidget *parent)
    : QDialog(parent)
    , code(QString())
    , ui(new Ui::IRCodeGeneratorDialog)
{
    ui->setupUi(this);
}

IRCodeGeneratorDialog::~IRCodeGeneratorDialog()
{
    delete ui;
}

QString IRCodeGeneratorDialog::getCode()
{
    return code;
}

// Runs after accept() in the same emission of accepted(), so the text is
// ready by the time exec() returns.
void IRCodeGeneratorDialog::on_buttonBox_accepted()
{
    IRCode irCode;
    switch (ui->tabWidget->currentIndex()) {
    case 0:
        IRCode::generateRC5(&irCode, ui->checkBox->isChecked(),
                            quint8(ui->spinBox->value()), quint8(ui->spinBox_2->value()));
        break;
    case 1:
        IRCode::generateRC6(&irCode, ui->checkBox_2->isChecked(),
                            quint8(ui->spinBox_3->value()), quint8(ui->spinBox_4->value()));
        break;
    case 2:
        IRCode::generateSIRC(&irCode, ui->comboBox->currentText().toInt(nullptr, 10),
                             ui->spinBox_5->value(), ui->spinBox_6->value());
        break;
    case 3:
        IRCode::generateNEC(&irCode, ui->spinBox_7->value(), ui->spinBox_8->value());
        break;
    default:
        break;
    }
    code = irCode.toCCF();
}
