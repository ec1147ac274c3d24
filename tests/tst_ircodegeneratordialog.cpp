#include "ircode.h"
#include "ircodegeneratordialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QtTest>

namespace {

const QString rc5Example = QStringLiteral(
    "0000 0073 0000 000D 0020 0020 0040 0020 0020 0020 0020 0020 0020 0020 0020 0020 0020 0020 "
    "0020 0020 0020 0020 0020 0020 0020 0020 0020 0020 0020 1008");

template<typename T>
T *child(QObject *parent, const char *name)
{
    T *found = parent->findChild<T *>(QLatin1String(name));
    if (!found)
        qWarning("missing %s", name);
    return found;
}

void press(QDialog &dialog, QDialogButtonBox::StandardButton which)
{
    auto *box = dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QVERIFY(box);
    QPushButton *button = box->button(which);
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
}

// Opens the dialog modally as the main window does and presses a button
// from inside its event loop. A dialog that fails to close ends with -1.
int execAndPress(QDialog &dialog, QDialogButtonBox::StandardButton which)
{
    QTimer::singleShot(0, &dialog, [&dialog, which] {
        press(dialog, which);
        if (dialog.isVisible())
            dialog.done(-1);
    });
    return dialog.exec();
}

QStringList wordsOf(const QString &ccf)
{
    return ccf.split(QLatin1Char(' '));
}

} // namespace

class tst_IRCodeGeneratorDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void window();
    void widgets_data();
    void widgets();
    void formRows_data();
    void formRows();
    void tabsAndCombo();
    void verticalLayoutOrder();
    void firstOkGivesRc5Default();
    void okWithOpen();
    void cancelKeepsCode_data();
    void cancelKeepsCode();
    void settingsSurviveReopening();
    void eachTabDrivesItsGenerator_data();
    void eachTabDrivesItsGenerator();
    void sircWidthChoosesAddressBits_data();
    void sircWidthChoosesAddressBits();
    void necAlwaysSendsComplement_data();
    void necAlwaysSendsComplement();
    void toggleIsNeverFlipped();
};

void tst_IRCodeGeneratorDialog::init()
{
    // A misnamed slot or a broken form connection must fail, not leave a
    // button dead.
    QTest::failOnWarning(
        QRegularExpression(QStringLiteral("connectSlotsByName|No such signal|No such slot")));
}

void tst_IRCodeGeneratorDialog::window()
{
    IRCodeGeneratorDialog dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("IRCodeGeneratorDialog"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("IR Code Generator"));
    QCOMPARE(dialog.size(), QSize(400, 300));
    QVERIFY(dialog.isWindow());
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.getCode(), QString());
    QVERIFY(dialog.getCode().isEmpty());

    const QMetaObject *meta = dialog.metaObject();
    QCOMPARE(meta->className(), "IRCodeGeneratorDialog");
    QCOMPARE(meta->methodCount() - meta->methodOffset(), 1);
    QCOMPARE(meta->method(meta->methodOffset()).methodSignature(),
             QByteArray("on_buttonBox_accepted()"));
    QCOMPARE(meta->method(meta->methodOffset()).access(), QMetaMethod::Private);
}

