// "Send IR" through the real main window: the CCF text in the line edit is
// checked, and either one warning box is shown and nothing is sent, or one
// IR datagram reaches the selected device, captured on UDP port 5999.

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableView>
#include <QtTest>
#include <functional>

#include "ircode.h"
#include "mainwindow.h"
#include "windowtestutil.h"

using namespace WindowTest;

namespace {

const QString Device = QStringLiteral("10.0.0.5");
const QString Mac = QStringLiteral("00:11:22:33:44:55");

// The five warnings, as (title, text).
const QString TooManyTitle = QStringLiteral("Too many IR pairs");
const QString TooManyText = QStringLiteral("Sorry too many IR Pairs");
const QString TooFewTitle = QStringLiteral("Too few IR pairs");
const QString TooFewText = QStringLiteral("Sorry too few IR Pairs, not a valid CCF string.");
const QString InvalidTitle = QStringLiteral("Invalid CCF");
const QString InvalidValueText = QStringLiteral(
    "An invalid value was encountered in the CCF string");
const QString InvalidStringText = QStringLiteral("Invalid CCF string.");
const QString NoOutputTitle = QStringLiteral("No Output Selected");
const QString NoOutputText = QStringLiteral("You did not select any outputs");

const QList<QPair<QString, QString>> Warnings = {{TooManyTitle, TooManyText},
                                                 {TooFewTitle, TooFewText},
                                                 {InvalidTitle, InvalidValueText},
                                                 {InvalidTitle, InvalidStringText},
                                                 {NoOutputTitle, NoOutputText}};

const QStringList PortBoxes = {"checkBox", "checkBox_2", "checkBox_3", "checkBox_4"};

// n words "0000 0073 P1 P2 d d ..." with P1 + P2 = pairs and 2 x pairs
// duration words: a well-formed code of 4 + 2 x pairs words.
QString wellFormed(int onceBurst, int repeatBurst)
{
    QStringList words{"0000", "0073", QString("%1").arg(onceBurst, 4, 16, QChar('0')),
                      QString("%1").arg(repeatBurst, 4, 16, QChar('0'))};
    for (int i = 0; i < 2 * (onceBurst + repeatBurst); ++i)
        words << QString("%1").arg(0x10 + i % 0x40, 4, 16, QChar('0'));
    return words.join(' ');
}

QString tokens(int count, const QString &token = "0000")
{
    return QStringList(QList<QString>(count, token)).join(' ');
}

QByteArray irDatagram(quint8 mask, quint8 repeats, const QList<quint16> &words)
{
    QByteArray bytes = command(0x00, QByteArray(1, char(mask)) + char(repeats));
    for (quint16 word : words) {
        bytes += char(word >> 8);
        bytes += char(word & 0xff);
    }
    return bytes;
}

QList<quint16> wordsOf(const QString &text)
{
    QList<quint16> words;
    for (const QString &token : text.split(' '))
        words << quint16(token.toUInt(nullptr, 16));
    return words;
}

QString generated(const std::function<void(IRCode *)> &generate)
{
    IRCode code;
    generate(&code);
    return code.toCCF();
}

} // namespace

class tst_IRSend : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void warnings_data();
    void warnings();
    void accepted_data();
    void accepted();
    void noSelectionSendsNothing();
    void badInput_data();
    void badInput();

private:
    template<typename T>
    T *child(const QString &name)
    {
        T *widget = window->findChild<T *>(name);
        if (!widget)
            qWarning("no child %s", qPrintable(name));
        return widget;
    }
    QLineEdit *ccf() { return child<QLineEdit>("lineEdit"); }
    QSpinBox *repeats() { return child<QSpinBox>("spinBox"); }
    void setPorts(int mask)
    {
        for (int bit = 0; bit < 4; ++bit)
            child<QCheckBox>(PortBoxes.at(bit))->setChecked(mask & (1 << bit));
    }
    int ports()
    {
        int mask = 0;
        for (int bit = 0; bit < 4; ++bit)
            mask |= child<QCheckBox>(PortBoxes.at(bit))->isChecked() ? 1 << bit : 0;
        return mask;
    }
    void clickSend() { QTest::mouseClick(child<QPushButton>("pushButton_9"), Qt::LeftButton); }

    DatagramCapture *capture = nullptr;
    MainWindow *window = nullptr;
};

