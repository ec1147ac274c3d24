#include "simhub.h"

#include <QDebug>
#include <QNetworkDatagram>

#include "simdevice.h"

SimHub::SimHub(QObject *parent) : QObject(parent)
{
    connect(&socket, &QUdpSocket::readyRead, this, &SimHub::readPending);
}

bool SimHub::listen(quint16 port, QString *problem)
{
    if (socket.bind(QHostAddress::AnyIPv4, port, QUdpSocket::ShareAddress))
        return true;
    if (problem)
        *problem = socket.errorString();
    return false;
}

void SimHub::addDevice(SimDevice *device)
{
    devices.append(device);
}

void SimHub::readPending()
{
    while (socket.hasPendingDatagrams()) {
        const QNetworkDatagram d = socket.receiveDatagram(65536);
        if (!d.isValid())
            break;
        const QHostAddress destination(d.destinationAddress().toIPv4Address());
        int taken = 0;
        for (SimDevice *device : std::as_const(devices)) {
            if (device->addressedBy(destination)) {
                device->handleCommand(d.data(), d.senderAddress(), quint16(d.senderPort()),
                                      destination);
                ++taken;
            }
        }
        if (taken == 0)
            qDebug() << "kov-sim: nobody here at" << destination.toString();
    }
}
