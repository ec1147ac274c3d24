#include "finddevicesdialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

FindDevicesDialog::FindDevicesDialog(const QStringList &remembered, QWidget *parent)
    : QDialog(parent),
      addressEdit(new QLineEdit(this)),
      problemLabel(new QLabel(this)),
      rememberedList(new QListWidget(this)),
      forgetButton(new QPushButton(tr("Forget"), this)),
      buttons(new QDialogButtonBox(QDialogButtonBox::Cancel, this))
{
    setWindowTitle(tr("Find devices at"));
    addressEdit->setObjectName("addressEdit");
    addressEdit->setPlaceholderText(tr("10.1.2.7, 10.1.2.10-10.1.2.60 or 10.1.2.0/24"));
    problemLabel->setObjectName("problemLabel");
    problemLabel->setWordWrap(true);
    rememberedList->setObjectName("rememberedList");
    rememberedList->addItems(remembered);
    rememberedList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    forgetButton->setObjectName("forgetButton");
    forgetButton->setEnabled(false);
    QPushButton *find = buttons->addButton(tr("Find"), QDialogButtonBox::AcceptRole);
    find->setObjectName("findButton");
    find->setDefault(true);

    auto *prompt = new QLabel(tr("Devices behind a router do not hear the broadcast beacon. "
                                 "Send it to an IPv4 address, a range or a block from /20 "
                                 "to /32:"),
                              this);
    prompt->setWordWrap(true);
    prompt->setBuddy(addressEdit);
    auto *listLabel = new QLabel(tr("Also probed with every beacon:"), this);
    listLabel->setBuddy(rememberedList);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addWidget(addressEdit);
    layout->addWidget(problemLabel);
    layout->addWidget(listLabel);
    layout->addWidget(rememberedList);
    layout->addWidget(forgetButton, 0, Qt::AlignRight);
    layout->addWidget(buttons);

    connect(addressEdit, &QLineEdit::textChanged, this, &FindDevicesDialog::check);
    connect(rememberedList, &QListWidget::itemSelectionChanged, this,
            [this] { forgetButton->setEnabled(!rememberedList->selectedItems().isEmpty()); });
    connect(forgetButton, &QPushButton::clicked, this, &FindDevicesDialog::forgetSelected);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    check();
}

FindDevicesDialog::~FindDevicesDialog() = default;

QStringList FindDevicesDialog::remembered() const
{
    QStringList texts;
    for (int i = 0; i < rememberedList->count(); ++i)
        texts.append(rememberedList->item(i)->text());
    return texts;
}

void FindDevicesDialog::check()
{
    QString problem;
    entered = AddressRange::parse(addressEdit->text(), &problem);
    // No complaint before anything is typed.
    problemLabel->setText(addressEdit->text().trimmed().isEmpty() ? QString() : problem);
    if (entered.isValid())
        problemLabel->setText(entered.count() == 1
                                  ? tr("1 address to probe")
                                  : tr("%1 addresses to probe").arg(entered.count()));
    for (QAbstractButton *button : buttons->buttons()) {
        if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole)
            button->setEnabled(entered.isValid());
    }
}

void FindDevicesDialog::forgetSelected()
{
    qDeleteAll(rememberedList->selectedItems());
}