void tst_IRCodeGeneratorDialog::widgets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("maximum");

    QTest::newRow("label") << "label"
                           << "QLabel"
                           << "Address" << -1;
    QTest::newRow("spinBox") << "spinBox"
                             << "QSpinBox" << QString() << 31;
    QTest::newRow("label_2") << "label_2"
                             << "QLabel"
                             << "Command" << -1;
    QTest::newRow("spinBox_2") << "spinBox_2"
                               << "QSpinBox" << QString() << 63;
    QTest::newRow("checkBox") << "checkBox"
                              << "QCheckBox"
                              << "Toggle" << -1;
    QTest::newRow("label_3") << "label_3"
                             << "QLabel"
                             << "Address" << -1;
    QTest::newRow("spinBox_3") << "spinBox_3"
                               << "QSpinBox" << QString() << 255;
    QTest::newRow("label_4") << "label_4"
                             << "QLabel"
                             << "Command" << -1;
    QTest::newRow("spinBox_4") << "spinBox_4"
                               << "QSpinBox" << QString() << 255;
    QTest::newRow("checkBox_2") << "checkBox_2"
                                << "QCheckBox"
                                << "Toggle" << -1;
    QTest::newRow("label_5") << "label_5"
                             << "QLabel"
                             << "Bits" << -1;
    QTest::newRow("comboBox") << "comboBox"
                              << "QComboBox" << QString() << -1;
    QTest::newRow("label_6") << "label_6"
                             << "QLabel"
                             << "Address" << -1;
    QTest::newRow("spinBox_5") << "spinBox_5"
                               << "QSpinBox" << QString() << 8191;
    QTest::newRow("label_7") << "label_7"
                             << "QLabel"
                             << "Command" << -1;
    QTest::newRow("spinBox_6") << "spinBox_6"
                               << "QSpinBox" << QString() << 127;
    QTest::newRow("label_8") << "label_8"
                             << "QLabel"
                             << "Address" << -1;
    QTest::newRow("spinBox_7") << "spinBox_7"
                               << "QSpinBox" << QString() << 255;
    QTest::newRow("label_9") << "label_9"
                             << "QLabel"
                             << "Command" << -1;
    QTest::newRow("spinBox_8") << "spinBox_8"
                               << "QSpinBox" << QString() << 255;
    QTest::newRow("tabWidget") << "tabWidget"
                               << "QTabWidget" << QString() << -1;
    QTest::newRow("tab") << "tab"
                         << "QWidget" << QString() << -1;
    QTest::newRow("tab_2") << "tab_2"
                           << "QWidget" << QString() << -1;
    QTest::newRow("tab_3") << "tab_3"
                           << "QWidget" << QString() << -1;
    QTest::newRow("tab_4") << "tab_4"
                           << "QWidget" << QString() << -1;
    QTest::newRow("line") << "line"
                          << "QFrame" << QString() << -1;
    QTest::newRow("buttonBox") << "buttonBox"
                               << "QDialogButtonBox" << QString() << -1;
    QTest::newRow("verticalLayout") << "verticalLayout"
                                    << "QVBoxLayout" << QString() << -1;
    QTest::newRow("formLayout") << "formLayout"
                                << "QFormLayout" << QString() << -1;
    QTest::newRow("formLayout_3") << "formLayout_3"
                                  << "QFormLayout" << QString() << -1;
    QTest::newRow("formLayout_2") << "formLayout_2"
                                  << "QFormLayout" << QString() << -1;
    QTest::newRow("formLayout_4") << "formLayout_4"
                                  << "QFormLayout" << QString() << -1;
}

void tst_IRCodeGeneratorDialog::widgets()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, text);
    QFETCH(int, maximum);

    IRCodeGeneratorDialog dialog;
    const QList<QObject *> matches = dialog.findChildren<QObject *>(name);
    QCOMPARE(matches.size(), 1);
    QObject *object = matches.first();
    QCOMPARE(QString::fromLatin1(object->metaObject()->className()), className);

    if (auto *label = qobject_cast<QLabel *>(object))
        QCOMPARE(label->text(), text);
    if (auto *check = qobject_cast<QCheckBox *>(object)) {
        QCOMPARE(check->text(), text);
        QVERIFY(!check->isChecked());
    }
    if (auto *spin = qobject_cast<QSpinBox *>(object)) {
        QCOMPARE(spin->minimum(), 0);
        QCOMPARE(spin->maximum(), maximum);
        QCOMPARE(spin->value(), 0);
    }
    if (auto *line = qobject_cast<QFrame *>(object);
        line && className == QLatin1String("QFrame")) {
        QCOMPARE(line->frameShape(), QFrame::HLine);
        QCOMPARE(line->frameShadow(), QFrame::Sunken);
    }
    if (auto *box = qobject_cast<QDialogButtonBox *>(object)) {
        QCOMPARE(box->orientation(), Qt::Horizontal);
        QCOMPARE(box->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    }
}

