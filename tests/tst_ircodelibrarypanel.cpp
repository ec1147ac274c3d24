#include "ircodelibrarypanel.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include "irprotocols.h"
#include "mainwindow.h"
#include "sitecontroller.h"
#include "sitefile.h"
#include "windowtestutil.h"

// The site's codes in the real window: hidden with no site, a pick fills
// the CCF field, "Save code…" stores the field's code (refusing a name the
// equipment has), an import shows its counts and stores on OK only.
class tst_IRCodeLibraryPanel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void hiddenWithoutSite();
    void pickFillsTheField();
    void saveCode_data();
    void saveCode();
    void importStoresOnOkOnly();

private:
    template<typename T>
    T *child(const char *name)
    {
        return window->findChild<T *>(name);
    }
    Site siteOnDisk();
    // Runs what the next modal dialog should do, once it is up.
    void whenModal(std::function<void(QWidget *)> act);

    QTemporaryDir dir;
    QString sitePath;
    QScopedPointer<MainWindow> window;
};

void tst_IRCodeLibraryPanel::init()
{
    WindowTest::failOnBrokenSlotNames();
    sitePath = dir.filePath(QStringLiteral("site-%1.kovsite").arg(QTest::currentTestFunction()));
    QFile file(sitePath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        R"({"format": "kov-site", "version": 1, "name": "Aurora", "ranges": [], "devices": [],
        "irCodes": [
          {"equipment": "Lobby TV", "name": "Power", "protocol": "nec1", "device": 4, "function": 8, "ports": [2, 3]},
          {"equipment": "Bar amplifier", "name": "Mute", "pronto": "0000 006D 0000 0001 0016 0016"}]})");
    file.close();
    // The settings outlive a run; the last run's site is gone with its folder.
    QSettings().remove(SiteController::LastSiteKey);
    window.reset(new MainWindow);
}

void tst_IRCodeLibraryPanel::cleanup()
{
    window.reset();
}

Site tst_IRCodeLibraryPanel::siteOnDisk()
{
    SiteFile file;
    QString error;
    if (!file.open(sitePath, &error))
        qWarning() << error;
    return file.site();
}

void tst_IRCodeLibraryPanel::whenModal(std::function<void(QWidget *)> act)
{
    QTimer::singleShot(0, this, [act] {
        QWidget *modal = QApplication::activeModalWidget();
        QVERIFY(modal);
        act(modal);
    });
}

void tst_IRCodeLibraryPanel::hiddenWithoutSite()
{
    window->show();
    auto *panel = child<IRCodeLibraryPanel>("irCodeLibraryPanel");
    auto *action = child<QAction>("actionImportIrCodes");
    QVERIFY(panel && action);
    QVERIFY(!panel->isVisible());
    QVERIFY(!action->isEnabled());
    QVERIFY(child<SiteController>("siteController")->openSite(sitePath, false));
    QVERIFY(panel->isVisible());
    QVERIFY(action->isEnabled());
    child<SiteController>("siteController")->closeSite();
    QVERIFY(!panel->isVisible());
}

void tst_IRCodeLibraryPanel::pickFillsTheField()
{
    QVERIFY(child<SiteController>("siteController")->openSite(sitePath, false));
    auto *tree = child<QTreeWidget>("irCodeTree");
    QCOMPARE(tree->topLevelItemCount(), 2);
    QCOMPARE(tree->topLevelItem(0)->text(0), QString("Lobby TV"));
    QString expected, error;
    QVERIFY(IRProtocols::render({"nec1", 4, -1, 8}, &expected, &error));
    tree->setFocus();
    tree->setCurrentItem(tree->topLevelItem(0)->child(0));
    QCOMPARE(child<QLineEdit>("lineEdit")->text(), expected);
    QVERIFY(!child<QCheckBox>("checkBox")->isChecked());
    QVERIFY(child<QCheckBox>("checkBox_2")->isChecked()
            && child<QCheckBox>("checkBox_3")->isChecked());
    // By keyboard: down to the next group's code.
    QTest::keyClick(tree, Qt::Key_Down);
    QTest::keyClick(tree, Qt::Key_Down);
    QCOMPARE(child<QLineEdit>("lineEdit")->text(), QString("0000 006D 0000 0001 0016 0016"));
}