void tst_IRSend::initTestCase()
{
    WindowTest::setProgramIdentity();
}

void tst_IRSend::init()
{
    WindowTest::failOnBrokenSlotNames();

    capture = new DatagramCapture;
    QVERIFY(capture->isBound());
    window = new MainWindow;
    QVERIFY(WindowTest::showWindow(window));
    QTableView *view = child<QTableView>("tableView");
    QVERIFY(view);
    const int row = announceDevice(view->model(), "1.7.0", Device, Mac);
    QVERIFY(row >= 0);
    clickRow(view, row);
    QVERIFY(view->selectionModel()->hasSelection());
    QVERIFY(child<QWidget>("pushButton_9")->isEnabled());
    // The start-up beacon and anything else from before the test.
    QVERIFY(capture->sync());
    capture->clear();
}

void tst_IRSend::cleanup()
{
    delete window;
    window = nullptr;
    delete capture;
    capture = nullptr;
}

void tst_IRSend::warnings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("mask");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");

    const QString six = "0000 0073 0000 0001 0020 0020";

    QTest::newRow("301 tokens") << tokens(301) << 1 << TooManyTitle << TooManyText;
    QTest::newRow("301 empty tokens") << QString(300, ' ') << 1 << TooManyTitle << TooManyText;
    QTest::newRow("301 tokens, some empty")
        << tokens(150) + "  " + tokens(150) << 1 << TooManyTitle << TooManyText;
    QTest::newRow("301 tokens, not hex") << tokens(301, "zz") << 1 << TooManyTitle << TooManyText;
    QTest::newRow("301 tokens, no port") << tokens(301) << 0 << TooManyTitle << TooManyText;
    QTest::newRow("empty field") << "" << 1 << TooFewTitle << TooFewText;
    QTest::newRow("three words") << "0000 0073 0000" << 1 << TooFewTitle << TooFewText;
    QTest::newRow("one word") << "0000" << 1 << TooFewTitle << TooFewText;
    QTest::newRow("three tokens, not hex") << "xx yy zz" << 1 << TooFewTitle << TooFewText;
    QTest::newRow("three tokens, no port") << "0000 0073 0000" << 0 << TooFewTitle << TooFewText;
    QTest::newRow("not hex") << "0000 0073 0000 0001 0020 00G0" << 1 << InvalidTitle
                             << InvalidValueText;
    QTest::newRow("doubled blank")
        << "0000 0073 0000 0001 0020  0020" << 1 << InvalidTitle << InvalidValueText;
    QTest::newRow("leading blank") << " " + six << 1 << InvalidTitle << InvalidValueText;
    QTest::newRow("trailing blank") << six + " " << 1 << InvalidTitle << InvalidValueText;
    QTest::newRow("tab separated")
        << "0000\t0073 0000 0001 0020 0020" << 1 << InvalidTitle << InvalidValueText;
    QTest::newRow("not hex, wrong length")
        << "0000 0073 0000 0005 0020 zz" << 1 << InvalidTitle << InvalidValueText;
    QTest::newRow("not hex, no port")
        << "0000 0073 0000 0001 0020 00G0" << 0 << InvalidTitle << InvalidValueText;
    QTest::newRow("pairs do not add up")
        << "0000 0073 0000 0002 0020 0020" << 1 << InvalidTitle << InvalidStringText;
    QTest::newRow("pairs short by one word")
        << "0000 0073 0000 0001 0020" << 1 << InvalidTitle << InvalidStringText;
    QTest::newRow("pairs beyond 300 words")
        << "0000 0073 7fff 7fff 0020 0020" << 1 << InvalidTitle << InvalidStringText;
    QTest::newRow("pair counts wrap to zero")
        << "0000 0073 ffff 0001" << 1 << InvalidTitle << InvalidStringText;
    QTest::newRow("bad length, no port")
        << "0000 0073 0000 0002 0020 0020" << 0 << InvalidTitle << InvalidStringText;
    QTest::newRow("no port ticked") << six << 0 << NoOutputTitle << NoOutputText;
    QTest::newRow("no port, four words")
        << "0000 0073 0000 0000" << 0 << NoOutputTitle << NoOutputText;
}

