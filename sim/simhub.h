#pragma once

#include <QList>
#include <QObject>
#include <QUdpSocket>

class SimDevice;

// The devices' shared command port: one socket on 0.0.0.0:5999 for all
// the devices played in this network namespace. Each datagram goes to the
// device whose address it was sent to, or to every device it reaches as
// a broadcast.
class SimHub : public QObject
{
    Q_OBJECT

public:
    explicit SimHub(QObject *parent = nullptr);

    bool listen(quint16 port, QString *problem);
    void addDevice(SimDevice *device);

private slots:
    void readPending();

private:
    QUdpSocket socket;
    QList<SimDevice *> devices;
};
