#pragma once

// Helpers for tests that drive the real main window: answering the modal
// message boxes it opens, capturing the command datagrams it sends to
// device port 5999, and announcing devices to it with real replies.
// Header only; every test that includes it runs in a private network
// namespace (kov_add_test), where 10.0.0.0/24 is local, so a command for
// 10.0.0.5 arrives at the capture socket with that destination.

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QApplication>
#include <QByteArray>
#include <QHostAddress>
#include <QIcon>
#include <QList>
#include <QMessageBox>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QRegularExpression>
#include <QString>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include "programidentity.h"

namespace WindowTest {

constexpr quint16 ReplyPort = 5998;
constexpr quint16 DevicePort = 5999;

// A slot whose name no longer matches its widget would leave a button dead
// with only a warning; make that warning fail the test instead.
inline void failOnBrokenSlotNames()
{
    QTest::failOnWarning(QRegularExpression("connectSlotsByName"));
    QTest::failOnWarning(QRegularExpression("No such signal"));
    QTest::failOnWarning(QRegularExpression("No such slot"));
}

// The identity the program's entry sets before it builds the window.
inline void setProgramIdentity()
{
    ::setProgramIdentity();
}

// One message box as the user saw it.
struct MessageBoxRecord
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QIcon windowIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QMessageBox::StandardButton answeredWith = QMessageBox::NoButton;
};

// While alive, looks for the application's active modal widget every
// 20 ms; a QMessageBox found there is recorded and answered by clicking
// the chosen button (or, when the box lacks it, its escape button, so a
// test never hangs in a nested event loop). Since QMessageBox::warning()
// and friends block until answered, a slot called directly has either
// shown its box (recorded) or shown none by the time it returns.
class MessageBoxCatcher
{
public:
    explicit MessageBoxCatcher(QMessageBox::StandardButton answer = QMessageBox::Ok)
        : answer(answer)
    {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [this] { poll(); });
        timer.start();
    }

    void setAnswer(QMessageBox::StandardButton button) { answer = button; }
    int count() const { return records.size(); }
    bool isEmpty() const { return records.isEmpty(); }
    const QList<MessageBoxRecord> &boxes() const { return records; }
    MessageBoxRecord last() const
    {
        return records.isEmpty() ? MessageBoxRecord() : records.last();
    }
    void clear() { records.clear(); }
    // Non-message-box modal widgets seen (and left alone).
    int otherModals() const { return others; }

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box) {
            if (modal != lastOther) {
                lastOther = modal;
                ++others;
            }
            return;
        }
        MessageBoxRecord record;
        record.title = box->windowTitle();
        record.text = box->text();
        record.icon = box->icon();
        record.windowIcon = box->windowIcon();
        record.buttons = box->standardButtons();
        if (QPushButton *def = box->defaultButton())
            record.defaultButton = box->standardButton(def);
        QAbstractButton *button = box->button(answer);
        if (!button)
            button = box->escapeButton();
        if (!button && !box->buttons().isEmpty())
            button = box->buttons().constFirst();
        record.answeredWith = button ? QMessageBox::StandardButton(box->standardButton(button))
                                     : QMessageBox::NoButton;
        records.append(record);
        if (button)
            button->click();
        else
            box->reject();
    }

    QTimer timer;
    QMessageBox::StandardButton answer;
    QList<MessageBoxRecord> records;
    QWidget *lastOther = nullptr;
    int others = 0;
};

// One datagram as it arrived at the capture socket.
struct CapturedDatagram
{
    QByteArray data;
    QHostAddress destination;
    QHostAddress sender;
};

// A real UDP socket on 0.0.0.0:5999, the devices' command port. Bind it
// before constructing the window to see the start-up beacon.
class DatagramCapture
{
public:
    explicit DatagramCapture(quint16 port = DevicePort)
    {
        bound = socket.bind(QHostAddress::AnyIPv4, port, QUdpSocket::ShareAddress);
        QObject::connect(&socket, &QUdpSocket::readyRead, [this] { drain(); });
    }

    bool isBound() const { return bound; }
    quint16 port() const { return socket.localPort(); }
    int count() const { return captured.size(); }
    bool isEmpty() const { return captured.isEmpty(); }
    const QList<CapturedDatagram> &datagrams() const { return captured; }
    CapturedDatagram takeFirst()
    {
        return captured.isEmpty() ? CapturedDatagram() : captured.takeFirst();
    }
    void clear() { captured.clear(); }