void tst_IRSend::warnings()
{
    QFETCH(QString, text);
    QFETCH(int, mask);
    QFETCH(QString, title);
    QFETCH(QString, message);

    MessageBoxCatcher boxes;
    ccf()->setText(text);
    setPorts(mask);
    repeats()->setValue(5);
    clickSend();

    QCOMPARE(boxes.count(), 1);
    const MessageBoxRecord box = boxes.last();
    QCOMPARE(box.title, title);
    QCOMPARE(box.text, message);
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

    QVERIFY(capture->sync());
    QCOMPARE(capture->count(), 0);
    QCOMPARE(ccf()->text(), text);
    QCOMPARE(ports(), mask);
    QCOMPARE(repeats()->value(), 5);

    // Corrected and pressed again, the same code goes out.
    if (title != NoOutputTitle) {
        ccf()->setText("0000 0073 0000 0000");
        setPorts(1);
        clickSend();
        QVERIFY(capture->sync());
        QCOMPARE(capture->count(), 1);
        QCOMPARE(capture->takeFirst().data, irDatagram(1, 5, {0x0000, 0x0073, 0, 0}));
        QCOMPARE(boxes.count(), 1);
    }
}

void tst_IRSend::accepted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("mask");
    QTest::addColumn<int>("repeatCount");
    QTest::addColumn<QList<quint16>>("words");

    const QString six = "0000 0073 0000 0001 0020 0020";
    const QList<quint16> sixWords{0x0000, 0x0073, 0x0000, 0x0001, 0x0020, 0x0020};

    QTest::newRow("six words, port 1") << six << 0x01 << 1 << sixWords;
    QTest::newRow("four words, no pairs")
        << "0000 0073 0000 0000" << 0x01 << 1 << QList<quint16>{0x0000, 0x0073, 0, 0};
    const QString longest = wellFormed(100, 48);
    QTest::newRow("300 words") << longest << 0x01 << 1 << wordsOf(longest);
    const QString repeatOnly = wellFormed(0, 148);
    QTest::newRow("300 words, repeat burst only")
        << repeatOnly << 0x02 << 3 << wordsOf(repeatOnly);
    QTest::newRow("lower-case hex") << "0000 00ab 0000 0001 00ab 00AB" << 0x01 << 1
                                    << QList<quint16>{0, 0x00ab, 0, 1, 0x00ab, 0x00ab};
    QTest::newRow("ports 1 and 3, two repeats")
        << "0000 006D 0000 0001 0016 0016" << 0x05 << 2
        << QList<quint16>{0x0000, 0x006d, 0x0000, 0x0001, 0x0016, 0x0016};
    QTest::newRow("port 2 only") << six << 0x02 << 1 << sixWords;
    QTest::newRow("port 4 only, seven repeats") << six << 0x08 << 7 << sixWords;
    QTest::newRow("all ports, 99 repeats") << six << 0x0f << 99 << sixWords;
    QTest::newRow("ports 2 and 4") << six << 0x0a << 10 << sixWords;
    QTest::newRow("first word not 0000") << "0100 0073 0000 0001 0020 0020" << 0x01 << 1
                                         << QList<quint16>{0x0100, 0x73, 0, 1, 0x20, 0x20};
    QTest::newRow("short words") << "0 73 0 1 20 20" << 0x01 << 1 << sixWords;
    QTest::newRow("above 0xFFFF keeps low 16 bits")
        << "0000 10073 0000 0001 0020 FFFF" << 0x01 << 1
        << QList<quint16>{0, 0x0073, 0, 1, 0x0020, 0xffff};
    QTest::newRow("once and repeat bursts")
        << "0000 0073 0001 0001 0010 0020 0030 0040" << 0x01 << 1
        << QList<quint16>{0, 0x73, 1, 1, 0x10, 0x20, 0x30, 0x40};

    const QString rc5 = generated([](IRCode *c) { IRCode::generateRC5(c, false, 0, 0); });
    QTest::newRow("generated RC5") << rc5 << 0x01 << 1 << wordsOf(rc5);
    const QString rc6 = generated([](IRCode *c) { IRCode::generateRC6(c, true, 255, 255); });
    QTest::newRow("generated RC6") << rc6 << 0x01 << 1 << wordsOf(rc6);
    const QString sirc = generated([](IRCode *c) { IRCode::generateSIRC(c, 20, 8191, 127); });
    QTest::newRow("generated SIRC 20") << sirc << 0x01 << 1 << wordsOf(sirc);
    const QString nec = generated([](IRCode *c) { IRCode::generateNEC(c, 0x12, 0x34); });
    QTest::newRow("generated NEC") << nec << 0x01 << 1 << wordsOf(nec);
}