void tst_IRCodeLibraryPanel::saveCode_data()
{
    QTest::addColumn<QString>("ccf");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("protocol"); // empty: kept as Pronto text
    QTest::addColumn<QString>("problem");  // the refusal shown in the dialog
    QString necx2, error;
    QVERIFY(IRProtocols::render({"necx2", 7, 7, 2}, &necx2, &error));
    QTest::newRow("a built code is kept as parameters") << necx2 << "Input"
                                                        << "necx2"
                                                        << "";
    QTest::newRow("a learned code as Pronto text") << "0000 0073 0000 0001 0020 0020"
                                                   << "Volume"
                                                   << ""
                                                   << "";
    QTest::newRow("a name the equipment has is refused")
        << "0000 0073 0000 0001 0020 0020"
        << "power"
        << ""
        << "\"Lobby TV\" already has a code named \"power\"";
}

void tst_IRCodeLibraryPanel::saveCode()
{
    QFETCH(QString, ccf);
    QFETCH(QString, name);
    QFETCH(QString, protocol);
    QFETCH(QString, problem);
    QVERIFY(child<SiteController>("siteController")->openSite(sitePath, false));
    child<QLineEdit>("lineEdit")->setText(ccf);
    child<QCheckBox>("checkBox_4")->setChecked(true);
    QString shown;
    whenModal([&](QWidget *dialog) {
        dialog->findChild<QLineEdit *>("irCodeNameEdit")->setText(name);
        dialog->findChild<QComboBox *>("irCodeEquipmentBox")->setCurrentText("Lobby TV");
        QVERIFY(dialog->findChild<QCheckBox *>("irCodePort4Box")->isChecked());
        QMetaObject::invokeMethod(dialog, "accept");
        shown = dialog->findChild<QLabel *>("irCodeProblemLabel")->text();
        if (dialog->isVisible())
            QMetaObject::invokeMethod(dialog, "reject");
    });
    child<QPushButton>("saveIrCodeButton")->click();
    QCOMPARE(shown, problem);
    const Site site = siteOnDisk();
    const int index = site.indexOfCode("Lobby TV", name);
    if (!problem.isEmpty()) {
        QCOMPARE(site.irCodes.size(), 2);
        return;
    }
    QVERIFY(index >= 0);
    const SiteIrCode &code = site.irCodes.at(index);
    QCOMPARE(code.protocol, protocol);
    QCOMPARE(code.pronto, protocol.isEmpty() ? ccf : QString());
    QCOMPARE(code.ports, (QList<int>{1, 4}));
}

void tst_IRCodeLibraryPanel::importStoresOnOkOnly()
{
    QVERIFY(child<SiteController>("siteController")->openSite(sitePath, false));
    const QString csv = dir.filePath("dvd.csv");
    QFile file(csv);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        "functionname,protocol,device,subdevice,function\nPLAY,NEC,5,-1,1\nEJECT,Aiwa,1,-1,2\n");
    file.close();
    auto *panel = child<IRCodeLibraryPanel>("irCodeLibraryPanel");
    QString report;
    whenModal([&](QWidget *dialog) {
        report = dialog->findChild<QPlainTextEdit *>("irImportReport")->toPlainText();
        QMetaObject::invokeMethod(dialog, "reject");
    });
    QVERIFY(!panel->importCodes(csv));
    QCOMPARE(report, QString("1 code: nec1 1\nnec1: 1\n\nSkipped:\n"
                             "1 code in protocol Aiwa: not supported"));
    QCOMPARE(siteOnDisk().irCodes.size(), 2);
    whenModal([](QWidget *dialog) { QMetaObject::invokeMethod(dialog, "accept"); });
    QVERIFY(panel->importCodes(csv));
    QVERIFY(siteOnDisk().indexOfCode("dvd", "PLAY") >= 0);
    QCOMPARE(child<QTreeWidget>("irCodeTree")->topLevelItemCount(), 3);
}

QTEST_MAIN(tst_IRCodeLibraryPanel)
#include "tst_ircodelibrarypanel.moc"
