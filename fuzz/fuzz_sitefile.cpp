// A site file as a user, a script or a synced folder may leave it. A file
// that is read is a valid site that writes back to text reading as the same
// site, written the same way again; one that is refused says why and
// leaves the site it was read into alone.
#include "fuzzsupport.h"
#include "site.h"
#include "sitejson.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    Site site;
    site.name = QStringLiteral("untouched");
    QString error;
    if (!SiteJson::parse(bytes, &site, &error)) {
        FUZZ_CHECK(!error.isEmpty(), "a refused file has a reason");
        FUZZ_CHECK(site.name == QLatin1String("untouched") && site.devices.isEmpty(),
                   "a refused file changes nothing");
        return 0;
    }
    FUZZ_CHECK(site.validate().isEmpty(), "a site read is valid");
    for (const SiteDevice &device : site.devices) {
        FUZZ_CHECK(Site::canonicalMac(device.mac) == device.mac, "MACs are held canonical");
        FUZZ_CHECK(site.indexOfMac(device.mac) >= 0 && site.find(device.mac) >= 0,
                   "every device is found by its MAC");
        FUZZ_CHECK(device.name.trimmed().isEmpty()
                       || site.devices.at(site.indexOfName(device.name)).mac == device.mac,
                   "a name finds its own device");
    }
    const QByteArray written = SiteJson::serialise(site);
    Site again;
    FUZZ_CHECK(SiteJson::parse(written, &again, &error), "what is written reads back");
    FUZZ_CHECK(again == site, "and reads back as the same site");
    FUZZ_CHECK(SiteJson::serialise(again) == written, "and is written the same way again");
    FUZZ_CHECK(written.endsWith('\n'), "the file ends in a line end");
    return 0;
}
