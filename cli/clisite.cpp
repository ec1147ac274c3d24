#include "clisite.h"

#include "sitefile.h"

namespace {

QString sitePath;
bool lastAddress = false;

}

namespace CliSite {

void setPath(const QString &path)
{
    sitePath = path;
}

QString path()
{
    return sitePath;
}

bool open(SiteFile *file, QString *error)
{
    if (sitePath.isEmpty()) {
        *error = QStringLiteral("name a site with --site FILE or KOV_SITE");
        return false;
    }
    QString reason;
    if (!file->open(sitePath, &reason)) {
        *error = QStringLiteral("%1: %2").arg(sitePath, reason);
        return false;
    }
    return true;
}

void setUseLastAddress(bool use)
{
    lastAddress = use;
}

bool useLastAddress()
{
    return lastAddress;
}

}