void tst_IRSend::accepted()
{
    QFETCH(QString, text);
    QFETCH(int, mask);
    QFETCH(int, repeatCount);
    QFETCH(QList<quint16>, words);

    MessageBoxCatcher boxes;
    ccf()->setText(text);
    setPorts(mask);
    repeats()->setValue(repeatCount);
    clickSend();

    QCOMPARE(boxes.count(), 0);
    QVERIFY(capture->sync());
    QCOMPARE(capture->count(), 1);
    const CapturedDatagram sent = capture->takeFirst();
    QCOMPARE(sent.destination, QHostAddress(Device));
    QCOMPARE(sent.data.size(), 8 + 2 * words.size());
    QCOMPARE(sent.data, irDatagram(quint8(mask), quint8(repeatCount), words));
    QCOMPARE(ccf()->text(), text);
    QCOMPARE(ports(), mask);
    QCOMPARE(repeats()->value(), repeatCount);
}

void tst_IRSend::noSelectionSendsNothing()
{
    QTableView *view = child<QTableView>("tableView");
    // A header click sorts, which clears the selection.
    QHeaderView *header = view->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
    QVERIFY(!view->selectionModel()->hasSelection());
    // The panel is disabled; the slot reached all the same sends nothing.
    QVERIFY(!child<QWidget>("pushButton_9")->isEnabled());

    MessageBoxCatcher boxes;
    for (const QString &text : {QString("0000 0073 0000 0001 0020 0020"), QString(), tokens(301),
                                QString("zz zz zz zz")}) {
        ccf()->setText(text);
        clickSend();
        QVERIFY(QMetaObject::invokeMethod(window, "on_pushButton_9_clicked"));
        setPorts(0);
        clickSend();
        QVERIFY(QMetaObject::invokeMethod(window, "on_pushButton_9_clicked"));
        setPorts(1);
    }
    QCOMPARE(boxes.count(), 0);
    QVERIFY(capture->sync());
    QCOMPARE(capture->count(), 0);
}

