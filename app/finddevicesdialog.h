#pragma once

#include <QDialog>
#include <QStringList>

#include "addressrange.h"

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// Asks for one address, range or CIDR block to probe by unicast, and lists
// the ranges already remembered (probed with every beacon), which the user
// may forget. "Find" stays disabled, and the reason is shown, while the
// text is no range that may be probed.
class FindDevicesDialog : public QDialog
{
    Q_OBJECT

public:
    explicit FindDevicesDialog(const QStringList &remembered, QWidget *parent = nullptr);
    ~FindDevicesDialog() override;

    AddressRange range() const { return entered; }
    QStringList remembered() const;

private:
    void check();
    void forgetSelected();

    AddressRange entered;
    QLineEdit *addressEdit;
    QLabel *problemLabel;
    QListWidget *rememberedList;
    QPushButton *forgetButton;
    QDialogButtonBox *buttons;
};