void tst_IRCodeGeneratorDialog::formRows_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("widget");
    QTest::addColumn<int>("row");
    QTest::addColumn<QFormLayout::ItemRole>("role");

    using F = QFormLayout;
    QTest::newRow("RC5 label") << "formLayout"
                               << "tab"
                               << "label" << 0 << F::LabelRole;
    QTest::newRow("RC5 address") << "formLayout"
                                 << "tab"
                                 << "spinBox" << 0 << F::FieldRole;
    QTest::newRow("RC5 label_2") << "formLayout"
                                 << "tab"
                                 << "label_2" << 1 << F::LabelRole;
    QTest::newRow("RC5 command") << "formLayout"
                                 << "tab"
                                 << "spinBox_2" << 1 << F::FieldRole;
    QTest::newRow("RC5 toggle in label column") << "formLayout"
                                                << "tab"
                                                << "checkBox" << 2 << F::LabelRole;
    QTest::newRow("RC6 label_3") << "formLayout_3"
                                 << "tab_2"
                                 << "label_3" << 0 << F::LabelRole;
    QTest::newRow("RC6 address") << "formLayout_3"
                                 << "tab_2"
                                 << "spinBox_3" << 0 << F::FieldRole;
    QTest::newRow("RC6 label_4") << "formLayout_3"
                                 << "tab_2"
                                 << "label_4" << 1 << F::LabelRole;
    QTest::newRow("RC6 command") << "formLayout_3"
                                 << "tab_2"
                                 << "spinBox_4" << 1 << F::FieldRole;
    QTest::newRow("RC6 toggle spanning") << "formLayout_3"
                                         << "tab_2"
                                         << "checkBox_2" << 2 << F::SpanningRole;
    QTest::newRow("SIRC label_5") << "formLayout_2"
                                  << "tab_3"
                                  << "label_5" << 0 << F::LabelRole;
    QTest::newRow("SIRC bits") << "formLayout_2"
                               << "tab_3"
                               << "comboBox" << 0 << F::FieldRole;
    QTest::newRow("SIRC label_6") << "formLayout_2"
                                  << "tab_3"
                                  << "label_6" << 1 << F::LabelRole;
    QTest::newRow("SIRC address") << "formLayout_2"
                                  << "tab_3"
                                  << "spinBox_5" << 1 << F::FieldRole;
    QTest::newRow("SIRC label_7") << "formLayout_2"
                                  << "tab_3"
                                  << "label_7" << 2 << F::LabelRole;
    QTest::newRow("SIRC command") << "formLayout_2"
                                  << "tab_3"
                                  << "spinBox_6" << 2 << F::FieldRole;
    QTest::newRow("NEC label_8") << "formLayout_4"
                                 << "tab_4"
                                 << "label_8" << 0 << F::LabelRole;
    QTest::newRow("NEC address") << "formLayout_4"
                                 << "tab_4"
                                 << "spinBox_7" << 0 << F::FieldRole;
    QTest::newRow("NEC label_9") << "formLayout_4"
                                 << "tab_4"
                                 << "label_9" << 1 << F::LabelRole;
    QTest::newRow("NEC command") << "formLayout_4"
                                 << "tab_4"
                                 << "spinBox_8" << 1 << F::FieldRole;
}

void tst_IRCodeGeneratorDialog::formRows()
{
    QFETCH(QString, layout);
    QFETCH(QString, page);
    QFETCH(QString, widget);
    QFETCH(int, row);
    QFETCH(QFormLayout::ItemRole, role);

    IRCodeGeneratorDialog dialog;
    auto *form = dialog.findChild<QFormLayout *>(layout);
    auto *pageWidget = dialog.findChild<QWidget *>(page);
    auto *item = dialog.findChild<QWidget *>(widget);
    QVERIFY(form && pageWidget && item);
    QCOMPARE(pageWidget->layout(), form);
    QCOMPARE(item->parentWidget(), pageWidget);

    int actualRow = -1;
    QFormLayout::ItemRole actualRole = QFormLayout::LabelRole;
    form->getWidgetPosition(item, &actualRow, &actualRole);
    QCOMPARE(actualRow, row);
    QCOMPARE(actualRole, role);
}

