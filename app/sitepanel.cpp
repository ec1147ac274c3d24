#include "sitepanel.h"
#include "ui_mainwindow.h"

#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

#include "devicepage.h"
#include "kovtableproxy.h"
#include "sitesession.h"

namespace {
// Empty rows of the panel's form: above the IP address, and after the MAC.
constexpr int NameRow = 0;
constexpr int LocationRow = 1;
constexpr int NotesRow = 6;
} // namespace

SitePanel::SitePanel(Ui::MainWindow *ui, DevicePage *page, SiteSession *sites, QWidget *window)
    : QObject(window), ui(ui), page(page), sites(sites), window(window)
{
    nameEdit = addField(NameRow, tr("Name"), "siteName", &nameLabel);
    locationEdit = addField(LocationRow, tr("Location"), "siteLocation", &locationLabel);
    notesEdit = addField(NotesRow, tr("Notes"), "siteNotes", &notesLabel);
    nameEdit->setPlaceholderText(tr("Name the device to keep it in the site"));

    QItemSelectionModel *selection = ui->tableView->selectionModel();
    connect(selection, &QItemSelectionModel::selectionChanged, this, &SitePanel::update);
    connect(selection, &QItemSelectionModel::currentChanged, this, &SitePanel::update);
    KovTableProxy *proxy = page->model();
    connect(proxy, &QAbstractItemModel::dataChanged, this, &SitePanel::update);
    connect(proxy, &QAbstractItemModel::modelReset, this, &SitePanel::update);
    connect(proxy, &QAbstractItemModel::layoutChanged, this, &SitePanel::update);
    setSiteOpen(false);
}

SitePanel::~SitePanel() = default;

QLineEdit *SitePanel::addField(int row, const QString &label, const char *name, QLabel **labelOut)
{
    auto *edit = new QLineEdit(ui->frame);
    edit->setObjectName(QString::fromLatin1(name));
    auto *text = new QLabel(label, ui->frame);
    text->setObjectName(QString::fromLatin1(name) + QStringLiteral("Label"));
    text->setBuddy(edit);
    ui->formLayout->setWidget(row, QFormLayout::LabelRole, text);
    ui->formLayout->setWidget(row, QFormLayout::FieldRole, edit);
    connect(edit, &QLineEdit::editingFinished, this, &SitePanel::commit);
    *labelOut = text;
    return edit;
}

void SitePanel::setSiteOpen(bool open)
{
    siteOpen = open;
    for (QWidget *widget :
         {static_cast<QWidget *>(nameLabel), static_cast<QWidget *>(nameEdit),
          static_cast<QWidget *>(locationLabel), static_cast<QWidget *>(locationEdit),
          static_cast<QWidget *>(notesLabel), static_cast<QWidget *>(notesEdit)})
        widget->setVisible(open);
    shownMac.clear();
    update();
}

void SitePanel::update()
{
    if (committing)
        return;
    const QSharedPointer<KovInfo> kov = siteOpen ? page->currentKov() : QSharedPointer<KovInfo>();
    const QString mac = kov ? kov->mac : QString();
    const bool other = mac != shownMac;
    shownMac = mac;
    const QList<std::pair<QLineEdit *, QString>> fields{{nameEdit, kov ? kov->name : QString()},
                                                        {locationEdit,
                                                         kov ? kov->location : QString()},
                                                        {notesEdit, kov ? kov->notes : QString()}};
    for (const auto &[edit, text] : fields) {
        // A reply does not undo what the user is typing.
        if ((other || !edit->isModified()) && edit->text() != text) {
            edit->setText(text);
            edit->setModified(false);
        }
    }
}

bool SitePanel::commit()
{
    if (!siteOpen || shownMac.isEmpty() || committing)
        return true;
    if (!nameEdit->isModified() && !locationEdit->isModified() && !notesEdit->isModified())
        return true;
    const QSharedPointer<KovInfo> kov = sites->kovOf(shownMac);
    const QString name = nameEdit->text().trimmed();
    const QString location = locationEdit->text().trimmed();
    const QString notes = notesEdit->text().trimmed();
    // A device the site does not hold is added only once it is named.
    if (kov && !kov->inSite && name.isEmpty() && location.isEmpty() && notes.isEmpty())
        return true;
    if (kov && kov->name == name && kov->location == location && kov->notes == notes) {
        for (QLineEdit *edit : {nameEdit, locationEdit, notesEdit})
            edit->setModified(false);
        return true;
    }
    committing = true;
    QString error;
    const bool saved = sites->setFields(shownMac, name, location, notes, &error);
    for (QLineEdit *edit : {nameEdit, locationEdit, notesEdit})
        edit->setModified(false);
    committing = false;
    if (!saved) {
        update();
        QMessageBox::warning(window, tr("Device not renamed"),
                             tr("The site keeps the device as it was: %1.").arg(error),
                             QMessageBox::Ok, QMessageBox::NoButton);
        return false;
    }
    update();
    return true;
}
