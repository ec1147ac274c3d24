// A device CSV as a spreadsheet may export it, imported into a small site.
// A plan keeps every device of the site (in its order, with what was last
// heard from it), adds one device per added change, gives a valid site,
// and applied again changes nothing; a refusal names a line and gives
// nothing to apply.
#include "fuzzsupport.h"
#include "site.h"
#include "sitedeviceimport.h"
#include "sitejson.h"

namespace {

Site baseSite()
{
    Site site;
    QString error;
    SiteJson::parse(R"({"format": "kov-site", "version": 1, "name": "Base", "devices": [
        {"mac": "00:1E:C0:77:00:01", "name": "Lobby TV", "location": "Lobby",
         "lastHeard": {"address": "10.77.0.10", "version": "1.7.0", "time": "2026-12-07T20:15:00Z"}},
        {"mac": "00:1E:C0:77:00:02", "name": "Bar relay"},
        {"mac": "00:1E:C0:77:00:03"}]})",
                    &site, &error);
    return site;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const Site site = baseSite();
    FUZZ_CHECK(site.devices.size() == 3, "the base site reads");
    const QByteArray csv(reinterpret_cast<const char *>(data), int(size));
    Site result;
    result.name = QStringLiteral("untouched");
    QList<SiteDeviceImport::Change> changes;
    QString error;
    if (!SiteDeviceImport::plan(site, csv, &result, &changes, &error)) {
        FUZZ_CHECK(error.startsWith(QLatin1String("line ")), "a refusal names its line");
        FUZZ_CHECK(result.name == QLatin1String("untouched") && changes.isEmpty(),
                   "a refusal gives nothing to apply");
        return 0;
    }
    FUZZ_CHECK(result.validate().isEmpty(), "the planned site is valid");
    int added = 0;
    for (const SiteDeviceImport::Change &change : changes) {
        added += change.added ? 1 : 0;
        FUZZ_CHECK(result.indexOfMac(change.mac) >= 0, "every change is in the planned site");
        FUZZ_CHECK(change.added || !change.fields.isEmpty(), "every change changes something");
        FUZZ_CHECK(change.text().startsWith(QStringLiteral("line %1: ").arg(change.line)),
                   "every change names its line");
    }
    FUZZ_CHECK(result.devices.size() == site.devices.size() + added,
               "one device more per added change");
    for (int i = 0; i < site.devices.size(); ++i) {
        const SiteDevice &before = site.devices.at(i);
        const SiteDevice &after = result.devices.at(i);
        FUZZ_CHECK(after.mac == before.mac && after.lastAddress == before.lastAddress
                       && after.lastVersion == before.lastVersion
                       && after.lastSeen == before.lastSeen,
                   "the site's devices keep their place and what was heard from them");
    }
    Site twice;
    QList<SiteDeviceImport::Change> again;
    FUZZ_CHECK(SiteDeviceImport::plan(result, csv, &twice, &again, &error),
               "the same file plans again on the planned site");
    FUZZ_CHECK(again.isEmpty() && twice == result, "and changes nothing the second time");
    return 0;
}
