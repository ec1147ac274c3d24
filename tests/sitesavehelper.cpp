// Saves the site file given over and over (one note toggled each time)
// until it is killed: the writer that tst_site kills mid-save.
#include <QCoreApplication>

#include "sitefile.h"

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    SiteFile file;
    QString error;
    if (argc < 2 || !file.open(QString::fromLocal8Bit(argv[1]), &error)) {
        qCritical("cannot open the site: %s", qPrintable(error));
        return 2;
    }
    for (bool toggle = false;; toggle = !toggle) {
        Site site = file.site();
        site.devices[0].notes = toggle ? QStringLiteral("a") : QStringLiteral("b");
        if (file.save(site, &error) != SiteFile::SaveResult::Saved) {
            qCritical("save failed: %s", qPrintable(error));
            return 1;
        }
    }
}
