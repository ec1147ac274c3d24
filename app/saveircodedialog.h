#pragma once

#include <QDialog>

#include "site.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

// "Save code…": the name and equipment of the CCF field's code, and the
// ports it is for (the ticked ones to start). OK adds it to the site; a
// name the equipment already has is refused and the dialog stays open.
class SaveIrCodeDialog : public QDialog
{
    Q_OBJECT

public:
    SaveIrCodeDialog(const Site &site, const SiteIrCode &code, const QString &equipment,
                     const QList<int> &ports, QWidget *parent = nullptr);

    // The site with the code added; valid after the dialog was accepted.
    Site result() const { return after; }

    void accept() override;

private:
    Site before;
    Site after;
    SiteIrCode code;
    QLineEdit *nameEdit;
    QComboBox *equipmentBox;
    QCheckBox *portBoxes[4];
    QLabel *problemLabel;
};