    // Waits (event loop running) until at least n datagrams are held.
    bool waitFor(int n, int timeoutMs = 5000)
    {
        return QTest::qWaitFor(
            [&] {
                drain();
                return captured.size() >= n;
            },
            timeoutMs);
    }

    // Sends a fence datagram to ourselves over loopback and waits for it.
    // Datagrams queue in arrival order, and a send from the GUI thread is
    // queued at the receiver before the call returns, so once the fence is
    // here everything sent before it is here too: "nothing was sent" can
    // be checked without waiting for a time.
    bool sync(int timeoutMs = 5000)
    {
        const QByteArray fence = "FENCE-" + QByteArray::number(++fences);
        QUdpSocket sender;
        if (sender.writeDatagram(fence, QHostAddress::LocalHost, port()) != fence.size())
            return false;
        bool seen = false;
        const bool ok = QTest::qWaitFor(
            [&] {
                drain();
                for (int i = 0; i < captured.size(); ++i) {
                    if (captured.at(i).data == fence) {
                        captured.removeAt(i);
                        seen = true;
                        break;
                    }
                }
                return seen;
            },
            timeoutMs);
        // Drop fences of earlier syncs that timed out, if any came late.
        for (int i = captured.size() - 1; i >= 0; --i) {
            if (captured.at(i).data.startsWith("FENCE-"))
                captured.removeAt(i);
        }
        return ok;
    }

private:
    void drain()
    {
        while (socket.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = socket.receiveDatagram();
            if (!datagram.isValid())
                break;
            captured.append(
                {datagram.data(), datagram.destinationAddress(), datagram.senderAddress()});
        }
    }

    QUdpSocket socket;
    QList<CapturedDatagram> captured;
    bool bound = false;
    int fences = 0;
};

// A command datagram as a device receives it: "KOV-1", opcode, operands.
inline QByteArray command(char opcode, const QByteArray &operands = QByteArray())
{
    return QByteArray("KOV-1") + opcode + operands;
}

// Row of the model whose column 0 (MAC) reads mac, or -1.
inline int rowOfMac(const QAbstractItemModel *model, const QString &mac)
{
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, 0).data().toString() == mac)
            return row;
    }
    return -1;
}

// Sends a device reply "KOV-1,<version>,<ip>,<mac>" to 127.0.0.1:5998, as
// a device answering the beacon would, and waits until the model shows
// that MAC with that IP. Returns the row, or -1 if it never appeared.
inline int announceDevice(const QAbstractItemModel *model, const QString &version,
                          const QString &ip, const QString &mac, int timeoutMs = 5000)
{
    const QByteArray reply = QStringLiteral("KOV-1,%1,%2,%3").arg(version, ip, mac).toLatin1();
    QUdpSocket device;
    if (device.writeDatagram(reply, QHostAddress::LocalHost, ReplyPort) != reply.size())
        return -1;
    int row = -1;
    const bool shown = QTest::qWaitFor(
        [&] {
            row = rowOfMac(model, mac);
            return row >= 0 && model->index(row, 1).data().toString() == ip;
        },
        timeoutMs);
    return shown ? row : -1;
}

// The status cell of the firmware transfer table's row for address, or an
// empty text when the table has no such row.
inline QString transferStatus(const QTableWidget *table, const QString &address)
{
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->item(row, 0) && table->item(row, 0)->text() == address)
            return table->item(row, 1) ? table->item(row, 1)->text() : QString();
    }
    return QString();
}

// Shows a window and waits until it is exposed, as a user would see it.
inline bool showWindow(QWidget *window)
{
    window->show();
    return QTest::qWaitForWindowExposed(window);
}

// Centre of a row's first cell, in viewport coordinates.
inline QPoint rowCenter(QTableView *view, int row)
{
    return view->visualRect(view->model()->index(row, 0)).center();
}

// A real left click on a row of the view (view shown and exposed).
inline void clickRow(QTableView *view, int row)
{
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, rowCenter(view, row));
}

inline void doubleClickRow(QTableView *view, int row)
{
    // A double-click arrives after a press/release pair, as from a mouse.
    const QPoint pos = rowCenter(view, row);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
}

} // namespace WindowTest