void tst_IRCodeGeneratorDialog::tabsAndCombo()
{
    IRCodeGeneratorDialog dialog;
    auto *tabs = child<QTabWidget>(&dialog, "tabWidget");
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 4);
    QCOMPARE(tabs->currentIndex(), 0);
    const char *pages[] = {"tab", "tab_2", "tab_3", "tab_4"};
    const QStringList titles = {"RC5", "RC6", "SIRC", "NEC"};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(tabs->widget(i)->objectName(), QLatin1String(pages[i]));
        QCOMPARE(tabs->tabText(i), titles.at(i));
    }

    auto *combo = child<QComboBox>(&dialog, "comboBox");
    QVERIFY(combo);
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    QCOMPARE(items, (QStringList{"12", "15", "20"}));
    QCOMPARE(combo->currentText(), QStringLiteral("12"));
}

void tst_IRCodeGeneratorDialog::verticalLayoutOrder()
{
    IRCodeGeneratorDialog dialog;
    auto *layout = child<QVBoxLayout>(&dialog, "verticalLayout");
    QVERIFY(layout);
    QCOMPARE(dialog.layout(), layout);
    QCOMPARE(layout->count(), 3);
    QCOMPARE(layout->itemAt(0)->widget()->objectName(), QStringLiteral("tabWidget"));
    QCOMPARE(layout->itemAt(1)->widget()->objectName(), QStringLiteral("line"));
    QCOMPARE(layout->itemAt(2)->widget()->objectName(), QStringLiteral("buttonBox"));
}

void tst_IRCodeGeneratorDialog::firstOkGivesRc5Default()
{
    IRCodeGeneratorDialog dialog;
    QCOMPARE(execAndPress(dialog, QDialogButtonBox::Ok), int(QDialog::Accepted));
    // Ready when exec() returns, as the main window reads it right then.
    QCOMPARE(dialog.getCode(), rc5Example);
    QVERIFY(!dialog.isVisible());
}

void tst_IRCodeGeneratorDialog::okWithOpen()
{
    IRCodeGeneratorDialog dialog;
    QSignalSpy accepted(&dialog, SIGNAL(accepted()));
    QSignalSpy finished(&dialog, SIGNAL(finished(int)));
    dialog.open();
    QVERIFY(dialog.isVisible());
    press(dialog, QDialogButtonBox::Ok);
    QCOMPARE(accepted.size(), 1);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().toInt(), int(QDialog::Accepted));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.getCode(), rc5Example);
}

void tst_IRCodeGeneratorDialog::cancelKeepsCode_data()
{
    QTest::addColumn<QString>("how");

    QTest::newRow("Cancel button") << "cancel";
    QTest::newRow("Escape key") << "escape";
    QTest::newRow("window closed") << "close";
}

void tst_IRCodeGeneratorDialog::cancelKeepsCode()
{
    QFETCH(QString, how);

    IRCodeGeneratorDialog dialog;
    QCOMPARE(execAndPress(dialog, QDialogButtonBox::Ok), int(QDialog::Accepted));
    const QString before = dialog.getCode();
    QCOMPARE(before, rc5Example);

    dialog.open();
    child<QSpinBox>(&dialog, "spinBox")->setValue(17);
    child<QCheckBox>(&dialog, "checkBox")->setChecked(true);
    child<QTabWidget>(&dialog, "tabWidget")->setCurrentIndex(3);
    child<QSpinBox>(&dialog, "spinBox_7")->setValue(99);
    if (how == QLatin1String("cancel"))
        press(dialog, QDialogButtonBox::Cancel);
    else if (how == QLatin1String("escape"))
        QTest::keyClick(&dialog, Qt::Key_Escape);
    else
        dialog.close();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(dialog.getCode(), before);
}

