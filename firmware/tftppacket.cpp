#include "tftppacket.h"

#include <algorithm>
#include <cstring>

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
    QByteArray packet;
    return sendBlock(socket, address, port, block, data, &packet);
}

bool sendBlock(QUdpSocket *socket, const QHostAddress &address, quint16 port, quint16 block,
               const QByteArray *data, QByteArray *packet)
{
    const qint64 offset = qint64(block - 1) * Tftp::BlockSize;
    const qint64 length = std::clamp<qint64>(data->size() - offset, 0, Tftp::BlockSize);

    packet->resize(4 + int(length));
    char *p = packet->data();
    p[0] = char(0);
    p[1] = char(Tftp::DATA);
    p[2] = char(block >> 8);
    p[3] = char(block & 0xff);
    if (length > 0)
        std::memcpy(p + 4, data->constData() + offset, size_t(length));
    socket->writeDatagram(*packet, address, port);
    return length < Tftp::BlockSize;
}
