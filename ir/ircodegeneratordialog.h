#pragma once

#include <QDialog>
#include <QString>

#include "irdecoder.h"

namespace Ui {
class IRCodeGeneratorDialog;
}

// Builds an IR code from protocol parameters (one tab per protocol) and
// keeps its CCF text for the main window's CCF field.
class IRCodeGeneratorDialog : public QDialog
{
    Q_OBJECT

public:
    explicit IRCodeGeneratorDialog(QWidget *parent = nullptr);
    ~IRCodeGeneratorDialog() override;

    QString getCode();
    // Shows a decoded code's tab with its values, ready to be changed and
    // taken with OK. Returns false and changes nothing for a code this
    // dialog cannot make (RC5 functions above 63, a NEC address of two
    // independent bytes, NEC repeat frames, anything not recognised).
    bool prefill(const IRDecoder::Result &decoded);

private slots:
    void on_buttonBox_accepted();

private:
    QString code;
    Ui::IRCodeGeneratorDialog *ui;
};
