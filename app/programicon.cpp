#include "programicon.h"

#include <QIcon>
#include <QString>

QIcon programIcon()
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/%1x%1/apps/com.veltrane.KovTool.png").arg(size),
                     QSize(size, size));
    }
    return icon;
}
