#pragma once

#include <QDialog>
#include <QString>

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

private slots:
    void on_buttonBox_accepted();

private:
    QString code;
    Ui::IRCodeGeneratorDialog *ui;
};
