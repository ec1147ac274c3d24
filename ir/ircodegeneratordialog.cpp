#include "ircodegeneratordialog.h"
#include "ui_ircodegeneratordialog.h"

#include "ircode.h"

IRCodeGeneratorDialog::IRCodeGeneratorDialog(QWidget *parent)
    : QDialog(parent), code(QString()), ui(new Ui::IRCodeGeneratorDialog)
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

bool IRCodeGeneratorDialog::prefill(const IRDecoder::Result &decoded)
{
    if (decoded.status != IRDecoder::Status::Recognised)
        return false;
    switch (decoded.protocol) {
    case IRDecoder::Protocol::RC5:
        if (decoded.function > ui->spinBox_2->maximum())
            return false;
        ui->spinBox->setValue(decoded.device);
        ui->spinBox_2->setValue(decoded.function);
        ui->checkBox->setChecked(decoded.toggle == 1);
        ui->tabWidget->setCurrentIndex(0);
        return true;
    case IRDecoder::Protocol::RC6:
        ui->spinBox_3->setValue(decoded.device);
        ui->spinBox_4->setValue(decoded.function);
        ui->checkBox_2->setChecked(decoded.toggle == 1);
        ui->tabWidget->setCurrentIndex(1);
        return true;
    case IRDecoder::Protocol::SIRC: {
        const int index = ui->comboBox->findText(QString::number(decoded.bits));
        if (index < 0)
            return false;
        ui->comboBox->setCurrentIndex(index);
        // The generator takes SIRC 20's extended bits above the 5 device bits.
        ui->spinBox_5->setValue(decoded.bits == 20 ? decoded.device | decoded.extended << 5
                                                   : decoded.device);
        ui->spinBox_6->setValue(decoded.function);
        ui->tabWidget->setCurrentIndex(2);
        return true;
    }
    case IRDecoder::Protocol::NEC:
        if (decoded.repeat || decoded.extended >= 0)
            return false;
        ui->spinBox_7->setValue(decoded.device);
        ui->spinBox_8->setValue(decoded.function);
        ui->tabWidget->setCurrentIndex(3);
        return true;
    default: // the dialog makes none of the other protocols
        break;
    }
    return false;
}

// Runs after accept() in the same emission of accepted(), so the text is
// ready by the time exec() returns.
void IRCodeGeneratorDialog::on_buttonBox_accepted()
{
    IRCode irCode;
    switch (ui->tabWidget->currentIndex()) {
    case 0:
        IRCode::generateRC5(&irCode, ui->checkBox->isChecked(), quint8(ui->spinBox->value()),
                            quint8(ui->spinBox_2->value()));
        break;
    case 1:
        IRCode::generateRC6(&irCode, ui->checkBox_2->isChecked(), quint8(ui->spinBox_3->value()),
                            quint8(ui->spinBox_4->value()));
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
