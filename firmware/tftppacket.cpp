#include "tftppacket.h"

#include <algorithm>

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QUdpSocket>

void sendError(QUdpSocket *socket, const QHostAddress &address, quint16 port, quint16 code,
               QString message)
{
    QByteArray packet;
    packet.reserve(5 + message.size());
    packet.append(char(0));
    packet.append(char(Tftp::ERROR));
    packet.append(char(code >> 8));
    packet.append(char(code & 0xff));
    packet.append(message.toLatin1());
    packet.append(char(0));
    socket->writeDatagram(packet, address, port);
}

bool sendBlock(QUdpSocket *socket, const QHostAddress &address, quint16 port, quint16 block,
               const QByteArray *data)
{
    const qint64 offset = qint64(block - 1) * Tftp::BlockSize;
    const qint64 length = std::clamp<qint64>(data->size() - offset, 0, Tftp::BlockSize);

    QByteArray packet;
    packet.reserve(4 + int(length));
    packet.append(char(0));
    packet.append(char(Tftp::DATA));
    packet.append(char(block >> 8));
    packet.append(char(block & 0xff));
    if (length > 0)
        packet.append(data->constData() + offset, int(length));
    socket->writeDatagram(packet, address, port);
    return length < Tftp::BlockSize;
}