// Whatever is typed or pasted ends in one of the five warnings with
// nothing sent, or in one IR datagram to the device; the widgets keep
// their contents either way.
void tst_IRSend::badInput_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QString();
    QTest::newRow("one blank") << " ";
    QTest::newRow("10000 zeros") << QString(10000, '0');
    QTest::newRow("10000 characters of words") << tokens(2000).left(10000);
    QTest::newRow("10000 blanks") << QString(10000, ' ');
    QTest::newRow("10000 letters") << QString(10000, 'Z');
    QTest::newRow("accented letters") << QString::fromUtf8("0000 0073 0000 0001 00é0 0020");
    QTest::newRow("full-width digits") << QString::fromUtf8("０００ 0073 0000 0001 0020 0020");
    QTest::newRow("arabic-indic digits") << QString::fromUtf8("٠٠٠٠ 0073 0000 0001 0020 0020");
    QTest::newRow("emoji") << QString::fromUtf8("0000 0073 0000 0001 0020 😀");
    QTest::newRow("no-break space") << QString::fromUtf8("0000\u00a00073 0000 0001 0020 0020");
    QTest::newRow("NUL character") << QString("0000 0073 0000 0001 0020 00") + QChar(0) + "0";
    QTest::newRow("plus sign") << "0000 0073 0000 0001 +1 0020";
    QTest::newRow("minus sign") << "0000 0073 0000 0001 -1 0020";
    QTest::newRow("minus pair count") << "0000 0073 0000 -1 0020 0020";
    QTest::newRow("lone signs") << "+ - + -";
    QTest::newRow("0x prefixes") << "0x0000 0x0073 0x0000 0x0001 0x0020 0x0020";
    QTest::newRow("0X prefix") << "0X0 73 0 1 20 20";
    QTest::newRow("lone 0x") << "0x 0x 0x 0x";
    QTest::newRow("largest int") << "0000 0073 0000 0001 7FFFFFFF 0020";
    QTest::newRow("beyond int") << "0000 0073 0000 0001 80000000 0020";
    QTest::newRow("very large number") << "0000 0073 0000 0001 FFFFFFFFFFFFFFFFFFFFFFFF 0020";
    QTest::newRow("decimal point") << "0000 0073 0000 0001 20.5 0020";
    QTest::newRow("exponent") << "0000 0073 0000 0001 1e10 0020";
    QTest::newRow("commas") << "0000,0073,0000,0000";
    QTest::newRow("line break") << "0000 0073\n0000 0000";
    QTest::newRow("300 tokens of garbage") << tokens(300, "!?");
    QTest::newRow("300 empty tokens") << QString(299, ' ');
    QTest::newRow("pair counts at maximum") << "0000 0073 ffff ffff";
}

void tst_IRSend::badInput()
{
    QFETCH(QString, text);

    MessageBoxCatcher boxes;
    ccf()->setText(text);
    const QString shown = ccf()->text();
    setPorts(0x09);
    repeats()->setValue(42);
    clickSend();
    QVERIFY(capture->sync());

    QVERIFY2(boxes.count() + capture->count() == 1,
             qPrintable(
                 QString("%1 boxes, %2 datagrams").arg(boxes.count()).arg(capture->count())));
    if (boxes.count() == 1) {
        const MessageBoxRecord box = boxes.last();
        QVERIFY2(Warnings.contains(qMakePair(box.title, box.text)),
                 qPrintable(box.title + ": " + box.text));
        QCOMPARE(box.icon, QMessageBox::Warning);
    } else {
        const CapturedDatagram sent = capture->takeFirst();
        QCOMPARE(sent.destination, QHostAddress(Device));
        QVERIFY(sent.data.startsWith(irDatagram(0x09, 42, {})));
        const int count = (sent.data.size() - 8) / 2;
        QCOMPARE(sent.data.size(), 8 + 2 * count);
        QVERIFY(count >= 4 && count <= 300);
        const auto word = [&](int i) {
            return int(quint8(sent.data.at(8 + 2 * i))) << 8 | quint8(sent.data.at(9 + 2 * i));
        };
        QCOMPARE(count, 4 + 2 * (word(2) + word(3)));
    }
    QCOMPARE(ccf()->text(), shown);
    QCOMPARE(ports(), 0x09);
    QCOMPARE(repeats()->value(), 42);
}

QTEST_MAIN(tst_IRSend)
#include "tst_irsend.moc"
