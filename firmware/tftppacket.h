#pragma once

#include <QtGlobal>

class QByteArray;
class QHostAddress;
class QString;
class QUdpSocket;

// TFTP (RFC 1350) packet layouts and the block arithmetic shared by the
// server and its transfer sessions.
namespace Tftp {
enum Opcode : quint16 { RRQ = 1, WRQ = 2, DATA = 3, ACK = 4, ERROR = 5 };
constexpr int BlockSize = 512;
// Block numbers are 16-bit: an image must be smaller than this.
constexpr qint64 MaxImageSize = qint64(65535) * BlockSize;

// size / 512 + 1: the last block is always shorter than 512 bytes.
inline qint64 blockCount(qint64 size)
{
    return size / BlockSize + 1;
}
}

void sendError(QUdpSocket *socket, const QHostAddress &address, quint16 port, quint16 code,
               QString message);
// Returns true when the block sent was the image's last (under 512 bytes).
bool sendBlock(QUdpSocket *socket, const QHostAddress &address, quint16 port, quint16 block,
               const QByteArray *data);
// The same, building the packet in *packet, whose room is kept from one
// block to the next (a transfer sends hundreds of them).
bool sendBlock(QUdpSocket *socket, const QHostAddress &address, quint16 port, quint16 block,
               const QByteArray *data, QByteArray *packet);