void tst_IRCodeGeneratorDialog::settingsSurviveReopening()
{
    IRCodeGeneratorDialog dialog;
    QTimer::singleShot(0, &dialog, [&dialog] {
        child<QTabWidget>(&dialog, "tabWidget")->setCurrentIndex(2);
        child<QComboBox>(&dialog, "comboBox")->setCurrentIndex(1);
        child<QSpinBox>(&dialog, "spinBox_5")->setValue(200);
        child<QSpinBox>(&dialog, "spinBox_6")->setValue(77);
        child<QCheckBox>(&dialog, "checkBox_2")->setChecked(true);
        press(dialog, QDialogButtonBox::Cancel);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QCOMPARE(dialog.getCode(), QString());

    // Reopened: everything as it was left, and OK builds from it.
    dialog.open();
    QCOMPARE(child<QTabWidget>(&dialog, "tabWidget")->currentIndex(), 2);
    QCOMPARE(child<QComboBox>(&dialog, "comboBox")->currentText(), QStringLiteral("15"));
    QCOMPARE(child<QSpinBox>(&dialog, "spinBox_5")->value(), 200);
    QCOMPARE(child<QSpinBox>(&dialog, "spinBox_6")->value(), 77);
    QVERIFY(child<QCheckBox>(&dialog, "checkBox_2")->isChecked());
    press(dialog, QDialogButtonBox::Ok);

    IRCode expected;
    IRCode::generateSIRC(&expected, 15, 200, 77);
    QCOMPARE(dialog.getCode(), expected.toCCF());

    // And the OK'd state survives a further opening too.
    QCOMPARE(execAndPress(dialog, QDialogButtonBox::Cancel), int(QDialog::Rejected));
    QCOMPARE(child<QTabWidget>(&dialog, "tabWidget")->currentIndex(), 2);
    QCOMPARE(dialog.getCode(), expected.toCCF());
}

void tst_IRCodeGeneratorDialog::eachTabDrivesItsGenerator_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<bool>("toggle");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("bitsIndex");

    // Address and command differ so that swapped fields would show.
    QTest::newRow("RC5") << 0 << false << 21 << 42 << 0;
    QTest::newRow("RC5 toggled") << 0 << true << 1 << 63 << 0;
    QTest::newRow("RC6") << 1 << false << 200 << 17 << 0;
    QTest::newRow("RC6 toggled") << 1 << true << 3 << 254 << 0;
    QTest::newRow("SIRC 12") << 2 << false << 30 << 100 << 0;
    QTest::newRow("SIRC 15") << 2 << false << 250 << 3 << 1;
    QTest::newRow("SIRC 20") << 2 << false << 5000 << 64 << 2;
    QTest::newRow("NEC") << 3 << false << 12 << 240 << 0;
}

void tst_IRCodeGeneratorDialog::eachTabDrivesItsGenerator()
{
    QFETCH(int, tab);
    QFETCH(bool, toggle);
    QFETCH(int, address);
    QFETCH(int, command);
    QFETCH(int, bitsIndex);

    IRCodeGeneratorDialog dialog;
    // Fill every tab, so a generator reading the wrong tab's fields shows.
    const char *addresses[] = {"spinBox", "spinBox_3", "spinBox_5", "spinBox_7"};
    const char *commands[] = {"spinBox_2", "spinBox_4", "spinBox_6", "spinBox_8"};
    for (int i = 0; i < 4; ++i) {
        child<QSpinBox>(&dialog, addresses[i])->setValue(i == tab ? address : 11);
        child<QSpinBox>(&dialog, commands[i])->setValue(i == tab ? command : 22);
    }
    child<QCheckBox>(&dialog, "checkBox")->setChecked(tab == 0 ? toggle : true);
    child<QCheckBox>(&dialog, "checkBox_2")->setChecked(tab == 1 ? toggle : true);
    child<QComboBox>(&dialog, "comboBox")->setCurrentIndex(tab == 2 ? bitsIndex : 2);
    child<QTabWidget>(&dialog, "tabWidget")->setCurrentIndex(tab);

    QCOMPARE(execAndPress(dialog, QDialogButtonBox::Ok), int(QDialog::Accepted));

    IRCode expected;
    switch (tab) {
    case 0:
        IRCode::generateRC5(&expected, toggle, quint8(address), quint8(command));
        break;
    case 1:
        IRCode::generateRC6(&expected, toggle, quint8(address), quint8(command));
        break;
    case 2:
        IRCode::generateSIRC(&expected, QList<int>{12, 15, 20}.at(bitsIndex), address, command);
        break;
    default:
        IRCode::generateNEC(&expected, address, command);
        break;
    }
    QVERIFY(!expected.toCCF().isEmpty());
    QCOMPARE(dialog.getCode(), expected.toCCF());
}

void tst_IRCodeGeneratorDialog::sircWidthChoosesAddressBits_data()
{
    QTest::addColumn<QString>("bits");
    QTest::addColumn<int>("words");
    QTest::addColumn<int>("ones");

    QTest::newRow("20 bits send all 13") << "20" << 46 << 13;
    QTest::newRow("15 bits send the low 8") << "15" << 36 << 8;
    QTest::newRow("12 bits send the low 5") << "12" << 30 << 5;
}

void tst_IRCodeGeneratorDialog::sircWidthChoosesAddressBits()
{
    QFETCH(QString, bits);
    QFETCH(int, words);
    QFETCH(int, ones);

    IRCodeGeneratorDialog dialog;
    child<QTabWidget>(&dialog, "tabWidget")->setCurrentIndex(2);
    auto *combo = child<QComboBox>(&dialog, "comboBox");
    combo->setCurrentIndex(combo->findText(bits));
    QCOMPARE(combo->currentText(), bits);
    child<QSpinBox>(&dialog, "spinBox_5")->setValue(8191);
    QCOMPARE(execAndPress(dialog, QDialogButtonBox::Ok), int(QDialog::Accepted));

    // Command 0: every one-bit mark (002F) comes from the address.
    const QStringList w = wordsOf(dialog.getCode());
    QCOMPARE(w.size(), words);
    QCOMPARE(w.count(QStringLiteral("002F")), ones);
}

void tst_IRCodeGeneratorDialog::necAlwaysSendsComplement_data()
{
    QTest::addColumn<int>("address");

    QTest::newRow("0") << 0;
    QTest::newRow("0x5A") << 0x5A;
    QTest::newRow("255, the maximum") << 255;
}

void tst_IRCodeGeneratorDialog::necAlwaysSendsComplement()
{
    QFETCH(int, address);

    IRCodeGeneratorDialog dialog;
    child<QTabWidget>(&dialog, "tabWidget")->setCurrentIndex(3);
    auto *spin = child<QSpinBox>(&dialog, "spinBox_7");
    spin->setValue(address + 1000); // clamped by the range
    QCOMPARE(spin->value(), qMin(address + 1000, 255));
    spin->setValue(address);
    QCOMPARE(execAndPress(dialog, QDialogButtonBox::Ok), int(QDialog::Accepted));

    // The address word's 16 spaces follow the 0156 00AB leader: 0040 for
    // a one, 0015 for a zero, least significant bit first.
    const QStringList w = wordsOf(dialog.getCode());
    QCOMPARE(w.size(), 76);
    int word = 0;
    for (int i = 0; i < 16; ++i) {
        if (w.at(7 + 2 * i) == QLatin1String("0040"))
            word |= 1 << i;
    }
    QCOMPARE(word & 0xFF, address);
    QCOMPARE(word >> 8, ~address & 0xFF);
}

void tst_IRCodeGeneratorDialog::toggleIsNeverFlipped()
{
    IRCodeGeneratorDialog dialog;
    child<QSpinBox>(&dialog, "spinBox")->setValue(5);
    QCOMPARE(execAndPress(dialog, QDialogButtonBox::Ok), int(QDialog::Accepted));
    const QString first = dialog.getCode();
    QCOMPARE(execAndPress(dialog, QDialogButtonBox::Ok), int(QDialog::Accepted));
    QCOMPARE(dialog.getCode(), first);
    QVERIFY(!child<QCheckBox>(&dialog, "checkBox")->isChecked());

    // The user flips it by hand and the code changes.
    child<QCheckBox>(&dialog, "checkBox")->setChecked(true);
    QCOMPARE(execAndPress(dialog, QDialogButtonBox::Ok), int(QDialog::Accepted));
    QVERIFY(dialog.getCode() != first);
}

QTEST_MAIN(tst_IRCodeGeneratorDialog)
#include "tst_ircodegeneratordialog.moc"
